#include <gtest/gtest.h>

#include <functional>

#include "common/clock.h"
#include "sim/sim_gauge.h"
#include "sim_test_support.h"

namespace cw::sim {
namespace {

using testing::BlockWrite;
using testing::DataRecord;
using testing::PlainRecord;
using testing::ReadWord;
using testing::Scramble;
using testing::WordWrite;

class BootLoaderTest : public ::testing::Test {
 protected:
  bool Command(std::uint16_t word) { return gauge_.Write(WordWrite(0x47, word)); }
  std::optional<std::uint16_t> Status() { return ReadWord(gauge_, 0x47); }
  bool EnterUpdateMode() { return Command(0xF100) && Command(0xF200); }
  bool Send(const std::array<std::uint8_t, 31>& plain) {
    const auto record = Scramble(plain, constants_.record_mask);
    return gauge_.Write(BlockWrite(0x48, record));
  }
  // Reads the status every millisecond until the loader is no longer busy (at most 100 ms).
  std::uint16_t StatusAfterBusy() {
    std::uint16_t status = 0;
    for (int poll = 0; poll < 100; ++poll) {
      status = Status().value_or(0xFFFF);
      if ((status & 0x0001) == 0) break;
      clock_.Advance(common::Millis{1});
    }
    return status;
  }

