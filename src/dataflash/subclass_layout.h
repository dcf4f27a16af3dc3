#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "dataflash/param_def.h"

// Where each data-flash subclass sits in the host's 2048-byte image of the data flash, and where
// it sits in the gauge's own data-flash memory map (used by the image tools).
namespace cw::dataflash {

inline constexpr std::size_t kBlockSize = 32;
inline constexpr std::size_t kFlashImageSize = 2048;
using FlashImage = std::array<std::uint8_t, kFlashImageSize>;

// The subclasses the page shows come first; the gauging algorithm's subclasses follow and are
// copied as one unit.
inline constexpr std::size_t kSubclassCount = 40;
inline constexpr std::size_t kPageSetCount = 29;
inline constexpr std::size_t kAlgorithmCount = kSubclassCount - kPageSetCount;
inline constexpr std::size_t kAlgorithmAreaStart = 1216;  // block 38
inline constexpr std::size_t kAlgorithmAreaSize = kFlashImageSize - kAlgorithmAreaStart;
inline constexpr std::size_t kAlgorithmFirstBlock = kAlgorithmAreaStart / kBlockSize;
using AlgorithmArea = std::array<std::uint8_t, kAlgorithmAreaSize>;

struct SubclassEntry {
  std::uint8_t block = 0;
  std::uint8_t length = 0;
  constexpr std::size_t image_offset() const { return std::size_t{block} * kBlockSize; }
  constexpr std::size_t pages() const { return (length + kBlockSize - 1) / kBlockSize; }
  bool operator==(const SubclassEntry&) const = default;
};

struct SubclassRow {
  std::uint8_t id;
  std::uint8_t length;
  std::uint8_t block;
  std::uint16_t flash_address;
};

// clang-format off
inline constexpr std::array<SubclassRow, kSubclassCount> kSubclassRows = {{
    {0x00, 26, 0, 0},      {0x01, 25, 1, 26},     {0x02, 25, 2, 51},     {0x03, 6, 3, 76},
    {0x10, 15, 4, 82},     {0x11, 6, 5, 97},      {0x12, 7, 6, 103},     {0x13, 6, 7, 110},
    {0x14, 1, 8, 116},     {0x17, 3, 9, 117},     {0x18, 3, 10, 120},    {0x24, 6, 11, 123},
    {0x25, 2, 12, 129},    {0x30, 73, 13, 131},   {0x31, 8, 16, 204},    {0x33, 6, 17, 781},
    {0x34, 86, 18, 787},   {0x3A, 33, 21, 901},   {0x40, 21, 23, 212},   {0x44, 13, 24, 768},
    {0x4F, 10, 25, 650},   {0x51, 8, 26, 660},    {0x52, 9, 27, 380},    {0x54, 24, 28, 389},
    {0x60, 28, 29, 873},   {0x68, 20, 30, 934},   {0x6B, 2, 31, 954},    {0x6C, 9, 32, 413},
    {0x22, 152, 33, 0xFA00},
    {0x50, 250, 38, 0xF8DE}, {0x53, 222, 46, 0xF800}, {0x57, 14, 53, 636},
    {0x58, 31, 54, 256},   {0x59, 31, 55, 287},   {0x5A, 31, 56, 318},   {0x5B, 31, 57, 349},
    {0x5C, 1, 58, 512},    {0x5D, 1, 59, 543},    {0x5E, 1, 60, 574},    {0x5F, 1, 61, 605},
}};
// clang-format on

namespace detail {
constexpr std::array<std::uint8_t, kSubclassCount> Ids() {
  std::array<std::uint8_t, kSubclassCount> ids{};
  for (std::size_t i = 0; i < kSubclassCount; ++i) ids[i] = kSubclassRows[i].id;
  return ids;
}
constexpr std::array<std::uint16_t, kSubclassCount> Entries() {
  std::array<std::uint16_t, kSubclassCount> entries{};
  for (std::size_t i = 0; i < kSubclassCount; ++i) {
    entries[i] = static_cast<std::uint16_t>(kSubclassRows[i].length << 8 | kSubclassRows[i].block);
  }
  return entries;
}
constexpr std::array<std::uint16_t, 120> FlashAddresses() {
  std::array<std::uint16_t, 120> addresses{};
  addresses.fill(0xFFFF);
  for (const SubclassRow& row : kSubclassRows) addresses[row.id] = row.flash_address;
  return addresses;
}
}  // namespace detail

// The layout as the transfers take it: an id list and a parallel list of (length << 8) | block.
inline constexpr std::array<std::uint8_t, kSubclassCount> kSubclassIds = detail::Ids();
inline constexpr std::array<std::uint16_t, kSubclassCount> kSubclassLayout = detail::Entries();
// Flash address of each subclass id; 0xFFFF for ids the gauge does not have.
inline constexpr std::array<std::uint16_t, 120> kFlashAddresses = detail::FlashAddresses();

constexpr SubclassEntry EntryAt(std::size_t row) {
  return {static_cast<std::uint8_t>(kSubclassLayout[row] & 0xFF),
          static_cast<std::uint8_t>(kSubclassLayout[row] >> 8)};
}

// The page-set entry of `id`, or nothing when the page does not show that subclass.
constexpr std::optional<SubclassEntry> FindPageSubclass(std::uint8_t id) {
  for (std::size_t i = 0; i < kPageSetCount; ++i) {
    if (kSubclassIds[i] == id) return EntryAt(i);
  }
  return std::nullopt;
}

constexpr std::optional<SubclassEntry> FindSubclass(std::uint8_t id) {
  for (std::size_t i = 0; i < kSubclassCount; ++i) {
    if (kSubclassIds[i] == id) return EntryAt(i);
  }
  return std::nullopt;
}

// Where a row's raw bytes lie in a FlashImage. Every row's subclass is in the layout.
constexpr std::size_t ParamImageOffset(const ParamDef& row) {
  return FindSubclass(row.subclass)->image_offset() + row.offset;
}

constexpr std::uint32_t ParamFlashAddress(const ParamDef& row) {
  return std::uint32_t{kFlashAddresses[row.subclass]} + row.offset;
}

// Bytes of a row's field in the gauge.
constexpr std::size_t FieldSize(const ParamDef& row) {
  switch (row.type) {
    case kTypeWord:
    case kTypeTwoChars:
      return 2;
    case kTypeString:
      return std::size_t{row.conversion} + 1;
    case kTypeFloat:
    case kTypeDword:
      return 4;
    default:
      return 1;
  }
}

// Layout rows of the three subclasses that the gauge takes only together: 0x22, 0x50 and 0x53.
inline constexpr std::size_t kChargeTableFirstRow = 28;
inline constexpr std::size_t kChargeTableRowCount = 3;
inline constexpr std::uint8_t kChargeTableSubclass = 0x22;

}  // namespace cw::dataflash
