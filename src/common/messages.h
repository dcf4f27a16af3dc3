#pragma once

#include <string_view>

// Texts of the common layer: what went wrong with a file the user named. Each is completed with
// fmt: the path, then the cause, and for a write what is at the path now.
namespace cw::common::messages {

inline constexpr std::string_view kCannotReadFile = "Can not read the file {}: {}.";
inline constexpr std::string_view kCannotWriteFile = "Can not write the file {}: {}. {}";

inline constexpr std::string_view kCauseMissing = "it does not exist";
inline constexpr std::string_view kCauseFolder = "it is a folder";
inline constexpr std::string_view kCauseNotRegular =
    "it is a device, pipe or socket, not a regular file";
inline constexpr std::string_view kCauseTooLarge = "it is larger than {} bytes";
inline constexpr std::string_view kCauseNoName = "no file name was given";

inline constexpr std::string_view kNothingWritten = "Nothing was written.";
inline constexpr std::string_view kExistingKept = "The existing file was left unchanged.";
inline constexpr std::string_view kNothingCreated = "No file was created.";

}  // namespace cw::common::messages
