#pragma once

#include <string_view>

// Every text the link shows to the user or puts in the status bar.
namespace cw::link::messages {

inline constexpr std::string_view kUsbConnected = "USB Connected";
inline constexpr std::string_view kUsbDisconnected = "USB Disconnected";
inline constexpr std::string_view kTargetNotResponding = "Target Board Not Responding";

inline constexpr std::string_view kUsbNotConnected = "USB no Connected.";
// The firmware data-block write has always said it without the full stop.
inline constexpr std::string_view kUsbNotConnectedDataBlock = "USB no Connected";
inline constexpr std::string_view kUsbTransferError = "USB Transfer Error";

}  // namespace cw::link::messages
