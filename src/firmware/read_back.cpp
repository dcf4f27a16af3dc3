#include "firmware/read_back.h"

#include "link/pec.h"

namespace cw::firmware {
namespace {

constexpr std::uint8_t RotateLeft3(std::uint8_t value) {
  return static_cast<std::uint8_t>((value << 3) | (value >> 5));
}

}  // namespace

std::uint8_t UnhideDataFlashByte(std::uint8_t value, std::uint8_t read_back_mask) {
  return RotateLeft3(static_cast<std::uint8_t>(value ^ read_back_mask));
}

std::uint8_t UnhideCodeFlashByte(std::uint8_t value, std::size_t address,
                                 std::uint8_t read_back_mask) {
  return RotateLeft3(
      static_cast<std::uint8_t>(value ^ read_back_mask ^ link::kPecTable[address & 0xFF]));
}

void UnhideDataFlash(std::span<std::uint8_t> bytes, std::uint8_t read_back_mask) {
  for (std::uint8_t& byte : bytes) byte = UnhideDataFlashByte(byte, read_back_mask);
}

void UnhideCodeFlash(std::span<std::uint8_t> bytes, std::uint8_t read_back_mask) {
  for (std::size_t a = 0; a < bytes.size(); ++a) {
    bytes[a] = UnhideCodeFlashByte(bytes[a], a, read_back_mask);
  }
}

}  // namespace cw::firmware
