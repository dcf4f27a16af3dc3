#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dataflash/page_layout.h"
#include "dataflash/param_def.h"

// The bit views of the 15 flag registers: the name over each cell, where the cells lie, and the
// text a register takes when its bits are toggled.
namespace cw::dataflash {

// The pictures' cells lie between the column edges of each register (x in picture pixels); a
// front end draws them scaled to its own width and font (FitBitCells).

// The cells' usual width; the leftmost cell is this wide unless the picture starts sooner.
inline constexpr int kBitCellWidth = 40;
// The widest picture (Operation Cfg B) ends here.
inline constexpr int kWidestBitView = 713;

// One cell: bit `bit` from x = left up to, not including, x = right.
struct BitCell {
  int bit;
  int left;
  int right;
};

// 16 for a word register, 8 for the byte registers.
int BitCount(const FlagRegister& flag);
// The cells from the leftmost (the highest bit) on.
std::vector<BitCell> BitCells(const FlagRegister& flag);
// The bit whose cell holds x, if any.
std::optional<int> BitAt(const FlagRegister& flag, int x);
std::optional<int> BitAt(std::span<const BitCell> cells, int x);
// The cells drawn `width` pixels wide for the widest picture, from x = 0: each register keeps
// its picture's share of that width and its cells' proportions, except that no cell is narrower
// than `least[i]` (leftmost first: what its name needs), the others giving up the room. A
// register whose names need more than its share takes what they need.
std::vector<BitCell> FitBitCells(const FlagRegister& flag, int width, std::span<const int> least);
// The name painted over a bit's cell ("RSVD" for a reserved bit).
std::string_view BitName(const FlagRegister& flag, int bit);
// The register whose bit view has this id.
std::optional<FlagRegister> FindBitView(std::uint16_t bit_view_id);

// The text the row shows for `value` ("0311" for a "%04X" row), through the row's codec, so
// that an edit of that text writes exactly these bits.
std::string FlagValueText(const ParamDef& row, std::uint32_t value);

}  // namespace cw::dataflash
