#include <gtest/gtest.h>

#include "common/clock.h"
#include "link/pec.h"
#include "sim/sim_gauge.h"
#include "sim_test_support.h"

namespace cw::sim {
namespace {

using testing::BlockWrite;
using testing::EnterKey;
using testing::ReadBlock;
using testing::ReadWord;
using testing::WordWrite;
using testing::WriteWords;

class GaugeTest : public ::testing::Test {
 protected:
  // ReadSealState of the tool: ManufacturerBlockAccess 0x54, reply count 4, 0x54, 0x00, status.
  std::optional<std::uint16_t> OperationStatusByBlockAccess() {
    if (!gauge_.Write(BlockWrite(0x44, common::Bytes{0x54, 0x00}))) return std::nullopt;
    const auto reply = ReadBlock(gauge_, 0x44, 4);
    if (!reply || (*reply)[0] != 0x54 || (*reply)[1] != 0x00) return std::nullopt;
    return common::LittleEndianWord((*reply)[2], (*reply)[3]);
  }

  common::ManualClock clock_;
  SimGauge gauge_{clock_, common::ProductConstants{}};
};

struct SealCase {
  const char* name;
  SealState start;
  std::vector<std::uint16_t> words;  // ManufacturerAccess words, in order
  SealState expected;
};

TEST_F(GaugeTest, SealUnsealAndFullAccessFollowTheKeys) {
  const SealCase cases[] = {
      {"seal", SealState::kUnsealed, {0x0030}, SealState::kSealed},
      {"seal from full access", SealState::kFullAccess, {0x0030}, SealState::kSealed},
      {"unseal key, low word first", SealState::kSealed, {0x61D4, 0x3B9E}, SealState::kUnsealed},
      {"unseal key, high word first", SealState::kSealed, {0x3B9E, 0x61D4}, SealState::kSealed},
      {"full-access key after unseal",
       SealState::kSealed,
       {0x61D4, 0x3B9E, 0x058F, 0xA7C2},
       SealState::kFullAccess},
      {"full-access key while sealed", SealState::kSealed, {0x058F, 0xA7C2}, SealState::kSealed},
      {"wrong key", SealState::kSealed, {0x61D4, 0x3B9F}, SealState::kSealed},
      {"interrupted key", SealState::kSealed, {0x61D4, 0x0001, 0x3B9E}, SealState::kSealed},
      {"stray word before the key",
       SealState::kSealed,
       {0x1234, 0x61D4, 0x3B9E},
       SealState::kUnsealed},
  };
  for (const SealCase& test : cases) {
    gauge_.SetSealState(test.start);
    for (std::uint16_t word : test.words) ASSERT_TRUE(gauge_.Write(WordWrite(0x00, word)));
    EXPECT_EQ(gauge_.seal_state(), test.expected) << test.name;
  }
}

TEST_F(GaugeTest, KeyWordsFurtherApartThanFourSecondsDoNotUnseal) {
  gauge_.SetSealState(SealState::kSealed);
  ASSERT_TRUE(gauge_.Write(WordWrite(0x00, 0x61D4)));
  clock_.Advance(common::Millis(4001));
  ASSERT_TRUE(gauge_.Write(WordWrite(0x00, 0x3B9E)));
  EXPECT_EQ(gauge_.seal_state(), SealState::kSealed);
  ASSERT_TRUE(gauge_.Write(WordWrite(0x00, 0x61D4)));
  clock_.Advance(common::Millis(100));
  ASSERT_TRUE(gauge_.Write(WordWrite(0x00, 0x3B9E)));
  EXPECT_EQ(gauge_.seal_state(), SealState::kUnsealed);
}

TEST_F(GaugeTest, OperationStatusSecurityBitsServeEveryTestTheToolMakes) {
  struct Expectation {
    SealState seal;
    bool ss;             // bit 14: data flash page, UNSEAL
    bool fa_locked;      // high byte 0x40 or more: UNSEAL TO FA
    bool export_sealed;  // bit 8: firmware export
  };
  const Expectation expectations[] = {{SealState::kSealed, true, true, true},
                                      {SealState::kUnsealed, false, true, false},
                                      {SealState::kFullAccess, false, false, false}};
  for (const Expectation& expected : expectations) {
    gauge_.SetSealState(expected.seal);
    const auto status = OperationStatusByBlockAccess();
    ASSERT_TRUE(status);
    EXPECT_EQ((*status & 0x4000) != 0, expected.ss);
    EXPECT_EQ((*status >> 8) >= 0x40, expected.fa_locked);
    EXPECT_EQ((*status & 0x0100) != 0, expected.export_sealed);
  }
}

TEST_F(GaugeTest, SealThroughBlockAccessAndUnsealWithChangedKeysFromTheStateFile) {
  ASSERT_TRUE(gauge_.Write(BlockWrite(0x44, common::Bytes{0x30, 0x00})));
  EXPECT_EQ(gauge_.seal_state(), SealState::kSealed);
  GaugeState state = gauge_.State();
  state.unseal_key = 0x11112222;
  gauge_.Restore(state);
  ASSERT_TRUE(EnterKey(gauge_, kDefaultUnsealKey));
  EXPECT_EQ(gauge_.seal_state(), SealState::kSealed);
  ASSERT_TRUE(EnterKey(gauge_, 0x11112222));
  EXPECT_EQ(gauge_.seal_state(), SealState::kUnsealed);
}

struct PecCase {
  const char* name;
  common::Bytes bytes;
  bool accepted;
};

TEST_F(GaugeTest, ChecksEveryPecItReceives) {
  const common::Bytes good = WordWrite(0x01, 0x0123);
  common::Bytes bad = good;
  bad.back() ^= 0x01;
  common::Bytes extra = good;
  extra.push_back(0x00);
  const common::Bytes block = BlockWrite(0x41, common::Bytes(8, 0x10));
  common::Bytes bad_block = block;
  bad_block.back() ^= 0x80;
  const PecCase cases[] = {
      {"word with PEC", good, true},
      {"word without PEC", WordWrite(0x01, 0x0123, false), true},
      {"word with a wrong PEC", bad, false},
      {"word with a byte after the PEC", extra, false},
      {"half a word", common::Bytes{0x01, 0x23}, false},
      {"block with PEC", block, true},
      {"block with a wrong PEC", bad_block, false},
      {"block shorter than its count", common::Bytes{0x41, 8, 1, 2, 3}, false},
      {"empty transaction", common::Bytes{}, false},
  };
  for (const PecCase& test : cases) {
    EXPECT_EQ(gauge_.Write(test.bytes), test.accepted) << test.name;
  }
  // The refused word never reached the register; the accepted one did.
  ASSERT_TRUE(gauge_.Write(WordWrite(0x01, 0x0300)));
  ASSERT_FALSE(gauge_.Write(bad));
  EXPECT_EQ(ReadWord(gauge_, 0x01), 0x0300);
}

TEST_F(GaugeTest, ReadsEndWithThePecOverAddressesCommandAndData) {
  const auto voltage = gauge_.Read(0x09, 3);
  ASSERT_TRUE(voltage);
  EXPECT_EQ(*voltage, (common::Bytes{0x60, 0x3B, link::Pec({0x16, 0x09, 0x17, 0x60, 0x3B})}));
  // Past what the gauge drives the bus idles high.
  EXPECT_EQ(gauge_.Read(0x09, 5), (common::Bytes{0x60, 0x3B, (*voltage)[2], 0xFF, 0xFF}));
  const auto name = ReadBlock(gauge_, 0x21, 8);
  ASSERT_TRUE(name);
  EXPECT_EQ(std::string(name->begin(), name->end()), "KT580714");
  // A read to the count byte returns the count and that many bytes, no PEC.
  const auto text = gauge_.Read(0x20, link::SmbusTarget::kReadToCountByte);
  ASSERT_TRUE(text);
  EXPECT_EQ(std::string(text->begin(), text->end()), std::string("\x0AQuillmarsh"));
}

struct BlockCase {
  std::uint16_t subcommand;
  std::size_t length;
};

TEST_F(GaugeTest, BlockAccessRepliesCarryCountSubcommandZeroDataAndPec) {
  const BlockCase cases[] = {{0x51, 4},  {0x53, 4},  {0x54, 2},  {0x55, 3},  {0x57, 2},  {0x71, 14},
                             {0x72, 12}, {0x73, 32}, {0x74, 32}, {0x75, 32}, {0x78, 32}, {0x79, 32},
                             {0x01, 2},  {0x02, 2},  {0x03, 2},  {0x06, 2},  {0x10, 0}};
  for (const BlockCase& test : cases) {
    ASSERT_TRUE(gauge_.Write(BlockWrite(
        0x44, common::Bytes{common::LowByte(test.subcommand), common::HighByte(test.subcommand)})));
    const auto reply = ReadBlock(gauge_, 0x44, test.length + 2);
    ASSERT_TRUE(reply) << "subcommand " << test.subcommand;
    EXPECT_EQ((*reply)[0], test.subcommand);
    EXPECT_EQ((*reply)[1], 0x00);
  }
  // The cell block adds up to the pack voltage register.
  ASSERT_TRUE(gauge_.Write(BlockWrite(0x44, common::Bytes{0x71, 0x00})));
  const auto cells = ReadBlock(gauge_, 0x44, 16);
  int sum = 0;
  for (std::size_t cell = 0; cell < 4; ++cell) {
    sum += common::LittleEndianWord((*cells)[2 + 2 * cell], (*cells)[3 + 2 * cell]);
  }
  EXPECT_EQ(sum, ReadWord(gauge_, 0x09));
  // Gauge Debug Info is printable text.
  ASSERT_TRUE(gauge_.Write(BlockWrite(0x44, common::Bytes{0x79, 0x00})));
  const auto debug = ReadBlock(gauge_, 0x44, 34);
  ASSERT_TRUE(debug);
  EXPECT_TRUE(std::all_of(debug->begin() + 2, debug->end(),
                          [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; }));
  // No subcommand written yet on a fresh gauge: nothing to read.
  SimGauge fresh(clock_, common::ProductConstants{});
  EXPECT_FALSE(fresh.Read(0x44, 6));
}

TEST_F(GaugeTest, IdentityRegistersFollowTheDataFlash) {
  EXPECT_EQ(ReadWord(gauge_, 0x18), 4800);
  // CapM reports capacities in 10 mWh at the design voltage (14400 mV).
  ASSERT_TRUE(gauge_.Write(WordWrite(0x03, 0xE001)));
  EXPECT_EQ(ReadWord(gauge_, 0x18), 6912);
  // Device Name lives at offset 52 of subclass 0x30 (page 1, byte 20).
  ASSERT_TRUE(gauge_.Write(WordWrite(0x77, 0x0030)));
  common::Bytes page = *ReadBlock(gauge_, 0x79, 32);
  const std::string name = "PACK-B";
  page[20] = static_cast<std::uint8_t>(name.size());
  std::copy(name.begin(), name.end(), page.begin() + 21);
  ASSERT_TRUE(gauge_.Write(BlockWrite(0x79, page)));
  const auto block = ReadBlock(gauge_, 0x21, name.size());
  ASSERT_TRUE(block);
  EXPECT_EQ(std::string(block->begin(), block->end()), name);
}

TEST_F(GaugeTest, RefusesWritesToReadOnlyOrUnknownCommandsAndReadsOfUnknownOnes) {
  EXPECT_FALSE(gauge_.Write(WordWrite(0x09, 1)));
  EXPECT_FALSE(gauge_.Write(WordWrite(0x30, 1)));
  EXPECT_FALSE(gauge_.Write(BlockWrite(0xFF, common::Bytes{1, 2})));
  EXPECT_FALSE(gauge_.Read(0x30, 3));
  EXPECT_FALSE(gauge_.Read(0x09, 300));
}

TEST_F(GaugeTest, CalibrationCommandsAreRecordedAndApplied) {
  clock_.Advance(common::Millis(500));
  ASSERT_TRUE(gauge_.Write(WordWrite(0x00, 0x0040)));
  const common::Bytes cells = {0x3C, 0x0F, 0x3D, 0x0F, 0x3E, 0x0F, 0x3F, 0x0F};  // 3900..3903 mV
  const common::Bytes sensors = {0, 0, 0xA5, 0x0B, 0, 0, 0, 0};                  // TS2 = 2981
  ASSERT_TRUE(gauge_.Write(BlockWrite(0x41, cells)));
  ASSERT_TRUE(gauge_.Write(BlockWrite(0x42, sensors)));
  ASSERT_TRUE(gauge_.Write(WordWrite(0x43, 0xF830)));  // -2000 mA
  ASSERT_TRUE(gauge_.Write(WordWrite(0x40, 0x0052)));  // TS2, cells, current
  EXPECT_FALSE(gauge_.Write(BlockWrite(0x41, common::Bytes(7, 0))));

  const std::vector<CalibrationRecord> expected = {{0x41, cells, 500},
                                                   {0x42, sensors, 500},
                                                   {0x43, {0x30, 0xF8}, 500},
                                                   {0x40, {0x52, 0x00}, 500}};
  EXPECT_EQ(gauge_.CalibrationRecords(), expected);
  EXPECT_EQ(ReadWord(gauge_, 0x09), 3900 + 3901 + 3902 + 3903);
  EXPECT_EQ(ReadWord(gauge_, 0x0A), 0xF830);
  EXPECT_EQ(gauge_.Measurements().sensor_dk[1], 2981);
}

TEST_F(GaugeTest, FetSubcommandsActOnlyWhenUnsealed) {
  const std::uint16_t before = gauge_.OperationStatusWord();
  ASSERT_TRUE(gauge_.Write(BlockWrite(0x44, common::Bytes{0x1F, 0x00})));  // CFET_TOGGLE
  EXPECT_EQ(gauge_.OperationStatusWord() ^ before, 0x0004);
  ASSERT_TRUE(WriteWords(gauge_, 0x00, {0x001F, 0x0030}));  // toggle back, then SEAL
  const std::uint16_t sealed = gauge_.OperationStatusWord();
  ASSERT_TRUE(gauge_.Write(BlockWrite(0x44, common::Bytes{0x20, 0x00})));  // DFET_TOGGLE
  EXPECT_EQ(gauge_.OperationStatusWord(), sealed);
  // ManufacturerAccess reads back the answer of a read-type subcommand written to it.
  ASSERT_TRUE(gauge_.Write(WordWrite(0x00, 0x0001)));
  EXPECT_EQ(ReadWord(gauge_, 0x00), 0x0714);
}

}  // namespace
}  // namespace cw::sim
