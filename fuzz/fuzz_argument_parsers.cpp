// The parsers of typed arguments (hex words, bytes, keys, subcommand codes, numbers) over
// arbitrary text: a text they accept is exactly the number it spells, as an independent reading
// (strtoll, strtod in the C locale, the entry fields' lenient hex) finds it; nothing else is
// accepted, and nothing crashes.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/bytes.h"
#include "common/parse.h"

namespace {

using namespace cw::common;

bool AllOf(const std::string& text, const char* allowed) {
  return text.find_first_not_of(allowed) == std::string::npos;
}

void CheckHex(const std::string& text) {
  const char* kHex = "0123456789abcdefABCDEF";
  if (const auto word = ParseHexWord(text)) {
    if (text.empty() || text.size() > 4 || !AllOf(text, kHex)) __builtin_trap();
    if (*word != ParseLeadingHex(text)) __builtin_trap();
  }
  if (const auto code = ParseSubcommandCode(text)) {
    if (*code != static_cast<std::uint16_t>(ParseLeadingHex(WithoutSpaces(text)))) __builtin_trap();
  }
  if (const auto key = ParseKeyText(text)) {
    if (*key != ParseLeadingHex(WithoutSpaces(text))) __builtin_trap();
  }
  if (const auto byte = ParseHexByte(text)) {
    if (ParseHexNumber(text, 0xFF) != std::optional<std::uint32_t>(*byte)) __builtin_trap();
  }
}

void CheckInteger(const std::string& text) {
  const auto value = ParseWholeInteger(text);
  if (!value) return;
  // Accepted text is a sign and digits only, so the C library reads all of it the same way.
  if (!AllOf(text, "+-0123456789")) __builtin_trap();
  errno = 0;
  char* end = nullptr;
  const long long reference = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size() || reference != *value) __builtin_trap();
}

void CheckDecimal(const std::string& text) {
  const auto value = ParseWholeDecimal(text);
  if (value && !std::isfinite(*value)) __builtin_trap();
  if (!value && value.error() == NumberError::kNotANumber) return;
  if (!AllOf(text, "+-.0123456789eE")) __builtin_trap();
  const double reference = std::strtod(text.c_str(), nullptr);
  if (!value) {
    if (!std::isinf(reference)) __builtin_trap();
    return;
  }
  // Underflow may leave the C library a denormal where the whole-text parser reads zero.
  const bool tiny = std::fabs(reference) < 1e-300 && std::fabs(*value) < 1e-300;
  if (!tiny && reference != *value) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte shapes the text: its low bit chooses between the raw bytes and the characters
  // numbers are made of (so that random input often spells one), the rest a length of 0 to 15
  // characters, the lengths where digit limits lie.
  static constexpr char kAlphabet[] =
      "0123456789012345678901234567890123456789abcdefABCDEFxX+-.eE \t";
  const std::size_t length = std::min<std::size_t>(size - 1, (data[0] >> 1) % 16);
  std::string text;
  for (std::size_t i = 1; i <= length; ++i) {
    text.push_back((data[0] & 1) != 0 ? static_cast<char>(data[i])
                                      : kAlphabet[data[i] % (sizeof kAlphabet - 1)]);
  }
  CheckHex(text);
  CheckInteger(text);
  CheckDecimal(text);
  return 0;
}
