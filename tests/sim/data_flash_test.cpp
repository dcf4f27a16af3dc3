#include <gtest/gtest.h>

#include "common/clock.h"
#include "sim/sim_gauge.h"
#include "sim/subclass_table.h"
#include "sim_test_support.h"

namespace cw::sim {
namespace {

using testing::BlockWrite;
using testing::ReadBlock;
using testing::ReadWord;
using testing::ToolReadBackCode;
using testing::ToolReadBackData;
using testing::WordWrite;

class DataFlashTest : public ::testing::Test {
 protected:
  bool Select(std::uint8_t id) { return gauge_.Write(WordWrite(0x77, id)); }

  // The tool's subclass read: full pages of 32, then the remainder.
  std::optional<common::Bytes> ReadSubclass(std::uint8_t id, std::size_t length) {
    if (!Select(id)) return std::nullopt;
    common::Bytes all;
    for (std::size_t page = 0; 32 * page < length; ++page) {
      const auto bytes = ReadBlock(gauge_, static_cast<std::uint8_t>(0x78 + page),
                                   std::min<std::size_t>(32, length - 32 * page));
      if (!bytes) return std::nullopt;
      all.insert(all.end(), bytes->begin(), bytes->end());
    }
    return all;
  }

  std::optional<common::Bytes> ReadFlashBlock(std::uint16_t selector) {
    if (!gauge_.Write(WordWrite(0x4A, selector))) return std::nullopt;
    return ReadBlock(gauge_, 0x4A, 32);
  }

  common::ManualClock clock_;
  common::ProductConstants constants_;
  SimGauge gauge_{clock_, constants_};
};

TEST_F(DataFlashTest, EverySubclassReadsInPagesOfItsLength) {
  for (const SubclassPlace& place : kSubclassPlaces) {
    const auto bytes = ReadSubclass(place.id, place.length);
    ASSERT_TRUE(bytes) << "subclass " << int{place.id};
    EXPECT_EQ(bytes->size(), place.length);
    EXPECT_EQ(ReadWord(gauge_, 0x77), place.id);
    // The page after the last one does not exist.
    EXPECT_FALSE(gauge_.Read(static_cast<std::uint8_t>(0x78 + (place.length + 31) / 32), 3));
  }
  // Calibration takes the cell count from bits 8-9 of Operation Cfg A: a 4-cell pack.
  const auto config = ReadSubclass(0x40, 21);
  EXPECT_EQ(((*config)[0] << 8 | (*config)[1]) & 0x0300, 0x0300);
}

struct PageWriteCase {
  std::uint8_t subclass;
  std::uint8_t page;
  std::size_t length;
  bool accepted;
};

TEST_F(DataFlashTest, PageWritesStayInsideTheSubclass) {
  const PageWriteCase cases[] = {
      {0x30, 0, 32, true}, {0x30, 2, 9, true},   {0x30, 2, 10, false}, {0x30, 3, 1, false},
      {0x30, 1, 4, true},  {0x14, 0, 1, true},   {0x14, 0, 2, false},  {0x14, 1, 1, false},
      {0x22, 4, 24, true}, {0x22, 4, 25, false}, {0x3A, 1, 1, true},   {0x30, 0, 0, false},
  };
  for (const PageWriteCase& test : cases) {
    ASSERT_TRUE(Select(test.subclass));
    common::Bytes data(test.length);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xA0 + i);
    const auto command = static_cast<std::uint8_t>(0x78 + test.page);
    EXPECT_EQ(gauge_.Write(BlockWrite(command, data)), test.accepted)
        << int{test.subclass} << " page " << int{test.page} << " length " << test.length;
    if (!test.accepted) continue;
    // Written from the page's first byte; the rest of the page keeps its contents.
    const SubclassPlace place = *FindSubclassPlace(test.subclass);
    const auto page =
        ReadBlock(gauge_, command, std::min<std::size_t>(32, place.length - 32 * test.page));
    ASSERT_TRUE(page);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), page->begin()));
  }
}

