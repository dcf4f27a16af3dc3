#include "monitor/data_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "monitor/log_ticker.h"
#include "monitor/messages.h"
#include "monitor/sbs_session.h"
#include "monitor/value_conversion.h"
#include "monitor_fixture.h"

namespace cw::test {
namespace {

using monitor::DataLog;
using monitor::RegisterTable;

std::tm At(int hour, int minute, int second) {
  std::tm time{};
  time.tm_year = 2026 - 1900;
  time.tm_mon = 2;
  time.tm_mday = 4;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  return time;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class DataLogTest : public ::testing::Test {
 protected:
  DataLogTest() {
    std::filesystem::create_directories(directory_);
    scan_.engine.WithTable([](RegisterTable& table) {
      const std::pair<const char*, const char*> static_values[] = {
          {"Design Capacity", "4800"},       {"Design Voltage", "14400"},
          {"Spe\x63ification Info", "0031"}, {"Manufacture Date", "2023-5-17"},
          {"Serial Number", "0001"},         {"Manufacturer Name", "Quillmarsh"},
          {"Device Name", "KT580714"},       {"Device Chemistry", "LION"}};
      for (const auto& [name, value] : static_values) {
        table.FindRow(name)->value_text = value;
        table.MarkRead(*table.FindRow(name));
      }
    });
  }
  ~DataLogTest() override { std::filesystem::remove_all(directory_); }

  // The row as a read of `value` leaves it.
  void SetValue(std::string_view name, std::string value) {
    scan_.engine.WithTable([&](RegisterTable& table) {
      table.FindRow(name)->value_text = value;
      table.MarkRead(*table.FindRow(name));
    });
  }
  // The row as a failed read leaves it.
  void SetFailed(std::string_view name) {
    scan_.engine.WithTable([&](RegisterTable& table) {
      monitor::ApplyFailure(*table.FindRow(name));
      RegisterTable::MarkNotRead(*table.FindRow(name));
    });
  }
  void SetLog(std::string_view name, bool log) {
    scan_.engine.WithTable([&](RegisterTable& table) { table.FindRow(name)->log = log; });
  }

  std::filesystem::path directory_ =
      std::filesystem::temp_directory_path() /
      ("cw_data_log_" + std::to_string(::getpid()) + "_" +
       ::testing::UnitTest::GetInstance()->current_test_info()->name());
  ScanFixture scan_;
  monitor::FixedLocalTime time_{At(5, 6, 7)};
  test::RecordingMessageSink messages_;
  DataLog log_{scan_.engine, time_};
  // Logs start, tick and stop through the page, which shows what went wrong.
  monitor::SbsSession page_{scan_.engine, log_, messages_};
};

TEST_F(DataLogTest, HeaderAndLinesAreWrittenByteForByte) {
  SetLog("Remaining Cap. Alarm", true);
  SetLog("Current", true);
  SetLog("Gauge Debug Info", true);
  SetValue("Remaining Cap. Alarm", "300");
  SetFailed("Current");
  std::string debug = "SIM RSOC 76%";
  debug.resize(32, ' ');
  SetValue("Gauge Debug Info", debug);
  const auto path = directory_ / "pack.LOG";

  ASSERT_TRUE(page_.StartLog(path.string(), 5));
  EXPECT_EQ(page_.WriteLogLine().detail, 1) << "the current was not read";
  time_.Set(At(5, 6, 12));
  SetValue("Current", "-1500");
  EXPECT_EQ(page_.WriteLogLine().detail, 0);
  EXPECT_EQ(page_.View().log_tally, (monitor::LogTally{2, 1}));
  page_.StopLog();
  ASSERT_TRUE(page_.StartLog((directory_ / "next.LOG").string(), 5));
  EXPECT_EQ(page_.View().log_tally, (monitor::LogTally{0, 0})) << "a new log counts anew";
  page_.StopLog();

  const std::string debug_hex =
      "53 49 4D 20 52 53 4F 43 20 37 36 25 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 20 "
      "20 20";
  const std::string expected =
      "Cellwarden\tVersion: 3.07\tQuillmarsh Electronic LTD.\r\n"
      "2026/03/04\t05:06:07\r\n"
      "\r\n"
      "DesignCapacity: 4800\r\n"
      "DesignVoltage: 14400\r\n"
      "SpecificationInfo: 0031\r\n"
      "ManufactureDate: 2023-5-17\r\n"
      "SerialNumber: 0001\r\n"
      "ManufacturerName: Quillmarsh\r\n"
      "DeviceName: KT580714\r\n"
      "DeviceChemistry: LION\r\n"
      "\r\n"
      "Sample        Stamp        Elapsed(s)        RemainingCap.Alarm    Current    "
      "GaugeDebugInfo" +
      std::string(81, ' ') +
      "\r\n"
      "1             05:06:07     5                 300                   NaN        " +
      debug_hex +
      "\r\n"
      "2             05:06:12     10                300                   -1500      " +
      debug_hex + "\r\n";
  EXPECT_EQ(ReadFile(path), expected);
  EXPECT_TRUE(messages_.Texts().empty());
}

TEST_F(DataLogTest, ElapsedCountsIntervalsAndTheCounterRestartsAfterStop) {
  const auto path = directory_ / "a.LOG";
  SetLog("Voltage", true);
  ASSERT_TRUE(page_.StartLog(path.string(), 5));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(page_.WriteLogLine());
  EXPECT_EQ(log_.sample_counter(), 4);
  page_.StopLog();
  EXPECT_FALSE(log_.active());
  EXPECT_EQ(log_.sample_counter(), 1);
  EXPECT_FALSE(page_.WriteLogLine()) << "no line while idle";

  const std::string text = ReadFile(path);
  // Sample, stamp and elapsed time lead each line; Voltage follows.
  EXPECT_NE(text.find("\r\n1             05:06:07     5                 "), std::string::npos);
  EXPECT_NE(text.find("\r\n2             05:06:07     10                "), std::string::npos);
  EXPECT_NE(text.find("\r\n3             05:06:07     15                "), std::string::npos);

  ASSERT_TRUE(page_.StartLog(path.string(), 60));
  ASSERT_TRUE(page_.WriteLogLine());
  const std::string again = ReadFile(path);
  EXPECT_NE(again.find("\r\n1             05:06:07     60                "), std::string::npos)
      << "the file starts again and so does the counter";
  EXPECT_EQ(again.find("\r\n2 "), std::string::npos);
}

TEST_F(DataLogTest, LongValueIsNotCutAndColumnsFollowTheFlagsOfTheMoment) {
  SetLog("Voltage", true);
  SetValue("Voltage", "1234567890123");  // longer than its column of 11
  ASSERT_TRUE(page_.StartLog((directory_ / "b.LOG").string(), 1));
  EXPECT_EQ(log_.DataLine(), "1             05:06:07     1                 1234567890123\r\n");
  SetLog("Voltage", false);
  EXPECT_EQ(log_.DataLine(), "1             05:06:07     1                 \r\n");
}

TEST_F(DataLogTest, FileThatCannotBeCreatedIsReportedAndLoggingStaysIdle) {
  const auto path = directory_ / "missing" / "x.LOG";
  SetLog("Voltage", true);
  EXPECT_FALSE(page_.StartLog(path.string(), 2));
  EXPECT_FALSE(log_.active());
  ASSERT_EQ(messages_.Texts().size(), 1u);
  EXPECT_NE(messages_.Texts()[0].find(path.string()), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(DataLogTest, NothingTickedForLogIsRefusedWithItsReasonAndNoFile) {
  scan_.engine.WithTable([](RegisterTable& table) {
    for (const monitor::TableId id : monitor::kScanTables) {
      for (auto& row : table.rows(id)) row.log = false;
    }
  });
  EXPECT_FALSE(page_.StartLog((directory_ / "empty.LOG").string(), 1));
  EXPECT_FALSE(log_.active());
  EXPECT_EQ(messages_.Texts(),
            (std::vector<std::string>{std::string(monitor::messages::kLogNothingTicked)}));
  EXPECT_FALSE(std::filesystem::exists(directory_ / "empty.LOG"));
}

TEST_F(DataLogTest, IntervalOutsideOneToSixtySecondsIsRefused) {
  for (int interval : {0, -1, 61}) {
    messages_.Clear();
    EXPECT_FALSE(page_.StartLog((directory_ / "c.LOG").string(), interval)) << interval;
    EXPECT_FALSE(log_.active());
    EXPECT_EQ(messages_.Texts().size(), 1u);
  }
  EXPECT_FALSE(std::filesystem::exists(directory_ / "c.LOG"));
}

TEST_F(DataLogTest, FailedWriteIsReportedOnceAndStopsLogging) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "needs /dev/full";
  EXPECT_FALSE(page_.StartLog("/dev/full", 2)) << "the header cannot be written";
  EXPECT_FALSE(log_.active());
  EXPECT_EQ(messages_.Texts().size(), 1u);
  EXPECT_FALSE(page_.WriteLogLine());
  EXPECT_EQ(messages_.Texts().size(), 1u) << "reported once";
}

TEST_F(DataLogTest, CsvLogHasOneHeaderRowUnitsInTheHeadingAndEmptyFailedReads) {
  SetLog("Remaining Cap. Alarm", true);
  SetLog("Current", true);
  SetLog("At Rate OK", true);  // unit "-": no unit in the heading
  SetValue("Remaining Cap. Alarm", "300");
  SetFailed("Current");
  SetValue("At Rate OK", "1");
  const auto path = directory_ / "pack.csv";
  log_.SetFormat(monitor::LogFormat::kCsv);
  ASSERT_TRUE(page_.StartLog(path.string(), 5));
  ASSERT_TRUE(page_.WriteLogLine());
  SetValue("Current", "-1500");
  ASSERT_TRUE(page_.WriteLogLine());
  page_.StopLog();
  EXPECT_EQ(ReadFile(path),
            "Sample,Stamp,Elapsed(s),Remaining Cap. Alarm (mAh),At Rate OK,Current (mA)\r\n"
            "1,2026-03-04T05:06:07,5,300,1,\r\n"
            "2,2026-03-04T05:06:07,10,300,1,-1500\r\n");

  // The choice holds for the next log; the text format is untouched by it.
  log_.SetFormat(monitor::LogFormat::kText);
  ASSERT_TRUE(page_.StartLog((directory_ / "pack.LOG").string(), 5));
  EXPECT_TRUE(log_.Header().starts_with("Cellwarden\tVersion: 3.07"));
}

TEST(DataLogFilePath, AddsTheFormatsExtensionOnlyWhenMissing) {
  using monitor::LogFormat;
  const struct {
    const char* chosen;
    LogFormat format;
    const char* expected;
  } cases[] = {
      {"run1", LogFormat::kText, "run1.LOG"},        {"/t/a.log", LogFormat::kText, "/t/a.log"},
      {"run1", LogFormat::kCsv, "run1.csv"},         {"/t/A.CSV", LogFormat::kCsv, "/t/A.CSV"},
      {"/t/a.LOG", LogFormat::kCsv, "/t/a.LOG.csv"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(monitor::DataLogFilePath(c.chosen, c.format), std::filesystem::path(c.expected))
        << c.chosen;
  }
}

TEST(LogTicker, TicksOncePerIntervalAndDoesNotBurstAfterAGap) {
  using common::Millis;
  monitor::LogTicker ticker;
  EXPECT_FALSE(ticker.Due(Millis{5000})) << "not started";
  ticker.Start(Millis{1000}, 2);
  EXPECT_FALSE(ticker.Due(Millis{2999}));
  EXPECT_TRUE(ticker.Due(Millis{3000}));
  EXPECT_FALSE(ticker.Due(Millis{3500}));
  EXPECT_TRUE(ticker.Due(Millis{5100})) << "due at 5000";
  EXPECT_TRUE(ticker.Due(Millis{60000})) << "a long gap gives one line";
  EXPECT_FALSE(ticker.Due(Millis{61000}));
  EXPECT_TRUE(ticker.Due(Millis{62000}));
  ticker.Stop();
  EXPECT_FALSE(ticker.Due(Millis{90000}));
}

TEST(LogVersion, VersionNumberIsPrintedWithAPointAfterTheFirstDigit) {
  EXPECT_EQ(monitor::LogVersionText(0x307), "3.07");
  EXPECT_EQ(monitor::LogVersionText(0x12), "0.12");
}

}  // namespace
}  // namespace cw::test
