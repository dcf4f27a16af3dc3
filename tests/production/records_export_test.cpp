// The records as a spreadsheet, a program and a yield summary read them, and the times in them.
#include "production/records_export.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>

#include "production/records_store.h"
#include "production/records_time.h"
#include "records_fixture.h"

namespace cw::production {
namespace {

// The views show local time: the tests run in Central European time, whatever the machine's.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> saved_;
};

constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";

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

  ScopedTimeZone zone_{kCentralEurope};
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
                ",0x0714,0x0102,Serial Number,1001,fail,verify,the constants differ from the "
                "golden file,2024-05-17T12:01:00.000+02:00,2024-05-17T12:01:10.000+02:00,10000,"
                "no,mismatch");
  const auto steps = Lines(StepsCsv(runs_));
  ASSERT_EQ(steps.size(), 1u + 2 + 3 + 2);
  // A text with commas and quotes is one field.
  EXPECT_EQ(steps[4],
            "2,line-1,A1,1001,2,verify,1,fail,\"\"\"CUV Threshold\"\" reads 2600, the golden file "
            "holds 2500\",\"{\"\"differences\"\":[{\"\"key\"\":\"\"CUV Threshold\"\",\"\"gauge\"\":"
            "\"\"2600\"\",\"\"golden\"\":\"\"2500\"\"}]}\",2024-05-17T12:01:05.000+02:00,"
            "2024-05-17T12:01:06.000+02:00,1000,mismatch");
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

TEST_F(RecordsExportTest, YieldCountsVerdictsFirstPassesAndFailuresByCause) {
  // The pack of run 2 comes back with its number and passes: a rework, not a new pack.
  RunRecord rework = runs_[0];
  rework.id = 4;
  rework.arrived_serial = 1001;
  rework.pack_serial = 1003;
  rework.ended_at = rework.start.started_at + std::chrono::minutes(30);
  runs_.push_back(rework);
  // A second recipe version: two failures at calibration, one at verify, one stopped.
  for (const auto& [step, cause, result] :
       {std::tuple{"verify", "mismatch", RunResult::kFail},
        std::tuple{"calibrate", "out_of_limits", RunResult::kFail},
        std::tuple{"calibrate", "out_of_limits", RunResult::kFail},
        std::tuple{"calibrate", "", RunResult::kStopped}}) {
    RunRecord run = runs_[1];
    run.start.recipe_sha256 = std::string(64, 'c');
    run.failed_step = step;
    run.cause = cause;
    run.result = result;
    runs_.push_back(run);
  }
  EXPECT_EQ(FirstRuns(runs_), (std::vector<bool>{true, true, true, false, true, true, true, true}));

  const auto yields = SummariseYield(runs_);
  ASSERT_EQ(yields.size(), 2u);
  EXPECT_EQ(yields[0].runs, 4);
  EXPECT_EQ(yields[0].passed, 3);
  EXPECT_EQ(yields[0].packs, 3);
  EXPECT_EQ(yields[0].first_pass, 2);
  EXPECT_NEAR(*yields[0].yield_percent(), 75.0, 0.01);
  EXPECT_NEAR(*yields[0].first_pass_percent(), 66.67, 0.01);
  // Four verdicts from the first start (10:00) to the last end (10:30).
  EXPECT_NEAR(*yields[0].packs_per_hour(), 8.0, 0.01);
  EXPECT_EQ(yields[0].first_failures, (std::vector<StepCount>{{"verify", 1}}));
  EXPECT_EQ(yields[1].stopped, 1);
  EXPECT_EQ(yields[1].yield_percent(), 0.0);
  EXPECT_EQ(yields[1].failures, (std::vector<FailureCount>{{"calibrate", "out_of_limits", 2},
                                                           {"verify", "mismatch", 1}}));
  const auto json = nlohmann::json::parse(YieldJson(yields));
  EXPECT_EQ(json["recipes"][0]["station"], "line-1");
  EXPECT_EQ(json["recipes"][0]["first_pass"], 2);
  EXPECT_EQ(json["recipes"][1]["failures"][0],
            (nlohmann::json{{"step", "calibrate"}, {"cause", "out_of_limits"}, {"count", 2}}));
  EXPECT_EQ(json["recipes"][1]["recipe"]["sha256"], std::string(64, 'c'));
}

TEST(RecordsTimeTest, UtcTextRoundTripsAndSinceTakesDatesAndSpans) {
  const TimePoint time = TimePoint{} + std::chrono::milliseconds(1'715'940'000'123);
  EXPECT_EQ(FormatUtc(time), "2024-05-17T10:00:00.123Z");
  EXPECT_EQ(ParseUtc("2024-05-17T10:00:00.123Z"), time);
  EXPECT_EQ(ParseUtc("2024-05-17 10:00:00.123Z"), std::nullopt);
  EXPECT_EQ(ParseTimeBound("90m", time), time - std::chrono::minutes(90));
  EXPECT_EQ(ParseTimeBound("7d", time), time - std::chrono::hours(168));
  EXPECT_TRUE(ParseTimeBound("2024-05-17", time));
  EXPECT_TRUE(ParseTimeBound("2024-05-17 14:30", time));
  for (const char* bad :
       {"", "7", "7w", "yesterday", "2024-5-17", "2024-05-17 25:00", "2024-05-17 14:30x",
        "2024-05-17 14:30 +2", "2024-05-17 12:00:00 +15:00"}) {
    EXPECT_EQ(ParseTimeBound(bad, time), std::nullopt) << bad;
  }
}

// What a view shows is what --since and --until take back, in any zone.
TEST(RecordsTimeTest, LocalTimesCarryTheirOffsetAndReadBack) {
  const ScopedTimeZone zone(kCentralEurope);
  const TimePoint summer = TimePoint{} + std::chrono::milliseconds(1'715'940'000'123);
  const TimePoint winter = summer - std::chrono::days(180);
  EXPECT_EQ(FormatLocal(summer), "2024-05-17 12:00:00 +02:00");
  EXPECT_EQ(FormatLocalIso(summer), "2024-05-17T12:00:00.123+02:00");
  EXPECT_EQ(FormatLocal(winter), "2023-11-19 11:00:00 +01:00");
  const auto whole = std::chrono::floor<std::chrono::seconds>(summer);
  for (const char* text : {"2024-05-17 12:00:00 +02:00", "2024-05-17T10:00:00Z",
                           "2024-05-17 06:00:00 -0400", "2024-05-17 12:00:00"}) {
    EXPECT_EQ(ParseTimeBound(text, summer), whole) << text;
  }
  EXPECT_EQ(ParseTimeBound("2024-05-17T12:00:00.123+02:00", summer), summer);
}

}  // namespace
}  // namespace cw::production
