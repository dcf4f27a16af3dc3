#pragma once

#include <string_view>

// What the window shows in its bars, banners and tooltips.
namespace cw::presentation::messages {

inline constexpr std::string_view kHelpDocument = "Cellwarden Tools Application Note.pdf";
// The main window's banner while the adapter link is down: the link's notice, then its status.
inline constexpr std::string_view kBootLoaderBanner =
    "The gauge waits in its boot loader (an update was stopped or failed) and answers nothing "
    "else. Tools > Firmware Update writes its firmware again and recovers it.";
// The gauge's security state beside the charge gauge, from Operation Status.
inline constexpr std::string_view kSealed = "Sealed";
inline constexpr std::string_view kUnsealed = "Unsealed";
inline constexpr std::string_view kFullAccess = "Full access";

}  // namespace cw::presentation::messages
