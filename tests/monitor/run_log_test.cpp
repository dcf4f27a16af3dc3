#include "monitor/run_log.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "monitor/run_log_summary.h"
#include "monitor/value_conversion.h"
#include "monitor_fixture.h"

namespace cw::test {
namespace {

using monitor::LogColumnKind;
using monitor::LogFormat;
using monitor::RegisterTable;

std::tm At(int day, int hour, int minute, int second) {
  std::tm time{};
  time.tm_year = 2026 - 1900;
  time.tm_mon = 2;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  return time;
}

// 2026-03-04 as RunLog counts it.
constexpr double kMarch4 = 20516.0 * 86400;

// Logs written by the product's own DataLog, read back.
class RunLogTest : public ::testing::TestWithParam<LogFormat> {
 protected:
  RunLogTest() { std::filesystem::create_directories(directory_); }
  ~RunLogTest() override { std::filesystem::remove_all(directory_); }

  void Set(std::string_view name, std::optional<std::string> value) {
    scan_.engine.WithTable([&](RegisterTable& table) {
      monitor::SbsRegisterDef& row = *table.FindRow(name);
      row.log = true;
      if (value) {
        row.value_text = *value;
        // Battery Mode's raw word gives the capacities their unit.
        if (name == "Battery Mode") row.raw_value = std::stoi(*value, nullptr, 16);
        table.MarkRead(row);
      } else {
        monitor::ApplyFailure(row);
        RegisterTable::MarkNotRead(row);
      }
    });
  }

