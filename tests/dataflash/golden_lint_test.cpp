#include "dataflash/golden_lint.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dataflash/param_codec.h"

namespace cw::dataflash {
namespace {

std::size_t Row(std::string_view name) { return *FindParam(name); }

// A golden file that holds every per-pack value as a fresh pack does.
AfiValues FreshFile() {
  AfiValues file;
  file.rows[Row("Design Capacity")] = "4800";
  for (const FreshValue& fresh : kFreshPack) {
    file.rows[Row(fresh.name)] = fresh.same_as.empty() ? std::string(fresh.text) : "4800";
  }
  return file;
}

TEST(GoldenLintTest, EveryFreshValueIsOneItsParameterTakes) {
  for (const FreshValue& fresh : kFreshPack) {
    if (!fresh.same_as.empty()) continue;
    EXPECT_TRUE(EncodeParam(kParams[Row(fresh.name)], fresh.text, ValueSource::kTyped))
        << fresh.name;
  }
  EXPECT_TRUE(LintGolden(FreshFile()).empty());
}

struct LintCase {
  std::string_view key;
  std::optional<std::string> value;  // nothing: the file lacks the key
  std::optional<PackGroup> group;    // nothing: no finding
  std::string_view fresh = {};
};

TEST(GoldenLintTest, NamesEachValueAFreshPackDoesNotHold) {
  const LintCase cases[] = {
      {"Cycle Count", "23", PackGroup::kLifetime, "0"},
      {"Cycle Count", std::nullopt, std::nullopt},
      {"Total Usage Time", "abc", PackGroup::kLifetime, "0"},
      {"Max Discharge Current", "-6300", PackGroup::kLifetime, "0"},
      {"QCell2", "4500", PackGroup::kLearned, "4800"},
      {"QCell2", "4800", std::nullopt},
      {"Qmax Cycle Count", "3", PackGroup::kLearned, "0"},
      {"CC Gain", "1.0", std::nullopt},  // the same bytes as 1.000000
      {"CC Gain", "1.013", PackGroup::kCalibration, "1.000000"},
      {"Cell3 Voltage Gain", "0.969879", PackGroup::kCalibration, "0.970001"},
      {"Board Offset", "-12", PackGroup::kCalibration, "0"},
      {"Serial Number", "1", std::nullopt},
      {"Serial Number", "03E8", PackGroup::kSerial, "0001"},
      {"Manuf Date", "1980-01-01", std::nullopt},
      {"Manuf Date", "2024-3-1", PackGroup::kDate, "1980-1-1"},
      {"FG Status", "0E", PackGroup::kUpdateStatus, "00"},
      {"CUV Threshold", "2600", std::nullopt},  // a constant, the same in every pack
  };
  for (const LintCase& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " = " + c.value.value_or("(missing)"));
    AfiValues file = FreshFile();
    file.rows[Row(c.key)] = c.value;
    const std::vector<LintFinding> findings = LintGolden(file);
    if (!c.group) {
      EXPECT_TRUE(findings.empty());
      continue;
    }
    EXPECT_EQ(findings,
              (std::vector<LintFinding>{{Row(c.key), *c.group, *c.value, std::string(c.fresh)}}));
  }
}

TEST(GoldenLintTest, LearnedCapacitiesFollowTheFilesDesignCapacity) {
  AfiValues file = FreshFile();
  file.rows[Row("Design Capacity")] = "4400";
  file.rows[Row("QCell0")] = "4400";
  const std::vector<LintFinding> findings = LintGolden(file);
  ASSERT_EQ(findings.size(), 3u);
  EXPECT_EQ(findings[0], (LintFinding{Row("QCell1"), PackGroup::kLearned, "4800", "4400"}));

  file.rows[Row("Design Capacity")].reset();
  EXPECT_TRUE(LintGolden(file).empty()) << "nothing to start from, nothing judged";
}

TEST(GoldenLintTest, FindingsComeInTheTablesOrder) {
  AfiValues file = FreshFile();
  file.rows[Row("FG Status")] = "0E";
  file.rows[Row("Serial Number")] = "0002";
  file.rows[Row("Cycle Count")] = "5";
  std::vector<PackGroup> groups;
  for (const LintFinding& finding : LintGolden(file)) groups.push_back(finding.group);
  EXPECT_EQ(groups, (std::vector<PackGroup>{PackGroup::kLifetime, PackGroup::kSerial,
                                            PackGroup::kUpdateStatus}));
}

}  // namespace
}  // namespace cw::dataflash
