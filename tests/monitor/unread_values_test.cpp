// Values the scan did not read in its latest pass: never logged or shown as current, whatever
// the row kind, and counted.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <vector>

#include "monitor/data_log.h"
#include "monitor/sbs_session.h"
#include "monitor_fixture.h"

namespace cw::test {
namespace {

using common::Bytes;
using monitor::RegisterTable;

// Runs `on_row` on the scanning thread after each row a pass has read: the pass then stands
// still as it does while its read waits on a time-out or on a notice nobody has closed yet.
class RowHook final : public common::ProgressSink {
 public:
  void TaskProgress(common::TaskKind kind, int, int done) override {
    if (kind == common::TaskKind::kSbsScan && at_row > 0 && done == at_row) {
      at_row = 0;
      on_row();
    }
  }
  int at_row = 0;
  std::function<void()> on_row;
};

const std::string kNaN = "NaN";

// Logged: Voltage, Current (table A), Cell Voltage 1 (a status block, table B) and the debug
// block (table C); scanned besides: Battery Status, which a status display shows.
class UnreadValuesTest : public ::testing::Test {
 protected:
  UnreadValuesTest() {
    std::filesystem::create_directories(directory_);
    for (const char* name : {"Voltage", "Current", "Cell Voltage 1", "Gauge Debug Info"}) {
      page_.ToggleLog(Ref(name));
    }
    page_.ToggleScan(Ref("Battery Status"));
  }
  ~UnreadValuesTest() override { std::filesystem::remove_all(directory_); }

