#pragma once

#include <string_view>

#include "common/doc_dir.h"

// Every text the pipe library gives a calling program through CwPipesLastError, and the one it
// writes to stderr. Each starts with the routine that failed ({0} in the formats below that
// take it), so a script can print it as it stands. Format strings take their arguments through
// fmt.
namespace cw::exports::messages {

// The routines drive one adapter, the first bulk adapter found: a choice among several is not
// theirs to honour, and is refused rather than ignored.
inline constexpr std::string_view kBadSimPack = "the simulated pack cannot be built: {}";

// Arguments; {1} is the size given, {2} the limit.
inline constexpr std::string_view kTooLong =
    "{}: a size of {} bytes is more than one transfer carries ({} bytes); nothing was sent or "
    "read";

// Handles; {1} is the handle.
inline constexpr std::string_view kHandleNotOpen =
    "{}: handle {} is not open (it was closed, or never handed out)";
inline constexpr std::string_view kWrongKind = "{}: handle {} is {}; this routine takes {}";
inline constexpr std::string_view kHandleLimit = "{}: all {} handles are open; close one first";

// Opening the adapter; {1} is the vendor id, {2} the product id.
inline constexpr std::string_view kNoAdapter =
    "{}: no adapter found: no USB device {:04x}:{:04x} is plugged in";
inline constexpr std::string_view kCannotOpen =
    "{}: the adapter {:04x}:{:04x} cannot be opened: {}";
inline constexpr std::string_view kAccessDenied =
    "{}: the adapter {:04x}:{:04x} cannot be opened: {}; install the udev rule "
    "70-cellwarden.rules (see " CW_DOC_DIR "/bring-up.md) or add yourself to the plugdev group";
inline constexpr std::string_view kAdapterBusy =
    "{}: the adapter {:04x}:{:04x} is held by another program (interface 0 cannot be claimed: "
    "{}); close that program and try again";

// Transfers; {1} is the library's own words, {2} the time-out.
inline constexpr std::string_view kTimedOut = "{}: no answer within {} ms ({})";
inline constexpr std::string_view kAdapterGone =
    "{}: the adapter is gone ({}); close every handle and open again";
inline constexpr std::string_view kRefused = "{}: the adapter refused the request ({})";
inline constexpr std::string_view kTransferFailed = "{}: the transfer failed ({})";

inline constexpr std::string_view kInternal = "{}: internal error: {}";
// When the USB library gave no words of its own.
inline constexpr std::string_view kNoReason = "no reason given";

// What each kind of handle is called in the texts above.
inline constexpr std::string_view kControlHandle = "a control handle";
inline constexpr std::string_view kBulkOutHandle = "a bulk-out handle";
inline constexpr std::string_view kAnyInHandle = "a bulk-in or interrupt-in handle";

}  // namespace cw::exports::messages
