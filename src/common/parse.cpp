#include "common/parse.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace cw::common {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::string_view WithoutHexPrefix(std::string_view text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  return text;
}

std::size_t CountDigits(std::string_view text, std::size_t from) {
  std::size_t count = 0;
  while (from + count < text.size() && IsDigit(text[from + count])) ++count;
  return count;
}

// The pieces of a decimal number whose syntax has been checked.
struct DecimalParts {
  bool negative = false;
  std::string_view integer;
  std::string_view fraction;
  std::string_view exponent;  // with its sign, empty when there is none
};

std::optional<DecimalParts> SplitDecimal(std::string_view text) {
  DecimalParts parts;
  std::size_t pos = 0;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    parts.negative = text[pos] == '-';
    ++pos;
  }
  const std::size_t integer_digits = CountDigits(text, pos);
  parts.integer = text.substr(pos, integer_digits);
  pos += integer_digits;
  if (pos < text.size() && text[pos] == '.') {
    const std::size_t fraction_digits = CountDigits(text, pos + 1);
    parts.fraction = text.substr(pos + 1, fraction_digits);
    pos += 1 + fraction_digits;
  }
  if (parts.integer.empty() && parts.fraction.empty()) return std::nullopt;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    const std::size_t start = pos + 1;
    std::size_t digits_at = start;
    if (digits_at < text.size() && (text[digits_at] == '+' || text[digits_at] == '-')) ++digits_at;
    const std::size_t exponent_digits = CountDigits(text, digits_at);
    if (exponent_digits == 0) return std::nullopt;
    parts.exponent = text.substr(start, digits_at + exponent_digits - start);
    pos = digits_at + exponent_digits;
  }
  if (pos != text.size()) return std::nullopt;
  return parts;
}

// Whether a number whose conversion left the double's range is too large (rather than too
// small): the position of its first significant digit, moved by the exponent, decides.
bool BeyondLargest(const DecimalParts& parts) {
  constexpr long kCap = 1'000'000'000;
  long exponent = 0;
  for (char c : parts.exponent) {
    if (IsDigit(c)) exponent = std::min(kCap, exponent * 10 + (c - '0'));
  }
  if (!parts.exponent.empty() && parts.exponent.front() == '-') exponent = -exponent;
  const auto first_integer = parts.integer.find_first_not_of('0');
  long order = 0;
  if (first_integer != std::string_view::npos) {
    order = static_cast<long>(std::min<std::size_t>(parts.integer.size() - first_integer, kCap));
  } else {
    const auto first_fraction = parts.fraction.find_first_not_of('0');
    if (first_fraction == std::string_view::npos) return false;  // zero is never out of range
    order = -static_cast<long>(std::min<std::size_t>(first_fraction, kCap));
  }
  return order + exponent > 0;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string WithoutSpaces(std::string_view text) {
  std::string out(text);
  std::erase(out, ' ');
  return out;
}

std::optional<std::uint32_t> ParseHexDigits(std::string_view text, std::size_t max_digits) {
  if (text.empty() || text.size() > max_digits || max_digits > 8) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(), IsHexDigit)) return std::nullopt;
  std::uint32_t value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value, 16);
  return value;
}

std::optional<std::uint16_t> ParseHexWord(std::string_view text) {
  const auto value = ParseHexDigits(text, 4);
  if (!value) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

std::optional<std::uint16_t> ParseSubcommandCode(std::string_view text) {
  const std::string typed = WithoutSpaces(text);
  const auto value = ParseHexDigits(WithoutHexPrefix(typed), 4);
  if (!value) return std::nullopt;
  return static_cast<std::uint16_t>(*value);
}

std::optional<std::uint32_t> ParseKeyText(std::string_view text) {
  const std::string typed = WithoutSpaces(text);
  return ParseHexDigits(WithoutHexPrefix(typed), 8);
}

std::expected<std::int64_t, NumberError> ParseWholeInteger(std::string_view text, int base) {
  std::string_view digits = text;
  bool negative = false;
  if (base == 16) {
    digits = WithoutHexPrefix(text);
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsHexDigit)) {
      return std::unexpected(NumberError::kNotANumber);
    }
  } else {
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
      negative = digits.front() == '-';
      digits.remove_prefix(1);
    }
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsDigit)) {
      return std::unexpected(NumberError::kNotANumber);
    }
  }
  std::uint64_t magnitude = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
  constexpr std::uint64_t kLargest = std::uint64_t{INT64_MAX};
  if (error != std::errc() || magnitude > kLargest + (negative ? 1 : 0)) {
    return std::unexpected(NumberError::kOutOfRange);
  }
  if (negative) return static_cast<std::int64_t>(0 - magnitude);
  return static_cast<std::int64_t>(magnitude);
}

std::expected<double, NumberError> ParseWholeDecimal(std::string_view text) {
  const auto parts = SplitDecimal(text);
  if (!parts) return std::unexpected(NumberError::kNotANumber);
  // from_chars takes no leading "+".
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    if (BeyondLargest(*parts)) return std::unexpected(NumberError::kOutOfRange);
    return parts->negative ? -0.0 : 0.0;
  }
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::unexpected(NumberError::kNotANumber);
  }
  return value;
}

std::optional<std::size_t> PrintableLength(std::string_view text) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++characters) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t code = 0;
    if (lead < 0x80) {
      length = 1;
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07;
    } else {
      return std::nullopt;
    }
    if (i + length > text.size()) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      code = (code << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points past Unicode are no UTF-8.
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
      return std::nullopt;
    }
    if (code < 0x20 || (code >= 0x7F && code <= 0x9F)) return std::nullopt;
    i += length;
  }
  return characters;
}

}  // namespace cw::common
