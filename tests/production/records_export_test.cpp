// The records as a spreadsheet, a program and a yield summary read them, and the times in them.
#include "production/records_export.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "production/records_store.h"
#include "production/records_time.h"
#include "records_fixture.h"

namespace cw::production {
namespace {

class RecordsExportTest : public testing::Test {
 protected:
  void SetUp() override {
    auto store = OpenRecordsStore(folder_.File("records.sqlite"), OpenMode::kCreate);
    ASSERT_TRUE(store);
    test::FillSampleRecords(**store);
    auto runs = (*store)->Runs({}, true);
    ASSERT_TRUE(runs);
    runs_ = std::move(*runs);
  }

  test::ScratchFolder folder_;
  std::vector<RunRecord> runs_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    lines.push_back(text.substr(at, end - at));
  }
  EXPECT_EQ(at, text.size()) << "every line ends with CR LF";
  return lines;
}

TEST_F(RecordsExportTest, CsvHasOneRowPerRunOrPerStep) {
  const auto runs = Lines(RunsCsv(runs_));
  ASSERT_EQ(runs.size(), 4u);
  EXPECT_TRUE(runs[0].starts_with("id,station,host,operator,adapter_serial,recipe_name"));
  EXPECT_EQ(runs[2],
            "2,line-1,bench-pc,Mei,A1,pack-line," + std::string(64, 'a') +
                ",1812,258,Serial Number,1001,fail,verify,the constants differ from the golden "
                "file,2024-05-17T10:01:00.000Z,2024-05-17T10:01:10.000Z,10000,no,mismatch");
  const auto steps = Lines(StepsCsv(runs_));
  ASSERT_EQ(steps.size(), 1u + 2 + 3 + 2);
  // A text with commas and quotes is one field.
  EXPECT_EQ(steps[4],
            "2,line-1,A1,1001,2,verify,1,fail,\"\"\"CUV Threshold\"\" reads 2600, the golden file "
            "holds 2500\",\"{\"\"differences\"\":[{\"\"key\"\":\"\"CUV Threshold\"\",\"\"gauge\"\":"
            "\"\"2600\"\",\"\"golden\"\":\"\"2500\"\"}]}\",2024-05-17T10:01:05.000Z,"
            "2024-05-17T10:01:06.000Z,1000,mismatch");
}

TEST_F(RecordsExportTest, JsonCarriesEveryFieldAsItsType) {
  const auto json = nlohmann::json::parse(RunsJson(runs_, true));
  ASSERT_EQ(json["runs"].size(), 3u);
  const auto& run = json["runs"][1];
  EXPECT_EQ(run["id"], 2);
  EXPECT_EQ(run["operator"], "Mei");
  EXPECT_EQ(run["device_type"], 0x0714);
  EXPECT_EQ(run["serial"], (nlohmann::json{{"parameter", "Serial Number"}, {"number", 1001}}));
  EXPECT_EQ(run["recipe"]["files"][0]["path"], "golden.afi");
  EXPECT_EQ(run["result"], "fail");
  EXPECT_EQ(run["duration_ms"], 10000);
  EXPECT_EQ(run["steps"][2]["measurements"]["differences"][0]["key"], "CUV Threshold");
  EXPECT_TRUE(run["steps"][0]["failure"].is_null());
  EXPECT_TRUE(run["steps"][0]["cause"].is_null());
  EXPECT_EQ(run["cause"], "mismatch");
  EXPECT_FALSE(nlohmann::json::parse(RunsJson(runs_, false))["runs"][0].contains("steps"));
}

// Names come from operators and other programs' files: a spreadsheet must not run one as a
// formula, and bytes that are no UTF-8 must not end the JSON export.
TEST_F(RecordsExportTest, StoredNamesStayPlainTextInEveryExport) {
  const std::pair<std::string, std::string> names[] = {
      {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
      {"+1", "'+1"},
      {"-2", "'-2"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\tTab", "'\tTab"},
      {"\rCR", "\"'\rCR\""},
      {"Mei", "Mei"},
  };
  for (const auto& [name, cell] : names) {
    RunRecord run = runs_[1];
    run.start.operator_name = name;
    const auto lines = Lines(RunsCsv(std::span(&run, 1)));
    ASSERT_EQ(lines.size(), 2u) << name;
    EXPECT_TRUE(lines[1].starts_with("2,line-1,bench-pc," + cell + ",A1,")) << lines[1];
  }

  RunRecord latin1 = runs_[1];
  latin1.start.operator_name = "Jos\xE9";
  const auto json = nlohmann::json::parse(RunsJson(std::span(&latin1, 1), false));
  EXPECT_EQ(json["runs"][0]["operator"], "Jos\xEF\xBF\xBD");
  EXPECT_EQ(nlohmann::json::parse(RunJson(latin1))["operator"], "Jos\xEF\xBF\xBD");
}

TEST_F(RecordsExportTest, YieldCountsVerdictsAndFirstFailures) {
  runs_.push_back(runs_[1]);  // a second recipe version failing at calibration, one stopped
  runs_.back().start.recipe_sha256 = std::string(64, 'c');
  runs_.back().failed_step = "calibrate";
  runs_.push_back(runs_.back());
  runs_.back().result = RunResult::kStopped;
  const auto yields = SummariseYield(runs_);
  ASSERT_EQ(yields.size(), 2u);
  EXPECT_EQ(yields[0].runs, 3);
  EXPECT_EQ(yields[0].passed, 2);
  EXPECT_EQ(yields[0].failed, 1);
  EXPECT_NEAR(*yields[0].yield_percent(), 66.67, 0.01);
  EXPECT_EQ(yields[0].first_failures, (std::vector<StepCount>{{"verify", 1}}));
  EXPECT_EQ(yields[1].stopped, 1);
  EXPECT_EQ(yields[1].yield_percent(), 0.0);
  EXPECT_EQ(yields[1].first_failures, (std::vector<StepCount>{{"calibrate", 1}}));
  const auto json = nlohmann::json::parse(YieldJson(yields));
  EXPECT_EQ(json["recipes"][0]["first_failures"][0]["step"], "verify");
  EXPECT_EQ(json["recipes"][1]["recipe"]["sha256"], std::string(64, 'c'));
}

TEST(RecordsTimeTest, UtcTextRoundTripsAndSinceTakesDatesAndSpans) {
  const TimePoint time = TimePoint{} + std::chrono::milliseconds(1'715'940'000'123);
  EXPECT_EQ(FormatUtc(time), "2024-05-17T10:00:00.123Z");
  EXPECT_EQ(ParseUtc("2024-05-17T10:00:00.123Z"), time);
  EXPECT_EQ(ParseUtc("2024-05-17 10:00:00.123Z"), std::nullopt);
  EXPECT_EQ(ParseSince("90m", time), time - std::chrono::minutes(90));
  EXPECT_EQ(ParseSince("7d", time), time - std::chrono::hours(168));
  EXPECT_TRUE(ParseSince("2024-05-17", time));
  EXPECT_TRUE(ParseSince("2024-05-17 14:30", time));
  for (const char* bad :
       {"", "7", "7w", "yesterday", "2024-5-17", "2024-05-17 25:00", "2024-05-17 14:30x"}) {
    EXPECT_EQ(ParseSince(bad, time), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace cw::production
