#pragma once

#include <fmt/printf.h>

#include <string>
#include <string_view>

namespace cw::common {

// printf-style formatting for the formats kept in the product's fixed tables ("%04X", "%.1f",
// "%s"). A format that does not fit its value gives the plain value instead of throwing.
template <typename T>
std::string FormatPrintf(std::string_view format, const T& value) {
  try {
    return fmt::sprintf(format, value);
  } catch (const fmt::format_error&) {
    if constexpr (std::is_convertible_v<T, std::string_view>) {
      return std::string(value);
    } else {
      return fmt::format("{}", value);
    }
  }
}

}  // namespace cw::common
