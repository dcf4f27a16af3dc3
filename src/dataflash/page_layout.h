#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "dataflash/parameter_table.h"

// The fixed shape of the data flash page: column widths per list, which lists may open bit
// views, and the 15 flag registers with their bit views.
namespace cw::dataflash {

struct ListColumns {
  std::uint16_t name;
  std::uint16_t value;
  std::uint16_t unit;
  bool bit_views;  // whether a click on a Name may open a bit view
};

// clang-format off
inline constexpr std::array<ListColumns, kListCount> kListColumns = {{
    {155, 55, 40, false}, {164, 55, 40, false}, {155, 55, 40, false},
    {173, 50, 36, true},  {164, 55, 40, true},  {164, 55, 40, true},
    {155, 55, 40, false}, {164, 55, 40, false}, {155, 55, 40, false},
    {160, 50, 40, false}, {160, 50, 40, false}, {160, 50, 40, false},
    {155, 55, 40, true},  {127, 76, 56, true},  {118, 76, 56, true},
    {150, 55, 45, false}, {164, 55, 40, false}, {155, 55, 40, false},
    {121, 84, 45, false}, {130, 84, 45, false}, {155, 55, 40, true},
}};
// clang-format on

// Item data of a list row: normal, or marked (its Value cell painted red).
inline constexpr std::uint16_t kItemNormal = 2;
inline constexpr std::uint16_t kItemMarked = 0xFF02;

// Right edges of the 16 cells of a bit view, bit 15 first.
using ColumnEdges = std::array<std::uint16_t, 16>;

constexpr ColumnEdges EvenEdges(std::uint16_t first_edge, std::uint16_t width) {
  ColumnEdges edges{};
  for (std::size_t i = 0; i < edges.size(); ++i) {
    edges[i] = static_cast<std::uint16_t>(first_edge + i * width);
  }
  return edges;
}

struct FlagRegister {
  std::string_view name;
  std::uint16_t bit_view_id;
  bool wide;  // 16 bits; the 8-bit views draw only the low byte
  ColumnEdges edges;
};

// 16-bit views: cells of 40 pixels, the last ending at 649. 8-bit views: 8 cells of 40 pixels
// ending at 321 (their first eight edges are used).
inline constexpr ColumnEdges kWideEdges = EvenEdges(49, 40);
inline constexpr ColumnEdges kNarrowEdges = EvenEdges(41, 40);

// clang-format off
inline constexpr std::array<FlagRegister, 15> kFlagRegisters = {{
    {"Operation Cfg A", 1179, true,
     {46, 89, 123, 182, 232, 268, 300, 332, 381, 430, 472, 514, 548, 591, 624, 680}},
    {"Operation Cfg B", 1180, true,
     {40, 80, 120, 165, 229, 273, 309, 345, 405, 445, 495, 537, 560, 641, 677, 713}},
    {"Operation Cfg C", 1181, true, kWideEdges},
    {"Protection Cfg A", 1182, true, kWideEdges},
    {"Protection Cfg B", 1183, true, kWideEdges},
    {"PF Enable Cfg A", 1192, true, kWideEdges},
    {"PF Enable Cfg B", 1191, true, kWideEdges},
    {"FuseBlow Cfg A", 1188, true, kWideEdges},
    {"FuseBlow Cfg B", 1189, true, kWideEdges},
    {"PF Flags 1 High", 1184, true, kWideEdges},
    {"PF Flags 1 Low", 1186, true, kWideEdges},
    {"PF Flags 2 High", 1185, true, kWideEdges},
    {"PF Flags 2 Low", 1190, true, kWideEdges},
    {"Wake Current Reg", 1187, false, kNarrowEdges},
    {"CC Deadband Reg", 1193, false, kNarrowEdges},
}};
// clang-format on

constexpr std::optional<FlagRegister> FindFlagRegister(std::string_view name) {
  for (const FlagRegister& flag : kFlagRegisters) {
    if (flag.name == name) return flag;
  }
  return std::nullopt;
}

}  // namespace cw::dataflash
