#pragma once

#include <string_view>

// Texts of the common layer: what went wrong with a file the user named. Each is completed with
// fmt: the path, then the cause, and for a write what is at the path now.
namespace cw::common::messages {

inline constexpr std::string_view kNothingWritten = "Nothing was written.";

}  // namespace cw::common::messages
