#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The gauge's flash read-out path: the pages it reads, and the hiding of every byte it returns,
// undone.
namespace cw::firmware {

inline constexpr int kDataPages = 64;
inline constexpr int kCodePages = 2016;
inline constexpr std::uint16_t kFirstDataSelector = 0x40;
inline constexpr std::uint16_t kFirstCodeSelector = 0xF800;

std::uint8_t UnhideDataFlashByte(std::uint8_t value, std::uint8_t read_back_mask);
// `address` is the byte's code-flash address.
std::uint8_t UnhideCodeFlashByte(std::uint8_t value, std::size_t address,
                                 std::uint8_t read_back_mask);

void UnhideDataFlash(std::span<std::uint8_t> bytes, std::uint8_t read_back_mask);
// `bytes` starts at code address 0.
void UnhideCodeFlash(std::span<std::uint8_t> bytes, std::uint8_t read_back_mask);

}  // namespace cw::firmware
