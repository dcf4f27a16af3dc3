#pragma once

#include <array>
#include <string_view>

// Every text the monitoring subsystem shows or writes. Format strings take their arguments
// through fmt.
namespace cw::monitor::messages {

inline constexpr unsigned kLogVersionNumber = 0x307;
// A .LOG field whose value was not read: the not-a-number that spreadsheets, numpy, pandas and
// strtod all take for a missing number, where a "0" would pass for a reading.
inline constexpr std::string_view kLogUnreadValue = "NaN";

// The leading columns of a CSV data log.
inline constexpr std::array<std::string_view, 3> kCsvLeadingHeadings = {"Sample", "Stamp",
                                                                        "Elapsed(s)"};

inline constexpr std::string_view kLogNothingTicked =
    "No register is ticked for Log: tick the registers to log (or Log All) first. No file was "
    "written.";

inline constexpr std::string_view kWriteFailed = "Writing {} failed.";

// Reading a data log back (the offline viewer, `log summary`).
namespace run_log {
inline constexpr std::string_view kEmpty = "the file is empty, not a data log";
inline constexpr std::string_view kHeadingWhat = "column heading";
inline constexpr std::string_view kFieldCount = "{} fields where the column heading has {}";
inline constexpr std::string_view kBadValue = "\"{}\" is no value of {}";
inline constexpr std::string_view kOpenQuote = "a quoted field is not closed";
inline constexpr std::string_view kStopped = "Reading stopped.";
inline constexpr std::string_view kReadFailed = "Reading {} failed: {}";
}  // namespace run_log

}  // namespace cw::monitor::messages
