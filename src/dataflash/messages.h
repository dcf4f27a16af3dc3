#pragma once

#include <string_view>

// Every text the data-flash subsystem shows to the user.
namespace cw::dataflash::messages {

inline constexpr std::string_view kOutOfLimitsPrefix =
    "The value entered is out of limits. Please enter a value between ";
inline constexpr std::string_view kNotANumber = "The value entered is not a valid number.";
// A value kept by the date or string rule, though not as it was written.
inline constexpr std::string_view kTakenAs = "{} {} is taken as {}.";
inline constexpr std::string_view kNoCalendarDate =
    "{} is no date of the calendar; it is taken as it stands.";

inline constexpr std::string_view kCommunicationError = "Communication Error!";
inline constexpr std::string_view kSealedReadAll = "Device is sealed, read all fail!";
inline constexpr std::string_view kSealedWriteAll = "Device is sealed, write all fail!";
inline constexpr std::string_view kSealedWriteAfi = "Device is sealed, write afi file fail!";
inline constexpr std::string_view kSealedReadAfi = "Device is sealed, read afi file fail!";
inline constexpr std::string_view kLoadSuccess = "Load Process Suscess!";
inline constexpr std::string_view kLoadFail = "Load Process Fail!";
inline constexpr std::string_view kReadFlashFail = "Read Flash Fail!";
inline constexpr std::string_view kSaveError = "Save data file error!";
inline constexpr std::string_view kSaveFinish = "Save Finish!";

// .afi files that cannot be taken as they are.
inline constexpr std::string_view kNotAConstantsFile = "{} is not a constants file: {}.";
inline constexpr std::string_view kNoFlashDataKeys =
    "no [FlashData] section holds a parameter or AlgorithmData key";
inline constexpr std::string_view kHoldsNul = "it holds NUL bytes";
inline constexpr std::string_view kMoreNames = "{} and {} more";
inline constexpr std::string_view kAfiKeysMissing =
    "Keys missing from the constants file ({}): {}. Nothing was written.";
inline constexpr std::string_view kAfiValuesInvalid =
    "Values in the constants file that no parameter takes ({}): {}. Nothing was written.";
inline constexpr std::string_view kAfiKeysKept =
    "Keys missing from the constants file ({}) keep the gauge's own values: {}.";
// Values of a constants file taken otherwise than they stand, and where they stand.
inline constexpr std::string_view kAfiKeyAndValue = "{} = {}";
inline constexpr std::string_view kAfiKeyAt = "{} = {} (line {})";
inline constexpr std::string_view kAfiKeyLines = "{} (lines {})";
inline constexpr std::string_view kAfiTakenAsItem = "{} as {}";
inline constexpr std::string_view kAfiValuesTakenAs =
    "Values in the constants file taken as other values ({}): {}.";
inline constexpr std::string_view kAfiKeysRepeated =
    "Keys given more than once in the constants file ({}): {}; the last value of each is taken.";
inline constexpr std::string_view kAfiNotFormatted = "the constants could not be put in form";

// What a failed .afi load leaves in the gauge.
inline constexpr std::string_view kLoadNothingWritten =
    "Reading the gauge's values for the missing keys failed; nothing was written.";
inline constexpr std::string_view kLoadPartlyWritten =
    "The gauge's data flash may now be partly written: load the file again, or write a saved "
    ".afi, to restore it.";
inline constexpr std::string_view kLoadNotKept =
    "The data flash was written, but the gauge reads back other values for these parameters "
    "({}): {}.";

// What a transfer stopped between two pages (Ctrl-C, SIGTERM) leaves in the gauge.
inline constexpr std::string_view kStoppedReading =
    "Stopped while reading the data flash: the gauge is unchanged, and nothing was written.";
inline constexpr std::string_view kStoppedNothingWritten =
    "Stopped before the first page was written: the gauge's data flash is unchanged.";
inline constexpr std::string_view kStoppedPartlyWritten =
    "Stopped after {} pages were written: the gauge's data flash is now partly written. Load the "
    "file again, or write a saved .afi, to restore it.";

// The note under the data flash page's lists.
inline constexpr std::string_view kEditIgnored =
    "Nothing was written: read the gauge first (Read All).";
inline constexpr std::string_view kEditsHeld = "Edits held for Write All: {}";
inline constexpr std::string_view kCompareSummary = "{}: {} of {} parameters differ";
inline constexpr std::string_view kCompareAlgorithm = "; AlgorithmData: {} of {} keys differ";
inline constexpr std::string_view kCompareNotCompared =
    "; not compared: {} keys missing, {} unreadable";
inline constexpr std::string_view kCompareAfterRead =
    "{} loaded: Read All compares it with the gauge.";

}  // namespace cw::dataflash::messages
