#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace cw::link {

// SMBus packet error code: CRC-8, polynomial 0x07, initial 0, no reflection, no final XOR.
inline constexpr std::array<std::uint8_t, 256> kPecTable = [] {
  std::array<std::uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    std::uint8_t crc = static_cast<std::uint8_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
    table[i] = crc;
  }
  return table;
}();

constexpr std::uint8_t PecUpdate(std::uint8_t crc, std::uint8_t byte) {
  return kPecTable[crc ^ byte];
}

constexpr std::uint8_t Pec(std::span<const std::uint8_t> bytes, std::uint8_t crc = 0) {
  for (std::uint8_t byte : bytes) crc = PecUpdate(crc, byte);
  return crc;
}

constexpr std::uint8_t Pec(std::initializer_list<std::uint8_t> bytes) {
  return Pec(std::span<const std::uint8_t>(bytes.begin(), bytes.size()));
}

}  // namespace cw::link
