#pragma once

#include <string_view>

#include "common/doc_dir.h"

// Texts of the command-line front end that are not the product's own messages.
namespace cw::cli::messages {

inline constexpr std::string_view kNotHexByte = "a hex byte (00..FF)";

// unseal: the gauge still reports the lock after the key.
inline constexpr std::string_view kLocked = "locked";

// Typed arguments: "\"TEXT\" is not RULE", after the argument's name.
inline constexpr std::string_view kArgumentBreaksRule = "\"{}\" is not {}";
// The simulated pack's state file.

// param and df
namespace df {
inline constexpr std::string_view kUnknownParameter = "unknown parameter: {}";
inline constexpr std::string_view kEditIgnored = "the edit was ignored";
inline constexpr std::string_view kBusBusy = "the bus stayed busy; nothing was written";
inline constexpr std::string_view kWritten = "{}";
// `df diff`: the value of a key one side lacks.
inline constexpr std::string_view kNoKey = "(missing)";
}  // namespace df

// the files and firmware commands: what a failure leaves behind
namespace files {
inline constexpr std::string_view kDataFlashUnread = "the data flash could not be read";
inline constexpr std::string_view kNothingWritten = "; nothing was written";
}  // namespace files

// doctor
namespace doctor {
inline constexpr std::string_view kDescription =
    "Look for the adapter: ids, device node, access rights, open and claim, the udev rule";
inline constexpr std::string_view kNoAdapter = "No adapter with vendor id {:04x} found.";
inline constexpr std::string_view kUsbUnlisted = "USB devices could not be listed: {}";
inline constexpr std::string_view kNode = "  node: {} {}:{}, this user {} read and write it";
inline constexpr std::string_view kNone = "none";
// Every step above starts with it; --json gives the steps without it.
inline constexpr std::string_view kStepBullet = "  - ";
}  // namespace doctor

// auth digest: the crypto library computed no digest.
// adapters
namespace adapters {
inline constexpr std::string_view kDescription =
    "List every attached adapter: transport, serial number, node, whether it can be opened, and "
    "what selects it";
inline constexpr std::string_view kRow = "{:<9} {:<14} {:<22} {:<4} {}";
inline constexpr std::string_view kSerial = "SERIAL";
inline constexpr std::string_view kNode = "NODE";
inline constexpr std::string_view kNoSerial = "-";
inline constexpr std::string_view kUsbUnlisted = "USB devices could not be listed: {}";
}  // namespace adapters

// station run
namespace station {
// The live lines: adapter, pack serial, then what the lane does.
inline constexpr std::string_view kNoStep = "the gauge check";
inline constexpr std::string_view kNoSerial = "-";
// The plain lines, one per event, each after the adapter's serial number.
inline constexpr std::string_view kRecordsMade =
    "New records made at {}: each serial range starts at its first number. If the line had "
    "records elsewhere, stop and name them with --records.";
// Ctrl-C during a station run.
inline constexpr std::string_view kStopping =
    "Stopping: each pack stops at its next safe point (between two firmware records, flash "
    "writes or steps; a write is never cut in half). The summary says what each pack holds.";
// The end of a run of the station.
inline constexpr std::string_view kNoYield = "none";
}  // namespace station

// log summary
namespace log_summary {
inline constexpr std::string_view kDescription =
    "Sum up a data log (.LOG or CSV): its time, samples, interval and each register";
inline constexpr std::string_view kInterval =
    "Interval: {:.2f} s on average, largest gap {} s ({} to {})";
inline constexpr std::string_view kUnread = "Unread values: {}";
inline constexpr std::string_view kColumnsHeading =
    "{:<26} {:<5} {:>12} {:>12} {:>12} {:>12} {:>7}";
}  // namespace log_summary

}  // namespace cw::cli::messages
