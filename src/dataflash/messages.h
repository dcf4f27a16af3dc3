#pragma once

#include <string_view>

// Every text the data-flash subsystem shows to the user.
namespace cw::dataflash::messages {

inline constexpr std::string_view kOutOfLimitsPrefix =
    "The value entered is out of limits. Please enter a value between ";
inline constexpr std::string_view kNotANumber = "The value entered is not a valid number.";
// A value kept by the date or string rule, though not as it was written.
inline constexpr std::string_view kNoCalendarDate =
    "{} is no date of the calendar; it is taken as it stands.";

inline constexpr std::string_view kCommunicationError = "Communication Error!";
inline constexpr std::string_view kSealedReadAll = "Device is sealed, read all fail!";
inline constexpr std::string_view kSealedWriteAll = "Device is sealed, write all fail!";
inline constexpr std::string_view kSealedWriteAfi = "Device is sealed, write afi file fail!";
inline constexpr std::string_view kSealedReadAfi = "Device is sealed, read afi file fail!";
inline constexpr std::string_view kLoadSuccess = "Load Process Suscess!";
inline constexpr std::string_view kLoadFail = "Load Process Fail!";
inline constexpr std::string_view kSaveError = "Save data file error!";
inline constexpr std::string_view kSaveFinish = "Save Finish!";

// .afi files that cannot be taken as they are.
inline constexpr std::string_view kNotAConstantsFile = "{} is not a constants file: {}.";
inline constexpr std::string_view kNoFlashDataKeys =
    "no [FlashData] section holds a parameter or AlgorithmData key";
inline constexpr std::string_view kHoldsNul = "it holds NUL bytes";

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

}  // namespace cw::dataflash::messages
