#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The gauge's flash read-out path hides every byte it returns; these undo it.
namespace cw::firmware {

std::uint8_t UnhideDataFlashByte(std::uint8_t value, std::uint8_t read_back_mask);
// `address` is the byte's code-flash address.
std::uint8_t UnhideCodeFlashByte(std::uint8_t value, std::size_t address,
                                 std::uint8_t read_back_mask);

void UnhideDataFlash(std::span<std::uint8_t> bytes, std::uint8_t read_back_mask);
// `bytes` starts at code address 0.
void UnhideCodeFlash(std::span<std::uint8_t> bytes, std::uint8_t read_back_mask);

}  // namespace cw::firmware
