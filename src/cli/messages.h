#pragma once

#include <string_view>

// Texts of the command-line front end that are not the product's own messages.
namespace cw::cli::messages {

inline constexpr std::string_view kAppDescription =
    "Cellwarden Tools: evaluation and configuration workbench for the KT580714 fuel gauge";
inline constexpr std::string_view kNotHexByte = "\"{}\" is not a hex byte (00..FF)";
inline constexpr std::string_view kBlockLengthRange = "N must be 0 to 32, not {}";
inline constexpr std::string_view kVersionUnreadable = "the adapter version could not be read";
inline constexpr std::string_view kTransportHid = "HID";
inline constexpr std::string_view kTransportBulk = "bulk";

}  // namespace cw::cli::messages
