#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "common/bytes.h"
#include "common/product_constants.h"
#include "link/pec.h"
#include "sim/subclass_table.h"

namespace cw::sim {

// The gauge's two flash memories. Data flash is 2 KiB: the live constants in its first half and
// the copy the boot loader keeps in the second. Code flash is 64 KiB; the boot loader lives at
// 0xFC00 and above, where neither the read-out path nor a firmware record may reach.
struct GaugeMemory {
  static constexpr std::size_t kCodeSize = 0x10000;
  static constexpr std::size_t kDataSize = 0x800;
  static constexpr std::uint32_t kBootLoaderStart = 0xFC00;

  common::Bytes code = common::Bytes(kCodeSize, 0xFF);
  common::Bytes data = common::Bytes(kDataSize, 0x00);

  std::span<std::uint8_t> Space(FlashSpace space);
  std::span<const std::uint8_t> Space(FlashSpace space) const;
  // Whether [address, address + count) lies inside the space and, for code flash, below the boot
  // loader.
  bool Writable(FlashSpace space, std::uint32_t address, std::size_t count) const;

  // Bytes [offset, offset + count) of a subclass; nullopt when they do not all lie inside it.
  std::optional<common::Bytes> ReadSubclass(const SubclassPlace& place, std::size_t offset,
                                            std::size_t count) const;
  bool WriteSubclass(const SubclassPlace& place, std::size_t offset, common::ByteView bytes);

  bool operator==(const GaugeMemory&) const = default;
};

// Selectors of the flash read-out (0x4A): data-flash pages 0x40-0x7F, and 0xF800 + n for the
// code page at 32 * n, up to the boot loader.
inline constexpr std::uint16_t kFirstDataPageSelector = 0x40;
inline constexpr std::uint16_t kLastDataPageSelector = 0x7F;
inline constexpr std::uint16_t kFirstCodePageSelector = 0xF800;
inline constexpr std::uint16_t kCodePageSelectors = GaugeMemory::kBootLoaderStart / 32;

constexpr bool IsDataPageSelector(std::uint16_t selector) {
  return selector >= kFirstDataPageSelector && selector <= kLastDataPageSelector;
}
constexpr bool IsCodePageSelector(std::uint16_t selector) {
  return selector >= kFirstCodePageSelector &&
         selector - kFirstCodePageSelector < kCodePageSelectors;
}

// The 11 subclasses of the gauging algorithm after 0x22 travel through the pages transformed
// by their id (stored form); the flash itself holds them plain, as firmware records and the
// read-out path carry them. A host undoes the transform itself
// (plain = rotate-left-3(stored ^ id)).
constexpr bool IsStoredFormSubclass(std::uint8_t id) {
  return id == 0x50 || id == 0x53 || (id >= 0x57 && id <= 0x5F);
}
constexpr std::uint8_t PlainToStoredByte(std::uint8_t plain, std::uint8_t id) {
  return static_cast<std::uint8_t>(static_cast<std::uint8_t>(plain >> 3 | plain << 5) ^ id);
}
constexpr std::uint8_t StoredToPlainByte(std::uint8_t stored, std::uint8_t id) {
  const auto mixed = static_cast<std::uint8_t>(stored ^ id);
  return static_cast<std::uint8_t>(mixed << 3 | mixed >> 5);
}

// A freshly programmed pack: a 4-cell Li-ion configuration and a firmware image.
GaugeMemory DefaultGaugeMemory(const common::ProductConstants& constants);

// The gauge's read-out path scrambles what it returns so that a bare bus trace does not reveal
// the firmware; the tool undoes it with rotate-left-3 after the XORs. These are the gauge's side.
constexpr std::uint8_t RotateRight(std::uint8_t value, int bits) {
  return static_cast<std::uint8_t>((value >> bits) | (value << (8 - bits)));
}
constexpr std::uint8_t HideDataFlashByte(std::uint8_t value, std::uint8_t read_back_mask) {
  return static_cast<std::uint8_t>(RotateRight(value, 3) ^ read_back_mask);
}
constexpr std::uint8_t HideCodeFlashByte(std::uint8_t value, std::uint32_t address,
                                         std::uint8_t read_back_mask) {
  return static_cast<std::uint8_t>(RotateRight(value, 3) ^ read_back_mask ^
                                   link::kPecTable[address & 0xFF]);
}

}  // namespace cw::sim