  void AnswerEveryRow() {
    gauge().SetWord(0x09, 15200);
    gauge().SetWord(0x0A, 0xFF9C);
    gauge().SetWord(0x16, 0x00C0);
    gauge().SetBlock(0x71,
                     Bytes{0xD9, 0x0E, 0xD7, 0x0E, 0xD8, 0x0E, 0xDA, 0x0E, 0x56, 0x3B, 0, 0, 0, 0});
    gauge().SetBlock(0x79, Bytes(32, 0));  // a block of zeros is a reading like any other
  }
  FakeGauge& gauge() { return scan_.gauge; }
  monitor::RowRef Ref(std::string_view name) {
    return engine_.WithTable([&](const RegisterTable& table) { return *table.Find(name); });
  }
  std::int32_t BatteryStatusDisplay() {
    return page_.View().displays[*monitor::SbsSession::DisplayIndex("Battery Status")];
  }
  std::string LogText() {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The words of the last line after its three leading columns.
  std::vector<std::string> LastValues() {
    const std::string text = LogText();
    const std::size_t start = text.rfind("\r\n", text.size() - 3) + 2;
    std::istringstream line(text.substr(start));
    std::istream_iterator<std::string> word(line);
    std::advance(word, 3);
    return {word, std::istream_iterator<std::string>()};
  }
  // Voltage, Current, Cell Voltage 1 and the 32 bytes of the debug block.
  static std::vector<std::string> Line(std::string voltage, std::string current, std::string cell,
                                       std::string debug_byte) {
    std::vector<std::string> words = {voltage, current, cell};
    words.insert(words.end(), 32, debug_byte);
    return words;
  }

  std::filesystem::path directory_ =
      std::filesystem::temp_directory_path() /
      ("cw_unread_" + std::to_string(::getpid()) + "_" +
       ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::string path_ = (directory_ / "pack.LOG").string();
  ScanFixture scan_;
  RowHook hook_;
  monitor::ScanEngine engine_{*scan_.fixture.link, hook_, scan_.calibration_busy};
  monitor::FixedLocalTime time_{std::tm{}};
  test::RecordingMessageSink messages_;
  monitor::DataLog log_{engine_, time_};
  monitor::SbsSession page_{engine_, log_, messages_};
};

TEST_F(UnreadValuesTest, AfterTheAdapterGoesOnlyWhatThisPassReadIsCurrent) {
  AnswerEveryRow();
  ASSERT_TRUE(page_.StartLog(path_, 1));
  engine_.ScanPass();
  EXPECT_EQ(page_.WriteLogLine().detail, 0);
  EXPECT_EQ(LastValues(), Line("15200", "-100", "3801", "00"));
  EXPECT_EQ(BatteryStatusDisplay(), 0x00C0);

  // The adapter goes after the pass has read Voltage and Current; a line is written while the
  // read that found it gone has not come back to the scan.
  int unread_while_lost = -1;
  std::vector<std::string> line_while_lost;
  std::int32_t display_while_lost = 0;
  hook_.at_row = 2;
  hook_.on_row = [&] {
    scan_.fixture.pack->Unplug();
    std::uint16_t word = 0;
    EXPECT_FALSE(scan_.fixture.link->ReadWord(0x0D, word));
    unread_while_lost = page_.WriteLogLine().detail;
    line_while_lost = LastValues();
    display_while_lost = BatteryStatusDisplay();
  };
  engine_.ScanPass();
  EXPECT_EQ(unread_while_lost, 2) << "the status block and the debug block";
  EXPECT_EQ(line_while_lost, Line("15200", "-100", kNaN, kNaN)) << "read in this pass, or not";
  EXPECT_EQ(display_while_lost, monitor::kDisplayNotRead);

  engine_.ScanPass();
  EXPECT_EQ(page_.WriteLogLine().detail, 4);
  EXPECT_EQ(LastValues(), Line(kNaN, kNaN, kNaN, kNaN));

  // Back: each value is current again once read again.
  scan_.fixture.pack->Plug();
  std::vector<std::string> line_on_return;
  hook_.at_row = 1;
  hook_.on_row = [&] {
    page_.WriteLogLine();
    line_on_return = LastValues();
  };
  engine_.ScanPass();
  EXPECT_EQ(line_on_return, Line("15200", kNaN, kNaN, kNaN));
  EXPECT_EQ(page_.WriteLogLine().detail, 0);
  EXPECT_EQ(page_.View().log_tally, (monitor::LogTally{5, 3}));
  EXPECT_EQ(BatteryStatusDisplay(), 0x00C0);
}

TEST_F(UnreadValuesTest, EveryRowKindIsMarkedInTheTextLogAndLeftEmptyInTheCsv) {
  // Read: Voltage, Design Capacity and Device Name. Not read: Current and the other static
  // words (refused), the cell block (a wrong count), the debug block and two texts (refused).
  gauge().SetWord(0x09, 15200);
  gauge().SetWord(0x18, 4800);
  gauge().SetText(0x21, "KT580714");
  gauge().SetRawBlock(0x71, Bytes{9, 0x71, 0x00, 0xD9, 0x0E});
  engine_.RefreshStaticData();

  ASSERT_TRUE(page_.StartLog(path_, 1));
  engine_.ScanPass();
  EXPECT_EQ(page_.WriteLogLine().detail, 3);
  const std::string text = LogText();
  for (const char* header_line : {"\r\nDesignCapacity: 4800\r\n", "\r\nDesignVoltage: NaN\r\n",
                                  "\r\nDeviceName: KT580714\r\n", "\r\nManufacturerName: NaN\r\n",
                                  "\r\nDeviceChemistry: NaN\r\n"}) {
    EXPECT_NE(text.find(header_line), std::string::npos) << header_line << text;
  }
  EXPECT_EQ(LastValues(), Line("15200", kNaN, kNaN, kNaN));
  page_.StopLog();

  ASSERT_TRUE(page_.StartLog((directory_ / "pack.csv").string(), 1, monitor::LogFormat::kCsv));
  EXPECT_EQ(page_.WriteLogLine().detail, 3);
  EXPECT_EQ(log_.DataLine(), "2,1900-01-00T00:00:00,2,15200,,,\r\n");  // the fixture's zero time
}

}  // namespace
}  // namespace cw::test