TEST_F(DataFlashTest, SealedGaugeRefusesPageWritesButStillReads) {
  ASSERT_TRUE(Select(0x31));
  const auto before = ReadBlock(gauge_, 0x78, 8);
  gauge_.SetSealState(SealState::kSealed);
  EXPECT_FALSE(gauge_.Write(BlockWrite(0x78, common::Bytes(8, 0x55))));
  EXPECT_EQ(ReadBlock(gauge_, 0x78, 8), before);
}

TEST_F(DataFlashTest, UnknownSubclassIsRefusedAndTheSelectionKept) {
  EXPECT_EQ(ReadWord(gauge_, 0x77), 0xFFFF);
  EXPECT_FALSE(gauge_.Read(0x78, 3));
  EXPECT_FALSE(gauge_.Write(BlockWrite(0x78, common::Bytes{1})));
  ASSERT_TRUE(Select(0x30));
  EXPECT_FALSE(Select(0x99));
  EXPECT_FALSE(gauge_.Write(WordWrite(0x77, 0x0130)));
  EXPECT_EQ(ReadWord(gauge_, 0x77), 0x30);
}

TEST_F(DataFlashTest, FlashReadOutUndoneByTheToolsTransformGivesTheFlashContents) {
  const GaugeState state = gauge_.State();
  for (std::uint16_t selector : {0x40, 0x44, 0x5F, 0x7F}) {
    const auto block = ReadFlashBlock(selector);
    ASSERT_TRUE(block) << selector;
    for (std::size_t i = 0; i < 32; ++i) {
      EXPECT_EQ(ToolReadBackData((*block)[i], constants_.read_back_mask),
                state.memory.data[(selector - 0x40) * 32 + i]);
    }
  }
  for (std::uint16_t page : {0, 1, 60, 1500, 2015}) {
    const auto block = ReadFlashBlock(static_cast<std::uint16_t>(0xF800 + page));
    ASSERT_TRUE(block) << page;
    for (std::size_t i = 0; i < 32; ++i) {
      const std::uint32_t address = page * 32u + static_cast<std::uint32_t>(i);
      EXPECT_EQ(ToolReadBackCode((*block)[i], address, constants_.read_back_mask),
                state.memory.code[address]);
    }
  }
  // Code page 60 starts at 0x0780, where the firmware carries the programming stub.
  const auto stub = ReadFlashBlock(0xF800 + 60);
  for (std::size_t i = 0; i < constants_.programming_stub.size(); ++i) {
    EXPECT_EQ(ToolReadBackCode((*stub)[i], 0x0780 + static_cast<std::uint32_t>(i),
                               constants_.read_back_mask),
              constants_.programming_stub[i]);
  }
}

TEST_F(DataFlashTest, CodeFlashSubclassesAreTheCodeFlashTheReadOutSees) {
  // Subclass 0x22 lives at code address 0xFA00: code page 0x7D0.
  ASSERT_TRUE(Select(0x22));
  const common::Bytes data = {0x0A, 0xBB, 0x0C, 0xDD};
  ASSERT_TRUE(gauge_.Write(BlockWrite(0x78, data)));
  const auto block = ReadFlashBlock(0xF800 + 0xFA00 / 32);
  ASSERT_TRUE(block);
  for (std::size_t i = 0; i < data.size(); ++i) {
    EXPECT_EQ(ToolReadBackCode((*block)[i], 0xFA00 + static_cast<std::uint32_t>(i),
                               constants_.read_back_mask),
              data[i]);
  }
}

TEST_F(DataFlashTest, FlashReadOutRefusesBadSelectorsAndASealedGauge) {
  for (std::uint16_t selector : {0x003F, 0x0080, 0xF7FF, 0xF800 + 2016, 0xFFFF}) {
    EXPECT_FALSE(gauge_.Write(WordWrite(0x4A, selector))) << selector;
  }
  EXPECT_FALSE(gauge_.Read(0x4A, 34));  // no page chosen yet
  ASSERT_TRUE(ReadFlashBlock(0x40));
  gauge_.SetSealState(SealState::kSealed);
  EXPECT_FALSE(gauge_.Write(WordWrite(0x4A, 0x41)));
  EXPECT_FALSE(gauge_.Read(0x4A, 34));
}

}  // namespace
}  // namespace cw::sim
