#include "presentation/smb_result_tip.h"

#include <fmt/format.h>

#include "app/smb_access.h"
#include "common/bytes.h"

namespace cw::presentation {

std::string WordResultTip(std::string_view hex_word) {
  const auto word = common::ParseHexNumber(hex_word, 0xFFFF);
  if (hex_word.empty() || !word) return {};
  return fmt::format("Decimal: {} (signed: {})", *word,
                     static_cast<std::int16_t>(static_cast<std::uint16_t>(*word)));
}

std::string BlockResultTip(std::string_view hex_bytes) {
  const auto bytes = app::ParseSmbBlockData(hex_bytes);
  if (!bytes || bytes->empty()) return {};
  std::string text;
  for (std::uint8_t byte : *bytes) {
    text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
  }
  return fmt::format("{} bytes as text: \"{}\"", bytes->size(), text);
}

}  // namespace cw::presentation