  std::filesystem::path directory_ =
      std::filesystem::temp_directory_path() / ("cw_run_log_" + std::to_string(::getpid()));
  ScanFixture scan_;
  monitor::FixedLocalTime time_{At(4, 23, 59, 58)};
  monitor::DataLog log_{scan_.engine, time_};
};

TEST_P(RunLogTest, ReadsBackWhatTheDataLogWrote) {
  Set("Battery Mode", "6081");
  Set("Voltage", "16100");
  Set("Temperature", "25.3");
  Set("Current", std::nullopt);
  Set("RemainingCapacity", "3200");
  Set("Gauge Debug Info", std::string(32, 'A'));
  const auto path = directory_ / (GetParam() == LogFormat::kCsv ? "run.csv" : "run.LOG");
  log_.SetFormat(GetParam());
  ASSERT_TRUE(log_.StartLog(path.string(), 1));
  ASSERT_TRUE(log_.WriteLogLine());
  // Past midnight: the .LOG's stamps have no date, the reader counts the day on.
  time_.Set(At(5, 0, 0, 1));
  Set("Current", "-1500");
  Set("Gauge Debug Info", std::nullopt);
  ASSERT_TRUE(log_.WriteLogLine());
  log_.StopLog();

  const auto read = monitor::ReadRunLog(path);
  ASSERT_TRUE(read) << read.error().message;
  EXPECT_EQ(read->format, GetParam());
  EXPECT_EQ(read->times, (std::vector<double>{kMarch4 + 86399 - 1, kMarch4 + 86401}));
  ASSERT_EQ(read->columns.size(), 6u);
  const monitor::LogColumn& voltage = *read->Find("Voltage");
  EXPECT_EQ(voltage.unit, "mV");
  EXPECT_EQ(voltage.values, (std::vector<double>{16100, 16100}));
  EXPECT_EQ(read->Find("Temperature")->values[1], 25.3);
  const monitor::LogColumn& current = *read->Find("Current");
  EXPECT_FALSE(current.read(0));
  EXPECT_EQ(current.values[1], -1500);
  EXPECT_EQ(read->Find("Battery Mode")->kind, LogColumnKind::kHex);
  EXPECT_EQ(read->Find("Battery Mode")->values[0], 0x6081);
  EXPECT_EQ(read->Find("RemainingCapacity")->unit, "mAh") << "as Battery Mode says";
  const monitor::LogColumn& debug = *read->Find("Gauge Debug Info");
  EXPECT_EQ(debug.kind, LogColumnKind::kBytes);
  EXPECT_TRUE(debug.read(0));
  EXPECT_FALSE(debug.read(1));

  const monitor::LogSummary summary = monitor::SummarizeRunLog(*read);
  EXPECT_EQ(summary.samples, 2u);
  EXPECT_EQ(summary.duration_seconds, 3);
  EXPECT_EQ(summary.unread, 2u) << "one current, one debug block";
  EXPECT_EQ(summary.columns[0].last_text, "6081");
  EXPECT_EQ(summary.columns[2].mean, 16100);
}

INSTANTIATE_TEST_SUITE_P(BothFormats, RunLogTest,
                         ::testing::Values(LogFormat::kText, LogFormat::kCsv));

constexpr std::string_view kLogHead =
    "Cellwarden\tVersion: 3.07\tQuillmarsh Electronic LTD.\r\n"
    "2026/03/04\t10:00:00\r\n"
    "\r\n"
    "DesignCapacity: 4800\r\n"
    "\r\n"
    "Sample        Stamp        Elapsed(s)        Voltage    Current    \r\n";

TEST(RunLogRefusals, NameTheLineAtFault) {
  const std::string head(kLogHead);
  struct Case {
    std::string what;
    std::string text;
    std::size_t line;
    std::string says;
  };
  const Case cases[] = {
      {"empty", "", 1, "empty"},
      {"another file", "[calibration]\r\nkey=1\r\n", 1, "not a data log"},
      {"bad start time", "Cellwarden\tVersion: 3.07\tQ\r\n2026-03-04 10:00\r\n", 2, "start time"},
      {"no such day", "Cellwarden\tVersion: 3.07\tQ\r\n2026/02/30\t10:00:00\r\n", 2, "start time"},
      {"no heading", head.substr(0, head.rfind("Sample")), 6, "ends before its column heading"},
      {"field missing", head + "1  10:00:01  1  16000  -20\r\n2  10:00:02  2  16000\r\n", 8,
       "4 fields where the column heading has 5"},
      {"not a value", head + "1  10:00:01  1  16000  -2O\r\n", 7, "\"-2O\" is no value of Current"},
      {"bad stamp", head + "1  25:00:01  1  16000  -20\r\n", 7, "\"25:00:01\" is no time"},
      {"csv field missing", "Sample,Stamp,Elapsed(s),Voltage (mV)\r\n1,2026-03-04T10:00:00,1\r\n",
       2, "3 fields"},
      {"csv open quote", "Sample,Stamp,Elapsed(s),\"Voltage (mV)\r\n", 1, "not closed"},
  };
  for (const Case& c : cases) {
    const auto read = monitor::ParseRunLog(c.text, "x.LOG");
    ASSERT_FALSE(read) << c.what;
    EXPECT_EQ(read.error().line, c.line) << c.what;
    EXPECT_NE(read.error().message.find(fmt::format("x.LOG line {}: ", c.line)), std::string::npos)
        << c.what << ": " << read.error().message;
    EXPECT_NE(read.error().message.find(c.says), std::string::npos)
        << c.what << ": " << read.error().message;
  }
}

TEST(RunLogRefusals, AMissingFileIsAFileError) {
  const auto read = monitor::ReadRunLog("/nonexistent/run.LOG");
  ASSERT_FALSE(read);
  EXPECT_EQ(read.error().line, 0u);
  EXPECT_NE(read.error().message.find("/nonexistent/run.LOG"), std::string::npos);
}

// A log still being written ends inside a line: the rows before it are read, that one is left
// out and said so.
TEST(RunLogReading, ALineCutShortAtTheEndIsLeftOut) {
  const std::string text = std::string(kLogHead) + "1  10:00:01  1  16000  -20\r\n2  10:0";
  const auto read = monitor::ParseRunLog(text, "x.LOG");
  ASSERT_TRUE(read) << read.error().message;
  EXPECT_EQ(read->rows(), 1u);
  EXPECT_TRUE(read->incomplete_last_line);
  EXPECT_EQ(read->static_data.front(),
            (std::pair<std::string, std::string>{"DesignCapacity", "4800"}));
}

TEST(RunLogReading, TheLargestGapAndTheMeanIntervalAreOfTheClock) {
  const std::string text = std::string(kLogHead) +
                           "1  10:00:01  1  16000  -20\r\n"
                           "2  10:00:02  2  NaN    NaN\r\n"
                           "3  10:00:12  3  16001  -21\r\n";
  const auto read = monitor::ParseRunLog(text, "x.LOG");
  ASSERT_TRUE(read) << read.error().message;
  const monitor::LogSummary summary = monitor::SummarizeRunLog(*read);
  EXPECT_EQ(summary.mean_interval_seconds, 5.5);
  EXPECT_EQ(summary.largest_gap_seconds, 10);
  EXPECT_EQ(summary.largest_gap_at, kMarch4 + 36012);
  EXPECT_EQ(summary.columns[0].min, 16000);
  EXPECT_EQ(summary.columns[0].max, 16001);
  EXPECT_EQ(summary.columns[1].unread, 1u);
  EXPECT_EQ(summary.columns[1].last, -21);
}

// A file is read a piece at a time: lines across the pieces' seams come out whole.
TEST(RunLogReading, AFileOfManyPiecesIsReadWhole) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("cw_run_log_pieces_" + std::to_string(::getpid()) + ".LOG");
  std::string text(kLogHead);
  constexpr int kRows = 40'000;  // about 1.5 MB
  for (int row = 0; row < kRows; ++row) {
    text += fmt::format("{:<14}{:02}:{:02}:{:02}     {:<18}{:<11}{}\r\n", row + 1, 10 + row / 3600,
                        row / 60 % 60, row % 60, row + 1, 16000 + row % 97, -(row % 89));
  }
  { std::ofstream(path, std::ios::binary) << text; }
  const auto read = monitor::ReadRunLog(path);
  std::filesystem::remove(path);
  ASSERT_TRUE(read) << read.error().message;
  ASSERT_EQ(read->rows(), std::size_t{kRows});
  for (int row : {0, 12'345, kRows - 1}) {
    EXPECT_EQ(read->columns[0].values[row], 16000 + row % 97) << row;
    EXPECT_EQ(read->columns[1].values[row], -(row % 89)) << row;
    EXPECT_EQ(read->times[row], kMarch4 + 36000 + row) << row;
  }
  EXPECT_FALSE(read->incomplete_last_line);
}

}  // namespace
}  // namespace cw::test
