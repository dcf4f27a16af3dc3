#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cw::common {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// "0A 1B FF": each byte as two upper-case hex digits, joined by `separator`.
std::string ToHex(ByteView bytes, std::string_view separator = " ");

// Parses one hex byte written as one or two digits, with or without a "0x" prefix.
std::optional<std::uint8_t> ParseHexByte(std::string_view text);

// Parses a whole hex number (with or without "0x") that must fit in `max_value`.
std::optional<std::uint32_t> ParseHexNumber(std::string_view text,
                                            std::uint32_t max_value = 0xFFFFFFFFu);

// Reads hex digits from the start of `text` (after an optional "0x") until the first other
// character, as C's strtoul does; no digits read as 0. The value keeps its low 32 bits.
std::uint32_t ParseLeadingHex(std::string_view text);

// Parses a list of hex bytes separated by blanks or commas ("16 47 0x00").
std::optional<Bytes> ParseHexByteList(std::string_view text);

// Parses exactly `byte_count` bytes written as 2 * byte_count hex digits with nothing else
// ("5A3C96E1..."): the hex-field rule for keys and challenges. First two digits = byte 0.
std::optional<Bytes> ParseExactHexField(std::string_view text, std::size_t byte_count);

inline std::uint16_t LittleEndianWord(std::uint8_t low, std::uint8_t high) {
  return static_cast<std::uint16_t>(low | (high << 8));
}
inline std::uint8_t LowByte(std::uint16_t word) { return static_cast<std::uint8_t>(word & 0xFF); }
inline std::uint8_t HighByte(std::uint16_t word) { return static_cast<std::uint8_t>(word >> 8); }

}  // namespace cw::common
