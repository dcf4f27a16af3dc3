#include <gtest/gtest.h>

#include "monitor/value_conversion.h"
#include "monitor_fixture.h"

namespace cw::test {
namespace {

using common::Bytes;
using common::Millis;
using monitor::kNotRead;
using monitor::PassEnd;
using monitor::WriteOutcome;

class ScanEngineTest : public ::testing::Test {
 protected:
  ScanFixture scan;
};

Bytes CellBlock() {
  // Cells 1-4 = 3801, 3799, 3800, 3802 mV, pack 15190 mV, two more words.
  return {0xD9, 0x0E, 0xD7, 0x0E, 0xD8, 0x0E, 0xDA, 0x0E, 0x56, 0x3B, 0, 0, 0, 0};
}

TEST_F(ScanEngineTest, FiveCellRowsCostOneBlockReadPerPass) {
  scan.gauge.SetBlock(0x71, CellBlock());
  scan.Select(
      {"Cell Voltage 4", "Cell Voltage 3", "Cell Voltage 2", "Cell Voltage 1", "Pack Voltage"});
  for (int pass = 1; pass <= 3; ++pass) {
    const auto result = scan.engine.ScanPass();
    EXPECT_EQ(result.end, PassEnd::kComplete);
    EXPECT_EQ(result.done, 5);
    EXPECT_EQ(scan.gauge.BlockRequests(0x71), pass) << "one request per pass";
  }
  EXPECT_EQ(scan.Row("Cell Voltage 1").value_text, "3801");
  EXPECT_EQ(scan.Row("Cell Voltage 2").value_text, "3799");
  EXPECT_EQ(scan.Row("Cell Voltage 3").value_text, "3800");
  EXPECT_EQ(scan.Row("Cell Voltage 4").value_text, "3802");
  EXPECT_EQ(scan.Row("Pack Voltage").value_text, "15190");
}

TEST_F(ScanEngineTest, InvalidStatusBlockFailsEveryRowOfItThisPassOnly) {
  struct Case {
    const char* what;
    Bytes reply;  // as the gauge sends it, count first
  };
  const Case cases[] = {
      {"count 3 instead of 4", {3, 0x54, 0x00, 0x07, 0x80}},
      {"echo of another subcommand", {4, 0x55, 0x00, 0x07, 0x80}},
      {"echo high byte not 0", {4, 0x54, 0x01, 0x07, 0x80}},
  };
  scan.Select({"Operation Status", "Voltage"});
  scan.gauge.SetWord(0x09, 15200);
  for (const Case& c : cases) {
    scan.gauge.SetBlock(0x54, Bytes{0x07, 0x80});
    ASSERT_TRUE(scan.engine.ScanPass().all_read) << c.what;
    EXPECT_EQ(scan.Row("Operation Status").value_text, "8007") << c.what;

    scan.gauge.SetRawBlock(0x54, c.reply);
    const auto result = scan.engine.ScanPass();
    EXPECT_FALSE(result.all_read) << c.what;
    EXPECT_EQ(result.done, 2) << "the pass goes on: " << c.what;
    EXPECT_EQ(scan.Row("Operation Status").raw_value, kNotRead) << c.what;
    EXPECT_EQ(scan.Row("Operation Status").value_text, " ") << c.what;
    EXPECT_EQ(scan.Row("Voltage").value_text, "15200") << c.what;
  }
}

TEST_F(ScanEngineTest, BothRowsOfOneBlockFailTogether) {
  scan.Select({"Temp Range", "Charging Status"});
  scan.gauge.SetBlock(0x55, Bytes{0x08, 0x04, 0x01});
  scan.engine.ScanPass();
  EXPECT_EQ(scan.Row("Temp Range").value_text, "0008");
  EXPECT_EQ(scan.Row("Charging Status").value_text, "0104");
  scan.gauge.SetRawBlock(0x55, Bytes{4, 0x55, 0x00, 0x08, 0x04});
  scan.engine.ScanPass();
  EXPECT_EQ(scan.Row("Temp Range").raw_value, kNotRead);
  EXPECT_EQ(scan.Row("Charging Status").raw_value, kNotRead);
  EXPECT_EQ(scan.gauge.BlockRequests(0x55), 2);
}

TEST_F(ScanEngineTest, NothingSelectedWaits700MsAndReportsNoProgress) {
  scan.Select({});
  scan.fixture.TakeEvents();
  scan.fixture.TakeWaits();
  const auto result = scan.engine.ScanPass();
  EXPECT_EQ(result.end, PassEnd::kIdle);
  EXPECT_EQ(scan.fixture.TakeWaits(), std::vector<Millis>{Millis{700}});
  EXPECT_TRUE(scan.fixture.TakeEvents().empty());
  EXPECT_TRUE(scan.progress.Take(common::TaskKind::kSbsScan).empty());

  // Scanning disabled counts as nothing selected.
  scan.Select({"Voltage"});
  scan.engine.SetScanEnabled(false);
  EXPECT_EQ(scan.engine.ScanPass().end, PassEnd::kIdle);
  EXPECT_EQ(scan.fixture.TakeWaits(), std::vector<Millis>{Millis{700}});
  EXPECT_TRUE(scan.fixture.TakeEvents().empty());
}

TEST_F(ScanEngineTest, EachRowIsFollowedByProgressAndA2MsWait) {
  scan.gauge.SetWord(0x09, 15200);
  scan.gauge.SetWord(0x0A, 0xFF9C);
  scan.gauge.SetWord(0x16, 0x00C0);
  scan.Select({"Voltage", "Current", "Battery Status"});
  scan.fixture.TakeWaits();
  scan.engine.ScanPass();
  EXPECT_EQ(scan.progress.Take(common::TaskKind::kSbsScan),
            (std::vector<ProgressReport>{{3, 0}, {3, 1}, {3, 2}, {3, 3}}));
  EXPECT_EQ(scan.fixture.TakeWaits(), (std::vector<Millis>{Millis{2}, Millis{2}, Millis{2}}));
  EXPECT_EQ(scan.Row("Current").value_text, "-100");
}

TEST_F(ScanEngineTest, APassWithoutTheAdapterIsNoProgress) {
  scan.Select({"Voltage", "Current"});
  scan.fixture.pack->Unplug();
  scan.engine.ScanPass();
  EXPECT_EQ(scan.progress.Take(common::TaskKind::kSbsScan),
            (std::vector<ProgressReport>{{2, 0}, {0, 0}, {0, 0}}));
}

TEST_F(ScanEngineTest, FailedWordRowIsMarkedAndThePassGoesOn) {
  scan.gauge.SetWord(0x0A, 100);
  scan.Select({"Voltage", "Current"});
  scan.gauge.SetWord(0x09, 15200);
  scan.engine.ScanPass();
  scan.gauge.FailWord(0x09);
  const auto result = scan.engine.ScanPass();
  EXPECT_FALSE(result.all_read);
  EXPECT_EQ(result.done, 2);
  EXPECT_EQ(scan.Row("Voltage").raw_value, kNotRead);
  EXPECT_EQ(scan.Row("Voltage").value_text, " ");
  EXPECT_EQ(scan.Row("Current").value_text, "100");
}

TEST_F(ScanEngineTest, CalibrationEndsThePassAfterTheCurrentRow) {
  scan.gauge.SetWord(0x09, 15200);
  scan.gauge.SetWord(0x0A, 100);
  scan.Select({"Voltage", "Current"});
  scan.calibration_busy = true;
  const auto result = scan.engine.ScanPass();
  EXPECT_EQ(result.end, PassEnd::kCalibration);
  EXPECT_EQ(result.done, 1);
  EXPECT_EQ(scan.gauge.WordReads(0x0A), 0);
  // The static refresh does not even start.
  scan.engine.RefreshStaticData();
  EXPECT_EQ(scan.Row("Design Voltage").raw_value, kNotRead);
}

TEST_F(ScanEngineTest, CapacityUnitsFollowBatteryModeReadEarlierInThePass) {
  scan.gauge.SetWord(0x03, 0x8000);
  scan.gauge.SetWord(0x04, 0xFF9C);
  scan.gauge.SetWord(0x0F, 512);
  scan.Select({"Battery Mode", "At Rate", "RemainingCapacity"});
  scan.engine.ScanPass();
  EXPECT_EQ(scan.Row("RemainingCapacity").unit, "cWh");
  EXPECT_EQ(scan.Row("At Rate").unit, "cW");
  EXPECT_EQ(scan.Row("At Rate").value_text, "-100");
  scan.gauge.SetWord(0x03, 0x6001);
  scan.engine.ScanPass();
  EXPECT_EQ(scan.Row("RemainingCapacity").unit, "mAh");
  EXPECT_EQ(scan.Row("At Rate").unit, "mA");
}

TEST_F(ScanEngineTest, DebugInfoIsCopiedRawOrClearedToZeros) {
  Bytes text(32, 'x');
  text[5] = 0;
  scan.gauge.SetBlock(0x79, text);
  scan.Select({"Gauge Debug Info"});
  scan.engine.ScanPass();
  EXPECT_EQ(scan.Row("Gauge Debug Info").value_text, std::string(text.begin(), text.end()));
  EXPECT_EQ(scan.Row("Gauge Debug Info").DisplayText(), "xxxxx");
  scan.engine.ScanPass();
  EXPECT_EQ(scan.gauge.BlockRequests(0x79), 2) << "read every pass";

  scan.gauge.SetRawBlock(0x79, Bytes{33, 0x79, 0x00});
  EXPECT_FALSE(scan.engine.ScanPass().all_read);
  EXPECT_EQ(scan.Row("Gauge Debug Info").value_text, std::string(32, '\0'));
}

TEST_F(ScanEngineTest, StaticRefreshFormatsDatesUnitsAndTexts) {
  scan.gauge.SetWord(0x18, 4800);
  scan.gauge.SetWord(0x19, 14400);
  scan.gauge.SetWord(0x1A, 0x0031);
  scan.gauge.SetWord(0x1B, 0x4A21);
  scan.gauge.SetWord(0x1C, 0x00AB);
  scan.gauge.SetText(0x20, "Quillmarsh");
  scan.gauge.SetText(0x21, "KT580714");
  scan.gauge.SetText(0x22, "LION");
  scan.engine.RefreshStaticData();
  EXPECT_EQ(scan.Row("Manufacture Date").value_text, "2017-1-1");
  EXPECT_EQ(scan.Row("Serial Number").value_text, "00AB");
  EXPECT_EQ(scan.Row("Device Name").value_text, "KT580714");
  EXPECT_EQ(scan.Row("Device Chemistry").value_text, "LION");
  EXPECT_EQ(scan.Row("Design Capacity").value_text, "4800");
  // Battery Mode never read: the unit is not guessed.
  EXPECT_EQ(scan.Row("Design Capacity").unit, "?");

  // Its first read gives the unit to the value already shown; a failed read later keeps it.
  scan.gauge.FailWord(0x19);
  scan.gauge.SetWord(0x03, 0x8001);
  scan.Select({"Battery Mode"});
  scan.engine.ScanPass();
  EXPECT_EQ(scan.Row("Design Capacity").unit, "cWh");
  scan.gauge.FailWord(0x03);
  scan.engine.ScanPass();
  scan.engine.RefreshStaticData();
  EXPECT_EQ(scan.Row("Design Voltage").value_text, "") << "failed static rows are empty";
  EXPECT_EQ(scan.Row("Design Voltage").raw_value, kNotRead);
  EXPECT_EQ(scan.Row("Design Capacity").unit, "cWh");
}

TEST_F(ScanEngineTest, StaticRefreshStopsWhenScanningIsDisabled) {
  scan.gauge.SetWord(0x18, 4800);
  scan.engine.SetScanEnabled(false);
  scan.engine.RefreshStaticData();
  EXPECT_EQ(scan.gauge.WordReads(0x18), 0);
}

TEST_F(ScanEngineTest, RegisterWriteSendsTheWordAndReadsItBack) {
  scan.gauge.SetWord(0x01, 300);
  scan.gauge.SetWord(0x04, 0);
  const auto ref = [&](std::string_view name) {
    return scan.engine.WithTable([&](monitor::RegisterTable& t) { return *t.Find(name); });
  };
  EXPECT_EQ(scan.engine.WriteRegister(ref("Remaining Cap. Alarm"), "450"), WriteOutcome::kWritten);
  EXPECT_EQ(scan.engine.WriteRegister(ref("At Rate"), "-100"), WriteOutcome::kWritten);
  const std::vector<std::pair<std::uint8_t, std::uint16_t>> expected = {{0x01, 450},
                                                                        {0x04, 0xFF9C}};
  EXPECT_EQ(scan.gauge.WordWrites(), expected);
  EXPECT_EQ(scan.Row("Remaining Cap. Alarm").value_text, "450");
  EXPECT_EQ(scan.Row("At Rate").value_text, "-100");

  // Nothing reaches the bus for a bad value or a read-only row.
  EXPECT_EQ(scan.engine.WriteRegister(ref("At Rate"), "fast"), WriteOutcome::kBadValue);
  EXPECT_EQ(scan.engine.WriteRegister(ref("Voltage"), "1"), WriteOutcome::kReadOnly);
  EXPECT_EQ(scan.gauge.WordWrites().size(), 2u);
  EXPECT_EQ(scan.Row("At Rate").value_text, "-100");
}

TEST_F(ScanEngineTest, RefusedRegisterWriteLeavesTheRowAsItWas) {
  scan.target.on_write = [](common::ByteView) { return false; };
  scan.gauge.SetWord(0x02, 10);
  scan.Select({"Remaining Time Alarm"});
  scan.engine.ScanPass();
  const auto ref = scan.engine.WithTable(
      [](monitor::RegisterTable& t) { return *t.Find("Remaining Time Alarm"); });
  EXPECT_EQ(scan.engine.WriteRegister(ref, "20"), WriteOutcome::kWriteFailed);
  EXPECT_EQ(scan.Row("Remaining Time Alarm").value_text, "10");
  EXPECT_EQ(scan.Row("Remaining Time Alarm").raw_value, 10);
}

}  // namespace
}  // namespace cw::test
