#pragma once

#include <cstdint>

#include "dataflash/subclass_layout.h"

// The gauge keeps every byte of the 11 algorithm subclasses in a transformed (stored) form, keyed
// by the subclass id; the image tools work on the plain bytes. Subclass 0x22 and the page set
// are kept as they are.
namespace cw::dataflash {

constexpr std::uint8_t RotateLeft3(std::uint8_t value) {
  return static_cast<std::uint8_t>(value << 3 | value >> 5);
}
constexpr std::uint8_t RotateRight3(std::uint8_t value) {
  return static_cast<std::uint8_t>(value >> 3 | value << 5);
}
constexpr std::uint8_t StoredToPlain(std::uint8_t stored, std::uint8_t id) {
  return RotateLeft3(static_cast<std::uint8_t>(stored ^ id));
}
constexpr std::uint8_t PlainToStored(std::uint8_t plain, std::uint8_t id) {
  return static_cast<std::uint8_t>(RotateRight3(plain) ^ id);
}

// Turns a whole algorithm area (each subclass's blocks, padding included) between the forms.
AlgorithmArea AlgorithmAreaToPlain(const AlgorithmArea& stored);
AlgorithmArea AlgorithmAreaToStored(const AlgorithmArea& plain);

}  // namespace cw::dataflash
