#pragma once

#include <string_view>

// Texts of the command-line front end that are not the product's own messages.
namespace cw::cli::messages {

inline constexpr std::string_view kAppDescription =
    "Cellwarden Tools: evaluation and configuration workbench for the KT580714 fuel gauge";
inline constexpr std::string_view kNotHexByte = "a hex byte (00..FF)";
inline constexpr std::string_view kBlockLengthRange = "N must be 0 to 32, not {}";
inline constexpr std::string_view kVersionUnreadable = "the adapter version could not be read";
inline constexpr std::string_view kTransportHid = "HID";
inline constexpr std::string_view kTransportBulk = "bulk";

// unseal: the gauge still reports the lock after the key.
inline constexpr std::string_view kLocked = "locked";

// Typed arguments: "\"TEXT\" is not RULE", after the argument's name.
inline constexpr std::string_view kArgumentBreaksRule = "\"{}\" is not {}";
inline constexpr std::string_view kRuleSmbCommand = "an SMBus command: 1 or 2 hex digits";
inline constexpr std::string_view kRuleHexWord = "a hex word: 1 to 4 hex digits";
inline constexpr std::string_view kRuleBlockData =
    "block data: bytes of 1 or 2 hex digits separated by blanks";
inline constexpr std::string_view kRuleSubcommand =
    "a subcommand code: 1 to 4 hex digits, optionally after 0x";
inline constexpr std::string_view kRuleKey =
    "an unseal key: 1 to 8 hex digits, optionally after 0x";
inline constexpr std::string_view kRuleCells =
    "four cell voltages in mV, whole numbers separated by commas";
inline constexpr std::string_view kRuleTemperature = "a temperature in degrees Celsius";
inline constexpr std::string_view kRuleCurrent = "a current in mA, a whole number";
// unseal: the gauge's Operation Status could not be read after the key.
inline constexpr std::string_view kLockUnknown = "unknown";
// The simulated pack's state file.

// scan and log
namespace scan {
inline constexpr std::string_view kScanDescription =
    "Read the SBS register table: one pass with --once, else a live view until Ctrl-C";
inline constexpr std::string_view kLogDescription =
    "Scan rows and write them to a data log file every interval";
inline constexpr std::string_view kUnknownRow = "\"{}\" is not a register row of tables A, B or C";
inline constexpr std::string_view kRowsNotRead = "{} of {} rows could not be read: {}";
inline constexpr std::string_view kLiveHeading = "Cellwarden SBS scan ({})  pass {}  {}";
inline constexpr std::string_view kLiveFooter = "Ctrl-C ends the scan.";
inline constexpr std::string_view kLogWritten = "{} data lines written to {}";
inline constexpr std::string_view kLogFieldsNotRead =
    "{} of {} logged values could not be read and were written as 0 ({})";
}  // namespace scan

// param and df
namespace df {
inline constexpr std::string_view kUnknownParameter = "unknown parameter: {}";
inline constexpr std::string_view kBadBytes = "{} takes {} raw bytes in hex";
inline constexpr std::string_view kBadStringBytes = "{} takes 1 to {} raw bytes in hex";
inline constexpr std::string_view kNoSuchFile = "no such file: {}";
inline constexpr std::string_view kGaugeReadFailed = "reading {} from the gauge failed";
inline constexpr std::string_view kEditIgnored = "the edit was ignored";
inline constexpr std::string_view kBusBusy = "the bus stayed busy; nothing was written";
inline constexpr std::string_view kReadBackDiffers = "the gauge kept another value: {}";
inline constexpr std::string_view kWritten = "{}";
}  // namespace df

// the files and firmware commands: what a failure leaves behind
namespace files {
inline constexpr std::string_view kDataFlashUnread = "the data flash could not be read";
inline constexpr std::string_view kNothingWritten = "; nothing was written";
inline constexpr std::string_view kEditFailedHolds = "writing {} failed; the gauge now holds {}";
inline constexpr std::string_view kEditFailedUnread =
    "writing {} failed, and what the gauge holds now could not be read";
}  // namespace files

}  // namespace cw::cli::messages
