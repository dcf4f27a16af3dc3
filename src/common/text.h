#pragma once

#include <algorithm>
#include <cctype>
#include <string_view>

// Comparisons of ASCII text without regard to case: .afi keys, file extensions, string
// parameters. Characters outside ASCII compare as they are.
namespace cw::common {

inline char LowerAscii(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

inline bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace cw::common
