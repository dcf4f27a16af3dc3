#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

// Whole-text parsing of what a user types where a number is meant: the text is the number and
// nothing else, or it is refused. A number is never made from the digits a text starts with, so
// "12X4" or "1e400" can never stand for another value than the one typed.
namespace cw::common {

enum class NumberError {
  kNotANumber,  // characters that do not belong to the number, or none at all
  kOutOfRange,  // a number, but beyond what the type holds
};

// Space and tab removed from both ends.
std::string_view TrimBlanks(std::string_view text);
// Every space removed, as the SubCMD and key entry fields read their text.
std::string WithoutSpaces(std::string_view text);

// 1 to `max_digits` hex digits and nothing else (no sign, no "0x"): an SMB command or word.
std::optional<std::uint32_t> ParseHexDigits(std::string_view text, std::size_t max_digits);
// A hex word argument: 1 to 4 digits.
std::optional<std::uint16_t> ParseHexWord(std::string_view text);
// A subcommand code as the SubCMD entry takes it, but whole: spaces removed, an optional "0x",
// then 1 to 4 hex digits.
std::optional<std::uint16_t> ParseSubcommandCode(std::string_view text);
// A 32-bit unseal key as the key dialog takes it, but whole: spaces removed, an optional "0x",
// then 1 to 8 hex digits.
std::optional<std::uint32_t> ParseKeyText(std::string_view text);

// A whole integer: base 10 with an optional sign, or base 16 with an optional "0x" and no sign.
std::expected<std::int64_t, NumberError> ParseWholeInteger(std::string_view text, int base = 10);
// A whole decimal number: optional sign, digits with an optional fraction, an optional exponent.
// "inf", "nan" and hexadecimal floats are no decimal numbers. One too large for a double is out
// of range; one too small for it reads as zero. The result is always finite. Independent of the
// C locale: the decimal point is ".".
std::expected<double, NumberError> ParseWholeDecimal(std::string_view text);

// How many characters `text` holds, if it is well-formed UTF-8 with no control character (C0,
// DEL, C1): a name that prints on one line of any table. Nothing otherwise.
std::optional<std::size_t> PrintableLength(std::string_view text);

}  // namespace cw::common
