#pragma once

#include <array>
#include <cstdint>
#include <optional>

// Where the gauge keeps each data-flash subclass. The gauge answers subclass selects and page
// accesses from this table; three subclasses of the gauging algorithm live in code flash.
namespace cw::sim {

enum class FlashSpace : std::uint8_t { kCode = 0, kData = 1 };

struct SubclassPlace {
  std::uint8_t id;
  std::uint8_t length;  // bytes a host can read and write through pages 0x78 + k
  std::uint8_t block;   // 32-byte block in the host's 2048-byte image (kept for reference)
  FlashSpace space;
  std::uint16_t address;  // first byte in that flash
};

// Row order is the tool's layout order: rows 0-28 are the page set, 29-39 the algorithm area.
inline constexpr std::array<SubclassPlace, 40> kSubclassPlaces = {{
    {0x00, 26, 0, FlashSpace::kData, 0x000},    {0x01, 25, 1, FlashSpace::kData, 0x01A},
    {0x02, 25, 2, FlashSpace::kData, 0x033},    {0x03, 6, 3, FlashSpace::kData, 0x04C},
    {0x10, 15, 4, FlashSpace::kData, 0x052},    {0x11, 6, 5, FlashSpace::kData, 0x061},
    {0x12, 7, 6, FlashSpace::kData, 0x067},     {0x13, 6, 7, FlashSpace::kData, 0x06E},
    {0x14, 1, 8, FlashSpace::kData, 0x074},     {0x17, 3, 9, FlashSpace::kData, 0x075},
    {0x18, 3, 10, FlashSpace::kData, 0x078},    {0x24, 6, 11, FlashSpace::kData, 0x07B},
    {0x25, 2, 12, FlashSpace::kData, 0x081},    {0x30, 73, 13, FlashSpace::kData, 0x083},
    {0x31, 8, 16, FlashSpace::kData, 0x0CC},    {0x33, 6, 17, FlashSpace::kData, 0x30D},
    {0x34, 86, 18, FlashSpace::kData, 0x313},   {0x3A, 33, 21, FlashSpace::kData, 0x385},
    {0x40, 21, 23, FlashSpace::kData, 0x0D4},   {0x44, 13, 24, FlashSpace::kData, 0x300},
    {0x4F, 10, 25, FlashSpace::kData, 0x28A},   {0x51, 8, 26, FlashSpace::kData, 0x294},
    {0x52, 9, 27, FlashSpace::kData, 0x17C},    {0x54, 24, 28, FlashSpace::kData, 0x185},
    {0x60, 28, 29, FlashSpace::kData, 0x369},   {0x68, 20, 30, FlashSpace::kData, 0x3A6},
    {0x6B, 2, 31, FlashSpace::kData, 0x3BA},    {0x6C, 9, 32, FlashSpace::kData, 0x19D},
    {0x22, 152, 33, FlashSpace::kCode, 0xFA00}, {0x50, 250, 38, FlashSpace::kCode, 0xF8DE},
    {0x53, 222, 46, FlashSpace::kCode, 0xF800}, {0x57, 14, 53, FlashSpace::kData, 0x27C},
    {0x58, 31, 54, FlashSpace::kData, 0x100},   {0x59, 31, 55, FlashSpace::kData, 0x11F},
    {0x5A, 31, 56, FlashSpace::kData, 0x13E},   {0x5B, 31, 57, FlashSpace::kData, 0x15D},
    {0x5C, 1, 58, FlashSpace::kData, 0x200},    {0x5D, 1, 59, FlashSpace::kData, 0x21F},
    {0x5E, 1, 60, FlashSpace::kData, 0x23E},    {0x5F, 1, 61, FlashSpace::kData, 0x25D},
}};

constexpr std::optional<SubclassPlace> FindSubclassPlace(std::uint8_t id) {
  for (const SubclassPlace& place : kSubclassPlaces) {
    if (place.id == id) return place;
  }
  return std::nullopt;
}

}  // namespace cw::sim
