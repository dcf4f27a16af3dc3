#include "dataflash/file_compare.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "dataflash_fixture.h"

namespace cw::dataflash {
namespace {

using test::DataFlashFixture;

// What an .afi saved from the gauge now holds, key by key.
AfiValues ValuesOf(const DataFlashSession& session) {
  const DataFlashView view = session.View();
  return GaugeValues(view.values, view.image);
}

TEST(FileCompareTest, MarksTheValuesAWriteWouldChangeAndCountsTheRest) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  const AfiValues same = ValuesOf(f.session);
  const FileComparison none = CompareValues(same, f.session.View().image);
  EXPECT_TRUE(none.rows.empty());
  EXPECT_EQ(none.compared, kParamCount);
  EXPECT_EQ(none.algorithm_keys_differing, 0u);

  AfiValues file = same;
  const std::size_t cuv = f.Row("CUV Threshold");
  const std::size_t jt1 = f.Row("JT1");
  const std::size_t clamped = f.Row("COV Time");
  const std::size_t invalid = f.Row("OCC1 Time");
  const std::size_t missing = f.Row("Deadband");
  file.rows[cuv] = std::to_string(std::stoi(*same.rows[cuv]) + 10);
  // Another spelling of the same temperature writes the same bytes.
  file.rows[jt1] = *same.rows[jt1] + "0";
  ASSERT_NE(f.session.View().values[clamped].raw_value, 255);
  file.rows[clamped] = "999";  // written as 255
  file.rows[invalid] = "abc";
  file.invalid.push_back("OCC1 Time = abc");
  file.rows[missing].reset();
  file.missing.push_back("Deadband");
  file.algorithm[5] ^= 0x01;
  file.algorithm_present[7] = false;
  file.algorithm[7 * 4] ^= 0x01;  // a key the file lacks is not compared

  const FileComparison c = CompareValues(file, f.session.View().image);
  EXPECT_EQ(c.rows, (std::vector<std::size_t>{std::min(cuv, clamped), std::max(cuv, clamped)}));
  EXPECT_TRUE(c.Differs(cuv));
  EXPECT_FALSE(c.Differs(jt1));
  EXPECT_EQ(c.file_texts[cuv], file.rows[cuv]);
  EXPECT_EQ(c.compared, kParamCount - 2);
  EXPECT_EQ(c.missing, std::vector<std::string>{"Deadband"});
  EXPECT_EQ(c.invalid, std::vector<std::string>{"OCC1 Time = abc"});
  EXPECT_EQ(c.algorithm_keys_differing, 1u);
}

TEST(FileCompareTest, DiffNamesEachKeyThatDiffersOrThatOneSideLacks) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  const DataFlashView view = f.session.View();
  const AfiValues gauge = GaugeValues(view.values, view.image);
  EXPECT_TRUE(DiffKeys(gauge, gauge, view.image).empty());

  AfiValues file = gauge;
  const auto row = [&](std::string_view name) { return f.Row(name); };
  file.rows[row("CUV Threshold")] =
      std::to_string(std::stoi(*gauge.rows[row("CUV Threshold")]) + 1);
  file.rows[row("JT1")] = *gauge.rows[row("JT1")] + "0";  // the same bytes
  file.rows[row("OCC1 Time")] = "abc";                    // no number: judged by its text
  file.rows[row("Deadband")].reset();
  file.algorithm[AlgorithmKeyAt(2).area_offset] ^= 0x01;
  file.algorithm_present[7] = false;
  file.algorithm_texts[7].reset();

  std::vector<std::string> keys;
  for (const KeyDifference& key : DiffKeys(file, gauge, view.image)) keys.push_back(key.key);
  std::vector<std::pair<std::size_t, std::string>> expected = {
      {row("CUV Threshold"), "CUV Threshold"},
      {row("OCC1 Time"), "OCC1 Time"},
      {row("Deadband"), "Deadband"}};
  std::ranges::sort(expected);
  std::vector<std::string> in_list_order;
  for (const auto& [index, name] : expected) in_list_order.push_back(name);
  in_list_order.push_back("AlgorithmData2");
  in_list_order.push_back("AlgorithmData7");
  EXPECT_EQ(keys, in_list_order);

  const auto differences = DiffKeys(file, gauge, view.image);
  const auto deadband =
      std::ranges::find(differences, std::string("Deadband"), &KeyDifference::key);
  ASSERT_NE(deadband, differences.end());
  EXPECT_FALSE(deadband->file_value);
  EXPECT_EQ(deadband->other_value, gauge.rows[row("Deadband")]);
  EXPECT_EQ(deadband->unit, kParams[row("Deadband")].unit);
}

TEST(FileCompareTest, ASavedFileReadsBackTheSameAndAMissingOneSaysSo) {
  DataFlashFixture f;
  const auto path = std::filesystem::temp_directory_path() /
                    ("cw_compare_" + std::to_string(::getpid()) + ".afi");
  ASSERT_TRUE(f.session.SaveGaugeToAfi(path).outcome);
  const auto values = ReadComparisonFile(path);
  std::filesystem::remove(path);
  ASSERT_TRUE(values);
  const FileComparison c = CompareValues(*values, f.session.View().image);
  EXPECT_TRUE(c.rows.empty());
  EXPECT_EQ(c.compared, kParamCount);
  EXPECT_TRUE(c.missing.empty());

  const auto missing = ReadComparisonFile(path);
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().find(path.filename().string()), std::string::npos);
}

}  // namespace
}  // namespace cw::dataflash
