#pragma once

#include <string_view>

#include "common/doc_dir.h"

// Every text the link shows to the user, puts in the status bar or writes to the trace.
namespace cw::link::messages {

inline constexpr std::string_view kUsbDisconnected = "USB Disconnected";
// The adapter is plugged in and was opened, but its reports or packets fail.
inline constexpr std::string_view kAdapterNotAnswering = "USB Adapter Not Answering";

inline constexpr std::string_view kUsbNotConnected = "USB no Connected.";
// The firmware data-block write has always said it without the full stop.
inline constexpr std::string_view kUsbTransferError = "USB Transfer Error";

// Why a HID device of the product cannot be the adapter.
inline constexpr std::string_view kNoAdapterCollections =
    "none of its collections is the adapter's (usage page FF00)";
// How a choice is written on the command line.
inline constexpr std::string_view kHidWord = "hid";
inline constexpr std::string_view kBulkWord = "bulk";

// Reasons the backends and the transport give for a failure of their own.
inline constexpr std::string_view kShortReply = "short reply: {} of {} bytes";
inline constexpr std::string_view kEmptyReport = "empty report";

// Trace lines of the devices beneath the link (--trace, layer "usb").
namespace trace {
inline constexpr std::string_view kUsbDevice = "usb device {} {:04x}:{:04x} {}";
inline constexpr std::string_view kFailed = "failed: {}";
inline constexpr std::string_view kShort = "short: {} of {} bytes";
}  // namespace trace

// A failure whose library said nothing about it is named by its kind.
inline constexpr std::string_view kFaultOther = "the exchange failed";

}  // namespace cw::link::messages
