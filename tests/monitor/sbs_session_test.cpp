#include "monitor/sbs_session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "monitor_fixture.h"

namespace cw::test {
namespace {

using monitor::CellState;
using monitor::RegisterTable;
using monitor::RowRef;
using monitor::RowSelection;
using monitor::SbsSession;

class SbsPageTest : public ::testing::Test {
 protected:
  SbsPageTest() { page_.Start(); }

  RowRef Ref(std::string_view name) {
    return scan_.engine.WithTable([&](RegisterTable& table) { return *table.Find(name); });
  }
  std::pair<bool, bool> Flags(std::string_view name) {
    const auto row = scan_.Row(name);
    return {row.log, row.scan};
  }
  std::int32_t Display(std::string_view title) {
    for (std::size_t i = 0; i < monitor::kStatusDisplays.size(); ++i) {
      if (monitor::kStatusDisplays[i].title == title) return page_.View().displays[i];
    }
    ADD_FAILURE() << title;
    return 0;
  }

  ScanFixture scan_;
  monitor::FixedLocalTime time_{std::tm{}};
  test::RecordingMessageSink messages_;
  monitor::DataLog log_{scan_.engine, time_};
  SbsSession page_{scan_.engine, log_, messages_};
};

TEST_F(SbsPageTest, LogAndScanClicksKeepEveryLoggedRowScanned) {
  enum Click { kLog, kScan };
  struct Case {
    const char* what;
    std::pair<bool, bool> before;  // log, scan
    Click click;
    std::pair<bool, bool> after;
  };
  const Case cases[] = {
      {"log on an idle row scans it too", {false, false}, kLog, {true, true}},
      {"log off keeps the scan", {true, true}, kLog, {false, true}},
      {"log on a scanned row", {false, true}, kLog, {true, true}},
      {"scan off a logged row clears both", {true, true}, kScan, {false, false}},
      {"scan on", {false, false}, kScan, {false, true}},
      {"scan off", {false, true}, kScan, {false, false}},
  };
  const RowRef ref = Ref("Voltage");
  for (const Case& c : cases) {
    scan_.engine.WithTable([&](RegisterTable& table) {
      table.row(ref).log = c.before.first;
      table.row(ref).scan = c.before.second;
    });
    ASSERT_TRUE(c.click == kLog ? page_.ToggleLog(ref) : page_.ToggleScan(ref)) << c.what;
    EXPECT_EQ(Flags("Voltage"), c.after) << c.what;
  }
}

TEST_F(SbsPageTest, ButtonsSetFlagsOfEveryRegisterRow) {
  page_.SelectAllRows(RowSelection::kLogAll);
  page_.SelectAllRows(RowSelection::kClearLogs);
  scan_.engine.WithTable([](RegisterTable& table) {
    for (auto id : monitor::kScanTables) {
      for (const auto& row : table.rows(id)) {
        EXPECT_TRUE(row.scan) << row.name;
        EXPECT_FALSE(row.log) << row.name;
      }
    }
  });
  page_.SelectAllRows(RowSelection::kLogAll);
  page_.SelectAllRows(RowSelection::kClearScans);
  EXPECT_EQ(Flags("Gauge Debug Info"), (std::pair{false, false}));
  page_.SelectAllRows(RowSelection::kScanAll);
  EXPECT_EQ(Flags("Manufacture Access"), (std::pair{false, true}));
}

TEST_F(SbsPageTest, WhileLoggingButtonsAndClicksAreIgnored) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("cw_page_rules_" + std::to_string(::getpid()) + ".LOG");
  ASSERT_TRUE(page_.ToggleLog(Ref("Current")));
  ASSERT_TRUE(log_.StartLog(path.string(), 2));
  EXPECT_FALSE(page_.View().selections_editable);
  EXPECT_FALSE(page_.SelectAllRows(RowSelection::kScanAll));
  EXPECT_FALSE(page_.ToggleLog(Ref("Voltage")));
  EXPECT_FALSE(page_.ToggleScan(Ref("Voltage")));
  EXPECT_EQ(Flags("Voltage"), (std::pair{false, false}));
  log_.StopLog();
  std::filesystem::remove(path);
  EXPECT_TRUE(page_.View().selections_editable);
  EXPECT_TRUE(page_.ToggleScan(Ref("Voltage")));
}

TEST_F(SbsPageTest, SafetyHalvesGoToTheirDisplaysAndAnInvalidBlockGreysBoth) {
  std::vector<std::size_t> repaints;
  const common::Subscription watch = page_.changes().Subscribe([&](monitor::SbsChange change) {
    if (change.what == monitor::SbsChange::What::kDisplay) repaints.push_back(change.display);
  });
  scan_.Select({"Safety Status"});
  scan_.gauge.SetBlock(0x51, common::Bytes{0x01, 0x00, 0x02, 0x00});
  scan_.engine.ScanPass();
  EXPECT_EQ(Display("Safety status L"), 0x0001);
  EXPECT_EQ(Display("Safety status H"), 0x0002);
  EXPECT_EQ(repaints.size(), 2u);

  scan_.engine.ScanPass();
  EXPECT_EQ(repaints.size(), 2u) << "an unchanged value is not repainted";

  scan_.gauge.SetBlock(0x51, common::Bytes{0x01, 0x00, 0x04, 0x00});
  scan_.engine.ScanPass();
  EXPECT_EQ(repaints.size(), 3u) << "only the half that changed";

  scan_.gauge.SetRawBlock(0x51, common::Bytes{5, 0x51, 0x00, 1, 0, 4, 0});
  scan_.engine.ScanPass();
  EXPECT_EQ(Display("Safety status L"), monitor::kDisplayNotRead);
  EXPECT_EQ(Display("Safety status H"), monitor::kDisplayNotRead);
  EXPECT_EQ(SbsSession::Cell(Display("Safety status L"), 0), CellState::kNotRead);
}

TEST_F(SbsPageTest, OperationStatusSealedSetsOnlyTheSsCell) {
  scan_.Select({"Operation Status", "Voltage"});
  scan_.gauge.SetWord(0x09, 15200);
  scan_.gauge.SetBlock(0x54, common::Bytes{0x00, 0x40});
  scan_.engine.ScanPass();
  const auto index = *SbsSession::DisplayIndex("Operation Status");
  const auto& display = monitor::kStatusDisplays[index];
  const std::int32_t value = page_.View().displays[index];
  for (int bit = 15; bit >= 0; --bit) {
    const auto expected = bit == 14 ? CellState::kSet : CellState::kClear;
    EXPECT_EQ(SbsSession::Cell(value, bit), expected) << display.bits[15 - bit];
  }
  EXPECT_EQ(display.bits[15 - 14], "SS");
  EXPECT_EQ(Display("Battery Status"), monitor::kDisplayNotRead) << "never read";
}

TEST_F(SbsPageTest, DisplaysAreDefinedOnceEachWithSixteenBits) {
  EXPECT_EQ(SbsSession::DisplayTitle(*SbsSession::DisplayIndex("Temperature Rang")),
            "Temperature Rang - SCANNING");
  for (const auto& display : monitor::kStatusDisplays) {
    ASSERT_TRUE(scan_.engine.WithTable([&](RegisterTable& table) {
      return table.FindRow(display.source_row) != nullptr;
    })) << display.title;
  }
  EXPECT_EQ(monitor::kStatusDisplays[*SbsSession::DisplayIndex("PF status H")].bits[0], "TS4");
  EXPECT_EQ(monitor::kStatusDisplays[*SbsSession::DisplayIndex("Manufacturing Status")].bits[7],
            "FUSE_EN");
}

TEST_F(SbsPageTest, EditedValueThatIsNotANumberIsReported) {
  scan_.gauge.SetWord(0x02, 10);
  EXPECT_EQ(page_.WriteRegister(Ref("Remaining Time Alarm"), "ten").verdict,
            common::Verdict::kRefused);
  ASSERT_EQ(messages_.Texts().size(), 1u);
  EXPECT_NE(messages_.Texts()[0].find("Remaining Time Alarm"), std::string::npos);
  const common::Outcome written = page_.WriteRegister(Ref("Remaining Time Alarm"), "20");
  EXPECT_TRUE(written.done());
  EXPECT_TRUE(written.gauge_changed);
  EXPECT_EQ(messages_.Texts().size(), 1u);
}

}  // namespace
}  // namespace cw::test
