#pragma once

#include <array>
#include <string_view>

// Every text the monitoring subsystem shows or writes. Format strings take their arguments
// through fmt.
namespace cw::monitor::messages {

// First line of a data log: product, version and maker.
inline constexpr std::string_view kLogProductName = "Cellwarden";
inline constexpr unsigned kLogVersionNumber = 0x307;
inline constexpr std::string_view kLogMakerText = "Quillmarsh Electronic LTD.";
inline constexpr std::string_view kLogColumnHeading =
    "Sample        Stamp        Elapsed(s)        ";
// A .LOG field whose value was not read: the not-a-number that spreadsheets, numpy, pandas and
// strtod all take for a missing number, where a "0" would pass for a reading.
inline constexpr std::string_view kLogUnreadValue = "NaN";

// The leading columns of a CSV data log.
inline constexpr std::array<std::string_view, 3> kCsvLeadingHeadings = {"Sample", "Stamp",
                                                                        "Elapsed(s)"};

inline constexpr std::string_view kLogCannotCreate =
    "Cannot create the data log file {}: {}. Logging has not started.";
inline constexpr std::string_view kLogWriteFailed =
    "Writing the data log file {} failed: {}. Logging has stopped.";
inline constexpr std::string_view kLogNothingTicked =
    "No register is ticked for Log: tick the registers to log (or Log All) first. No file was "
    "written.";
inline constexpr std::string_view kLogNotAFile =
    "{} is a directory or a device, not a file a data log can be written to";
inline constexpr std::string_view kLogNotActive = "No data log is running.";
inline constexpr std::string_view kLogBadInterval =
    "The logging interval must be 1 to 60 seconds, not {}.";

inline constexpr std::string_view kWriteBadValue = "\"{}\" is not a valid value for {} ({}).";
inline constexpr std::string_view kWriteReadOnly = "{} cannot be written.";
inline constexpr std::string_view kWriteFailed = "Writing {} failed.";

// Status display titles end with this.
inline constexpr std::string_view kScanningSuffix = " - SCANNING";

// Page buttons.
inline constexpr std::string_view kClearLogsButton = "Clear Logs";
inline constexpr std::string_view kLogAllButton = "Log All";
inline constexpr std::string_view kClearScansButton = "Clear Scans";
inline constexpr std::string_view kScanAllButton = "Scan All";

// Reading a data log back (the offline viewer, `log summary`).
namespace run_log {
inline constexpr std::string_view kAtLine = "{} line {}: {}";
inline constexpr std::string_view kEmpty = "the file is empty, not a data log";
inline constexpr std::string_view kNotALog =
    "not a data log: a .LOG starts with \"Cellwarden<TAB>Version:\", a CSV log with "
    "\"Sample,Stamp,Elapsed(s)\"";
inline constexpr std::string_view kEndsEarly = "the file ends before its {}";
inline constexpr std::string_view kStartTimeWhat = "start time";
inline constexpr std::string_view kHeadingWhat = "column heading";
inline constexpr std::string_view kBadStartTime =
    "the start time should read yyyy/mm/dd<TAB>hh:mm:ss";
inline constexpr std::string_view kBadStaticLine =
    "a static data line should read \"Name: value\" (an empty line ends them)";
inline constexpr std::string_view kBadHeading =
    "the column heading should start with Sample, Stamp and Elapsed(s)";
inline constexpr std::string_view kFieldCount = "{} fields where the column heading has {}";
inline constexpr std::string_view kBadStamp = "\"{}\" is no time of day (hh:mm:ss)";
inline constexpr std::string_view kBadCsvStamp = "\"{}\" is no time stamp (yyyy-mm-ddThh:mm:ss)";
inline constexpr std::string_view kBadValue = "\"{}\" is no value of {}";
inline constexpr std::string_view kOpenQuote = "a quoted field is not closed";
inline constexpr std::string_view kStopped = "Reading stopped.";
inline constexpr std::string_view kReadFailed = "Reading {} failed: {}";
}  // namespace run_log

}  // namespace cw::monitor::messages