  common::ManualClock clock_;
  common::ProductConstants constants_;
  SimGauge gauge_{clock_, constants_};
};

TEST_F(BootLoaderTest, HandshakeGoesFrom0080To0180WithTheBytesOfAReadyStatus) {
  EXPECT_EQ(WordWrite(0x47, 0xF100), (common::Bytes{0x47, 0x00, 0xF1, 0x5A}));
  ASSERT_TRUE(Command(0xF100));
  EXPECT_EQ(Status(), 0x0080);
  ASSERT_TRUE(Command(0xF200));
  EXPECT_EQ(gauge_.Read(0x47, 3), (common::Bytes{0x80, 0x01, 0x85}));
  // While the boot loader runs the firmware does not answer.
  EXPECT_FALSE(gauge_.Read(0x09, 3));
  EXPECT_FALSE(gauge_.Write(WordWrite(0x77, 0x30)));
  ASSERT_TRUE(Command(0xFF00));
  EXPECT_EQ(Status(), 0x0000);
  EXPECT_TRUE(ReadWord(gauge_, 0x09));
}

// Busy is a time on the gauge's clock, not a number of reads: reading faster does not finish
// the programming sooner.
TEST_F(BootLoaderTest, RecordsKeepTheLoaderBusyForTheirProgrammingTime) {
  gauge_.SetBootTiming({.record = common::Millis{3}, .erase = common::Millis{30}});
  ASSERT_TRUE(EnterUpdateMode());
  const common::Bytes code = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                              13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
  const common::Bytes constants = {0xC0, 0xFF, 0xEE};
  const struct {
    std::array<std::uint8_t, 31> record;
    int busy_ms;
  } steps[] = {
      {DataRecord(0, 0x1230, 0, code), 3},
      {PlainRecord(1, 0xFE, common::Bytes{0x04, 0x00, 0x01}), 30},
      {DataRecord(2, 0x0100, 1, constants), 3},
  };
  for (const auto& step : steps) {
    ASSERT_TRUE(Send(step.record));
    for (int read = 0; read < 5; ++read) EXPECT_EQ(Status(), 0x0181) << step.busy_ms;
    EXPECT_EQ(gauge_.BootLoader().busy_left, common::Millis{step.busy_ms});
    clock_.Advance(common::Millis{step.busy_ms - 1});
    EXPECT_EQ(Status(), 0x0181) << step.busy_ms;
    clock_.Advance(common::Millis{1});
    EXPECT_EQ(Status(), 0x0180) << step.busy_ms;
    EXPECT_EQ(gauge_.BootLoader().busy_left, common::Millis{0});
  }
  const GaugeState state = gauge_.State();
  EXPECT_TRUE(std::equal(code.begin(), code.end(), state.memory.code.begin() + 0x1230));
  EXPECT_TRUE(std::equal(constants.begin(), constants.end(), state.memory.data.begin() + 0x100));
}

// A state taken while the loader is busy carries the time it has left, whatever clock the gauge
// it is restored into runs on.
TEST_F(BootLoaderTest, BusyTimeLeftTravelsWithTheState) {
  ASSERT_TRUE(EnterUpdateMode());
  ASSERT_TRUE(Send(PlainRecord(0, 0xFE, common::Bytes{0x04, 0x00, 0x01})));
  clock_.Advance(common::Millis{5});
  const GaugeState busy = gauge_.State();
  EXPECT_EQ(busy.boot.busy_left, boot::BootTiming{}.erase - common::Millis{5});

  common::ManualClock later;
  later.Advance(common::Millis{100000});
  SimGauge restored(later, constants_);
  restored.Restore(busy);
  EXPECT_EQ(restored.State(), busy);
  EXPECT_EQ(ReadWord(restored, 0x47), 0x0181);
  later.Advance(busy.boot.busy_left);
  EXPECT_EQ(ReadWord(restored, 0x47), 0x0180);
}

TEST_F(BootLoaderTest, RecordFaultsSetTheirStatusBitsAndProgramNothing) {
  struct Case {
    const char* name;
    std::function<std::array<std::uint8_t, 32>()> record;
    std::uint16_t error;
  };
  const std::uint8_t mask = constants_.record_mask;
  const common::Bytes data(24, 0x77);
  const Case cases[] = {
      {"bad sum byte",
       [&] {
         auto record = Scramble(DataRecord(0, 0x2000, 0, data), mask);
         record[31] ^= 0x01;
         return record;
       },
       0x1000},
      {"sequence gap", [&] { return Scramble(DataRecord(5, 0x2000, 0, data), mask); }, 0x4000},
      {"into the boot loader", [&] { return Scramble(DataRecord(0, 0xFBF0, 0, data), mask); },
       0x0200},
      {"past the data flash", [&] { return Scramble(DataRecord(0, 0x07F0, 1, data), mask); },
       0x0200},
      {"count above 24",
       [&] {
         return Scramble(PlainRecord(0, 0xFD, common::Bytes{0x20, 0x00, 0, 25}), mask);
       },
       0x8000},
      {"unknown type", [&] { return Scramble(PlainRecord(0, 0x42, {}), mask); }, 0x8000},
  };
  for (const Case& test : cases) {
    ASSERT_TRUE(EnterUpdateMode());
    const common::Bytes before = gauge_.State().memory.code;
    ASSERT_TRUE(gauge_.Write(BlockWrite(0x48, test.record())));
    EXPECT_EQ(StatusAfterBusy(), 0x0180 | test.error) << test.name;
    EXPECT_EQ(gauge_.State().memory.code, before) << test.name;
    // Error bits stay until the next handshake.
    EXPECT_EQ(Status(), 0x0180 | test.error) << test.name;
  }
}

TEST_F(BootLoaderTest, CopyRecordFillsTheTwoBytesFromTheBootLoaderEnd) {
  ASSERT_TRUE(EnterUpdateMode());
  ASSERT_TRUE(Send(DataRecord(0, 0xF7C8, 0, common::Bytes(8, 0))));
  ASSERT_TRUE(Send(PlainRecord(1, 0xFC, common::Bytes{0xFF, 0xFE, 0x00, 0xF7, 0xCE, 0x00, 0x02})));
  EXPECT_EQ(StatusAfterBusy(), 0x0180);
  const GaugeState state = gauge_.State();
  EXPECT_EQ(state.memory.code[0xF7CE], state.memory.code[0xFFFE]);
  EXPECT_EQ(state.memory.code[0xF7CF], state.memory.code[0xFFFF]);
  EXPECT_NE(state.memory.code[0xFFFE], 0);
}

TEST_F(BootLoaderTest, RecordsOutsideUpdateModeAndBadPecAreRefused) {
  const auto record =
      Scramble(DataRecord(0, 0x2000, 0, common::Bytes(4, 1)), constants_.record_mask);
  EXPECT_FALSE(gauge_.Write(BlockWrite(0x48, record)));  // the firmware has no 0x48
  ASSERT_TRUE(Command(0xF100));
  ASSERT_TRUE(gauge_.Write(BlockWrite(0x48, record)));  // handshake not finished
  EXPECT_EQ(StatusAfterBusy(), 0x8080);
  ASSERT_TRUE(EnterUpdateMode());
  common::Bytes bad = BlockWrite(0x48, record);
  bad.back() ^= 0xFF;
  EXPECT_FALSE(gauge_.Write(bad));
  EXPECT_EQ(Status(), 0x2180);
}

TEST_F(BootLoaderTest, SealedGaugeRejectsEntryAndAStuckLoaderNeverLeaves) {
  gauge_.SetSealState(SealState::kSealed);
  ASSERT_TRUE(Command(0xF100));
  EXPECT_EQ(Status(), 0x8000);
  EXPECT_EQ(gauge_.BootLoader().mode, BootMode::kNormal);

  gauge_.SetSealState(SealState::kUnsealed);
  gauge_.SetFaults(FaultConfig{.stuck_in_boot_loader = true});
  ASSERT_TRUE(EnterUpdateMode());
  ASSERT_TRUE(Command(0xFF00));
  EXPECT_EQ(Status(), 0x0180);
  EXPECT_FALSE(gauge_.Read(0x09, 3));
}

}  // namespace
}  // namespace cw::sim
