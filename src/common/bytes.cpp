#include "common/bytes.h"

#include <cctype>

namespace cw::common {
namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view StripHexPrefix(std::string_view text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  return text;
}

}  // namespace

std::string ToHex(ByteView bytes, std::string_view separator) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * (2 + separator.size()));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) text += separator;
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

std::optional<std::uint32_t> ParseHexNumber(std::string_view text, std::uint32_t max_value) {
  text = StripHexPrefix(text);
  if (text.empty() || text.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  if (value > max_value) return std::nullopt;
  return value;
}

std::uint32_t ParseLeadingHex(std::string_view text) {
  text = StripHexPrefix(text);
  std::uint32_t value = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) break;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::optional<std::uint8_t> ParseHexByte(std::string_view text) {
  const auto stripped = StripHexPrefix(text);
  if (stripped.size() > 2) return std::nullopt;
  const auto value = ParseHexNumber(text, 0xFF);
  if (!value) return std::nullopt;
  return static_cast<std::uint8_t>(*value);
}

std::optional<Bytes> ParseHexByteList(std::string_view text) {
  Bytes bytes;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() &&
           (std::isspace(static_cast<unsigned char>(text[pos])) || text[pos] == ',')) {
      ++pos;
    }
    std::size_t end = pos;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
           text[end] != ',') {
      ++end;
    }
    if (end > pos) {
      const auto byte = ParseHexByte(text.substr(pos, end - pos));
      if (!byte) return std::nullopt;
      bytes.push_back(*byte);
    }
    pos = end;
  }
  return bytes;
}

std::optional<Bytes> ParseExactHexField(std::string_view text, std::size_t byte_count) {
  if (text.size() != byte_count * 2) return std::nullopt;
  Bytes bytes(byte_count);
  for (std::size_t i = 0; i < byte_count; ++i) {
    const int high = HexDigitValue(text[2 * i]);
    const int low = HexDigitValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>((high << 4) | low);
  }
  return bytes;
}

}  // namespace cw::common
