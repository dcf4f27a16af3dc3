// What the data flash page shows beyond the values: the filter and the bit views.
#include <gtest/gtest.h>

#include "dataflash/bit_view.h"
#include "dataflash/param_codec.h"
#include "dataflash/row_filter.h"

namespace cw::dataflash {
namespace {

TEST(RowFilterTest, NamesHoldingTheTextWithoutRegardToCase) {
  const struct {
    std::string_view name;
    std::string_view filter;
    bool matches;
  } cases[] = {
      {"CUV Recovery", "recov", true},  {"CUV Recovery", "  CUV ", true},
      {"CUV Recovery", "", true},       {"CUV Recovery", "Recoveryx", false},
      {"OCD1 Threshold", "d1 t", true}, {"OCD1 Threshold", "D2", false},
      {"TCA Clear %", "%", true},       {"Max Cell Temperature", "cell temp", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NameMatches(c.name, c.filter), c.matches) << c.name << " / " << c.filter;
  }
}

TEST(RowFilterTest, CountsPerTabAndTheTabToShow) {
  // "Operation Cfg" rows live on the Configuration tab only.
  const auto counts = MatchesPerTab("operation cfg");
  EXPECT_EQ(counts, (std::array<std::size_t, kTabCount>{0, 0, 0, 0, 3, 0, 0}));
  EXPECT_EQ(TabToShow("operation cfg", 0), 4u);
  EXPECT_EQ(TabToShow("operation cfg", 4), 4u);
  // A text in no name keeps the tab shown.
  EXPECT_EQ(MatchesPerTab("no such parameter"), (std::array<std::size_t, kTabCount>{}));
  EXPECT_EQ(TabToShow("no such parameter", 2), 2u);
  // Every row once when nothing is typed.
  std::size_t all = 0;
  for (std::size_t count : MatchesPerTab("")) all += count;
  EXPECT_EQ(all, kParamCount);
  const auto recovery = MatchesPerTab("Recovery");
  EXPECT_GT(recovery[0], 0u);
  EXPECT_EQ(TabToShow("Recovery", 6), 0u);
}

TEST(BitViewTest, EveryFlagRegisterNamesItsBitsAndNoneBeyond) {
  for (const FlagRegister& flag : kFlagRegisters) {
    ASSERT_TRUE(FindParam(flag.name)) << flag.name;
    ASSERT_EQ(FindBitView(flag.bit_view_id)->name, flag.name);
    for (int bit = 0; bit < 16; ++bit) {
      EXPECT_EQ(BitName(flag, bit).empty(), bit >= BitCount(flag)) << flag.name << " " << bit;
    }
  }
  EXPECT_FALSE(FindBitView(1178));
}

TEST(BitViewTest, CellsFollowTheColumnEdgesHighestBitLeftmost) {
  const FlagRegister op_a = *FindFlagRegister("Operation Cfg A");
  const auto cells = BitCells(op_a);
  ASSERT_EQ(cells.size(), 16u);
  EXPECT_EQ(cells.front().bit, 15);
  EXPECT_EQ(cells.front().left, 6);
  EXPECT_EQ(cells.front().right, 46);
  EXPECT_EQ(cells[3].left, 123);
  EXPECT_EQ(cells[3].right, 182);
  EXPECT_EQ(cells.back().bit, 0);
  EXPECT_EQ(cells.back().right, 680);

  const FlagRegister deadband = *FindFlagRegister("CC Deadband Reg");
  const auto narrow = BitCells(deadband);
  ASSERT_EQ(narrow.size(), 8u);
  EXPECT_EQ(narrow.front().bit, 7);
  EXPECT_EQ(narrow.back().right, 321);
  EXPECT_EQ(BitCells(*FindFlagRegister("Protection Cfg A")).back().right, 649);

  const struct {
    const char* name;
    int x;
    std::optional<int> bit;
  } hits[] = {
      {"Operation Cfg A", 5, std::nullopt},
      {"Operation Cfg A", 6, 15},
      {"Operation Cfg A", 46, 14},
      {"Operation Cfg A", 679, 0},
      {"Operation Cfg A", 680, std::nullopt},
      {"Operation Cfg B", 0, 15},
      {"CC Deadband Reg", 320, 0},
      {"CC Deadband Reg", 330, std::nullopt},
  };
  for (const auto& hit : hits) {
    EXPECT_EQ(BitAt(*FindFlagRegister(hit.name), hit.x), hit.bit) << hit.name << " " << hit.x;
  }
}

TEST(BitViewTest, FittedCellsKeepThePictureAndGiveEachNameItsRoom) {
  const FlagRegister protection = *FindFlagRegister("Protection Cfg A");  // 40-pixel cells to 649
  const std::vector<int> none(16, 0);
  std::vector<int> wide_first = none;
  wide_first[0] = 200;
  const std::vector<int> all_wide(16, 50);
  const struct {
    const char* what;
    int width;
    const std::vector<int>& least;
    int first_right;  // of the leftmost cell
    int last_width;
    int right;  // of the whole view
  } cases[] = {
      {"twice the picture", 2 * kWidestBitView, none, 81, 1298 - 15 * 81, 1298},
      {"a long first name", kWidestBitView, wide_first, 200, 449 - 14 * 29, 649},
      {"names wider than the share", kWidestBitView, all_wide, 50, 50, 800},
  };
  for (const auto& c : cases) {
    const auto cells = FitBitCells(protection, c.width, c.least);
    ASSERT_EQ(cells.size(), 16u) << c.what;
    EXPECT_EQ(cells.front().left, 0) << c.what;
    EXPECT_EQ(cells.front().right, c.first_right) << c.what;
    EXPECT_EQ(cells.back().right - cells.back().left, c.last_width) << c.what;
    EXPECT_EQ(cells.back().right, c.right) << c.what;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      EXPECT_GE(cells[i].right - cells[i].left, c.least[i]) << c.what << " " << i;
      if (i > 0) {
        EXPECT_EQ(cells[i].left, cells[i - 1].right) << c.what << " " << i;
      }
    }
  }
  const auto fitted = FitBitCells(protection, kWidestBitView, wide_first);
  EXPECT_EQ(BitAt(fitted, 199), 15);
  EXPECT_EQ(BitAt(fitted, 200), 14);
  EXPECT_EQ(BitAt(fitted, 649), std::nullopt);
}

TEST(BitViewTest, ToggledValuesAreTextsTheRowWritesBack) {
  const struct {
    const char* name;
    std::uint32_t value;
    const char* text;
  } cases[] = {
      {"Operation Cfg A", 0x0311, "0311"},
      {"PF Flags 2 Low", 0xFFFF, "FFFF"},
      {"Wake Current Reg", 0x0A, "0A"},
      {"CC Deadband Reg", 0x02, "02"},
  };
  for (const auto& c : cases) {
    const ParamDef& row = kParams[*FindParam(c.name)];
    const std::string text = FlagValueText(row, c.value);
    EXPECT_EQ(text, c.text);
    const auto encoded = EncodeParam(row, text, ValueSource::kTyped);
    ASSERT_TRUE(encoded) << c.name;
    EXPECT_EQ(static_cast<std::uint32_t>(encoded->value.raw_value), c.value);
  }
}

}  // namespace
}  // namespace cw::dataflash
