#include <gtest/gtest.h>

#include "common/clock.h"
#include "sim/sim_gauge.h"
#include "sim_test_support.h"

namespace cw::sim {
namespace {

using namespace std::chrono_literals;
using testing::BlockWrite;
using testing::ReadBlock;
using testing::ReadWord;
using testing::WordWrite;

constexpr common::Millis kMinute = 60s;
constexpr common::Millis kHour = 3600s;

class BatteryModelTest : public ::testing::Test {
 protected:
  std::int16_t Signed(std::uint8_t command) {
    return static_cast<std::int16_t>(*ReadWord(gauge_, command));
  }
  std::optional<common::Bytes> Block(std::uint16_t subcommand, std::size_t length) {
    if (!gauge_.Write(BlockWrite(
            0x44, common::Bytes{common::LowByte(subcommand), common::HighByte(subcommand)}))) {
      return std::nullopt;
    }
    auto reply = ReadBlock(gauge_, 0x44, length + 2);
    if (reply) reply->erase(reply->begin(), reply->begin() + 2);
    return reply;
  }
  std::uint16_t Word(const common::Bytes& block, std::size_t offset) {
    return common::LittleEndianWord(block[offset], block[offset + 1]);
  }

  common::ManualClock clock_;
  SimGauge gauge_{clock_, common::ProductConstants{}};
};

TEST_F(BatteryModelTest, StartsExactlyAtThePowerUpValues) {
  EXPECT_EQ(gauge_.Measurements(), PackMeasurements{});
  clock_.Advance(200ms);
  EXPECT_EQ(ReadWord(gauge_, 0x09), 15200);
  EXPECT_EQ(Signed(0x0A), -250);
}

TEST_F(BatteryModelTest, AnHourOfDischargeUsesTheChargeItDrew) {
  const std::uint16_t rc_before = *ReadWord(gauge_, 0x0F);
  const std::uint16_t voltage_before = *ReadWord(gauge_, 0x09);
  clock_.Advance(10 * kMinute);  // the light load
  const std::uint16_t rc_light = *ReadWord(gauge_, 0x0F);
  EXPECT_NEAR(rc_before - rc_light, 250.0 / 6, 2);
  EXPECT_EQ(gauge_.BatteryPhase(), BatteryModel::Phase::kDischarge);

  clock_.Advance(kHour);
  const std::uint16_t rc_after = *ReadWord(gauge_, 0x0F);
  EXPECT_NEAR(rc_light - rc_after, 1800, 10);
  EXPECT_NEAR(Signed(0x0A), -1800, 7);
  EXPECT_NEAR(Signed(0x0B), -1800, 10) << "the average has caught up";
  EXPECT_EQ(*ReadWord(gauge_, 0x0D), (rc_after * 100 + 2250) / 4500) << "RSOC follows RC";
  EXPECT_LT(*ReadWord(gauge_, 0x09), voltage_before - 200);
  EXPECT_GT(*ReadWord(gauge_, 0x08), 2982) << "the cells warm under load";
  EXPECT_EQ(*ReadWord(gauge_, 0x16) & 0x0040, 0x0040) << "DSG";
}

TEST_F(BatteryModelTest, StatusBlocksAgreeWithTheRegisters) {
  clock_.Advance(kHour);
  const auto cells = Block(0x71, 14);
  ASSERT_TRUE(cells);
  const PackMeasurements m = gauge_.Measurements();
  for (std::size_t cell = 0; cell < 4; ++cell) EXPECT_EQ(Word(*cells, 2 * cell), m.cell_mv[cell]);
  EXPECT_EQ(Word(*cells, 0) + Word(*cells, 2) + Word(*cells, 4) + Word(*cells, 6),
            *ReadWord(gauge_, 0x09));
  const auto temperatures = Block(0x72, 12);
  ASSERT_TRUE(temperatures);
  EXPECT_EQ(Word(*temperatures, 8), *ReadWord(gauge_, 0x08));
  const auto capacities = Block(0x78, 32);
  ASSERT_TRUE(capacities);
  EXPECT_EQ(Word(*capacities, 0), *ReadWord(gauge_, 0x0F));
  EXPECT_EQ(Word(*capacities, 2), *ReadWord(gauge_, 0x10));
}

TEST_F(BatteryModelTest, DischargeChargeAndRestRepeatAndCountCycles) {
  const std::uint16_t cycles = *ReadWord(gauge_, 0x17);
  bool seen_rest = false, seen_charge = false, seen_full = false, seen_empty_alarm = false;
  for (int minute = 0; minute < 14 * 60; minute += 5) {
    clock_.Advance(5 * kMinute);
    const auto phase = gauge_.BatteryPhase();
    const std::uint16_t status = *ReadWord(gauge_, 0x16);
    seen_rest |= phase == BatteryModel::Phase::kRestAfterDischarge;
    if (phase == BatteryModel::Phase::kCharge) {
      seen_charge = true;
      EXPECT_GT(Signed(0x0A), 0);
      EXPECT_EQ(status & 0x0040, 0) << "DSG clears while charging";
    }
    seen_full |= (status & 0x0020) != 0 && *ReadWord(gauge_, 0x0D) == 100;
    seen_empty_alarm |= (status & 0x0200) != 0;  // RCA below the 300 mAh alarm
  }
  EXPECT_TRUE(seen_rest);
  EXPECT_TRUE(seen_charge);
  EXPECT_TRUE(seen_full);
  EXPECT_TRUE(seen_empty_alarm);
  EXPECT_GT(*ReadWord(gauge_, 0x17), cycles);
}

TEST_F(BatteryModelTest, InjectedSafetyAlarmOpensTheFetsUntilCleared) {
  clock_.Advance(20 * kMinute);
  gauge_.RaiseSafetyAlarm(0x2000);  // OTD
  clock_.Advance(kMinute);
  EXPECT_EQ(Signed(0x0A), 0);
  const auto safety = Block(0x51, 4);
  ASSERT_TRUE(safety);
  EXPECT_EQ(Word(*safety, 0), 0x2000);
  EXPECT_EQ(gauge_.OperationStatusWord() & 0x0030, 0x0030) << "XDSG and XCHG";
  EXPECT_EQ(*ReadWord(gauge_, 0x16) & 0x1800, 0x1800) << "OTA and TDA";
  const std::uint16_t rc = *ReadWord(gauge_, 0x0F);
  clock_.Advance(10 * kMinute);
  EXPECT_EQ(*ReadWord(gauge_, 0x0F), rc) << "nothing flows while tripped";

  ASSERT_TRUE(gauge_.Write(WordWrite(0x00, 0x0029)));  // PF_CLEAR
  clock_.Advance(kMinute);
  EXPECT_LT(Signed(0x0A), -1000);
  EXPECT_EQ(gauge_.OperationStatusWord() & 0x0030, 0);
}

TEST_F(BatteryModelTest, DischargeFetOffStopsTheCurrent) {
  clock_.Advance(20 * kMinute);
  ASSERT_TRUE(gauge_.Write(WordWrite(0x00, 0x0020)));  // DFET_TOGGLE
  clock_.Advance(kMinute);
  EXPECT_EQ(Signed(0x0A), 0);
}

TEST_F(BatteryModelTest, CalibratedCellsKeepTheirCorrectionWhileTheModelMoves) {
  ASSERT_TRUE(gauge_.Write(BlockWrite(
      0x41, common::Bytes{0x3C, 0x0F, 0x3C, 0x0F, 0x3C, 0x0F, 0x3C, 0x0F})));  // 3900 mV each
  ASSERT_TRUE(gauge_.Write(WordWrite(0x40, 0x0010)));
  EXPECT_EQ(ReadWord(gauge_, 0x09), 4 * 3900);
  const PackMeasurements before = gauge_.Measurements();
  clock_.Advance(kHour);
  const PackMeasurements after = gauge_.Measurements();
  const int drop = before.cell_mv[0] - after.cell_mv[0];
  EXPECT_GT(drop, 50);
  for (std::size_t cell = 1; cell < 4; ++cell) {
    EXPECT_EQ(after.cell_mv[cell], after.cell_mv[0]) << "the calibrated cells stay equal";
  }
}

TEST_F(BatteryModelTest, BoardOffsetCalibrationRemovesTheBoardsOwnCurrent) {
  GaugeState state = gauge_.State();
  state.board_offset_ma = 25;
  gauge_.Restore(state);
  const int offset_current = Signed(0x0A);
  ASSERT_TRUE(gauge_.Write(WordWrite(0x40, 0x0020)));
  EXPECT_EQ(Signed(0x0A), offset_current - 25);
  ASSERT_TRUE(gauge_.Write(WordWrite(0x40, 0x0020)));
  EXPECT_EQ(Signed(0x0A), offset_current - 25) << "a second calibration finds nothing to remove";
}

}  // namespace
}  // namespace cw::sim
