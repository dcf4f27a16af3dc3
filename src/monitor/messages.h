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

}  // namespace cw::monitor::messages
