#pragma once

#include <string_view>

#include "common/doc_dir.h"

// Every text the link shows to the user, puts in the status bar or writes to the trace.
namespace cw::link::messages {

inline constexpr std::string_view kUsbConnected = "USB Connected";
inline constexpr std::string_view kUsbDisconnected = "USB Disconnected";
inline constexpr std::string_view kTargetNotResponding = "Target Board Not Responding";
// The adapter is plugged in and was opened, but its reports or packets fail.
inline constexpr std::string_view kAdapterNotAnswering = "USB Adapter Not Answering";

inline constexpr std::string_view kUsbNotConnected = "USB no Connected.";
// The firmware data-block write has always said it without the full stop.
inline constexpr std::string_view kUsbNotConnectedDataBlock = "USB no Connected";
inline constexpr std::string_view kUsbTransferError = "USB Transfer Error";

// Why an adapter that is there could not be used; {0} is its node, {1} the system's reason.
inline constexpr std::string_view kAccessDeniedNotice =
    "{}: {}: install the udev rule (see " CW_DOC_DIR
    "/bring-up.md) or add yourself to the plugdev group";
inline constexpr std::string_view kBusyNotice =
    "{}: {}: another program holds the adapter; close it and try again";
inline constexpr std::string_view kCannotOpenNotice = "{}: {}";
// {0} is the node, {1} what the library said about the failed exchange.
inline constexpr std::string_view kStoppedAnsweringNotice = "{}: the adapter stopped answering: {}";

// A device option that names an adapter which is not plugged in, or names several: shown as
// "<the choice>: <this>". {} lists what was found.
inline constexpr std::string_view kChoiceMatchesNothing =
    "no adapter has this serial number or node; found: {}";
inline constexpr std::string_view kChoiceAmbiguous =
    "{} adapters have this serial number ({}): name one by its node";
// The same for a kind alone ("hid", "bulk"): none of that kind, or several.
inline constexpr std::string_view kKindMatchesNothing =
    "no adapter of this kind is plugged in; found: {}";
inline constexpr std::string_view kKindAmbiguous =
    "{} adapters of this kind are plugged in ({}): name one by its serial number or node";
inline constexpr std::string_view kFoundNothing = "no adapter at all";
// Only the kind of adapter named is looked at: {} is its transport.
inline constexpr std::string_view kFoundNoneOfKind = "no {} adapter";
// One adapter found: its transport, node and serial number, or why it could not be opened.
inline constexpr std::string_view kFoundAdapter = "{} {} serial \"{}\"";
inline constexpr std::string_view kFoundUnopened = "{} {} (not opened: {})";
inline constexpr std::string_view kHidTransport = "HID";
inline constexpr std::string_view kBulkTransport = "bulk";
// Why a HID device of the product cannot be the adapter.
inline constexpr std::string_view kNoAdapterCollections =
    "none of its collections is the adapter's (usage page FF00)";
// How a choice is written on the command line.
inline constexpr std::string_view kHidWord = "hid";
inline constexpr std::string_view kBulkWord = "bulk";
// The kind of device node each transport opens.
inline constexpr std::string_view kHidNodeKind = "HID";
inline constexpr std::string_view kUsbNodeKind = "USB";
// A kind and a key: "hid:KEY", "bulk:KEY".
inline constexpr std::string_view kKindChoice = "{}:{}";
inline constexpr std::string_view kAnyChoice = "adapter={}";

// Reasons the backends and the transport give for a failure of their own.
inline constexpr std::string_view kShortReply = "short reply: {} of {} bytes";
inline constexpr std::string_view kEmptyReport = "empty report";
inline constexpr std::string_view kNoDevicePath = "no device path";
inline constexpr std::string_view kNoCollection = "no collection of the adapter carries report {}";
inline constexpr std::string_view kNoBulkDevice = "the bulk adapter is not open";
inline constexpr std::string_view kReplyToAnother = "reply {:02X} to request {:02X}";
inline constexpr std::string_view kUsbIds = "usb {:04x}:{:04x}";

// Trace lines of the devices beneath the link (--trace, layer "usb").
namespace trace {
inline constexpr std::string_view kHidEnumerate = "hid enumerate {:04x}:{:04x}: {} collections";
inline constexpr std::string_view kHidEntry =
    "hid entry {} {:04x}:{:04x} usage {:04x}:{:04x} serial \"{}\"";
inline constexpr std::string_view kHidOpen = "hid open {}: ok";
inline constexpr std::string_view kHidOpenFailed = "hid open {}: failed: {}";
inline constexpr std::string_view kUsbList = "usb list: {} devices";
inline constexpr std::string_view kUsbListFailed = "usb list: failed: {}";
inline constexpr std::string_view kUsbDevice = "usb device {} {:04x}:{:04x} {}";
inline constexpr std::string_view kUsbOpen = "usb open {}: ok";
inline constexpr std::string_view kUsbOpenFailed = "usb open {}: failed: {}";
inline constexpr std::string_view kUsbSerial = "usb serial \"{}\"";
inline constexpr std::string_view kUsbSerialFailed = "usb serial: failed: {}";
inline constexpr std::string_view kUsbKernelDriver = "usb interface {}: kernel driver {}";
inline constexpr std::string_view kUsbCall = "usb {} interface {}: {}";
inline constexpr std::string_view kOk = "ok";
inline constexpr std::string_view kActive = "active";
inline constexpr std::string_view kNotActive = "not active";
inline constexpr std::string_view kFailed = "failed: {}";
inline constexpr std::string_view kShort = "short: {} of {} bytes";
}  // namespace trace

// A failure whose library said nothing about it is named by its kind.
inline constexpr std::string_view kFaultAccessDenied = "permission denied";
inline constexpr std::string_view kFaultBusy = "the device is busy";
inline constexpr std::string_view kFaultGone = "the device went away";
inline constexpr std::string_view kFaultTimedOut = "no answer in time";
inline constexpr std::string_view kFaultStalled = "the device refused the request";
inline constexpr std::string_view kFaultShortReply = "the reply was short";
inline constexpr std::string_view kFaultBadReply = "the reply did not fit the request";
inline constexpr std::string_view kFaultOther = "the exchange failed";

}  // namespace cw::link::messages
