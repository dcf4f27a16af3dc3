#pragma once

#include <filesystem>
#include <string>

// Why a file the user named could not be read or written, as data: the subsystems put it in
// their own messages.
namespace cw::common {

enum class FileProblem {
  kMissing,     // nothing at the path
  kFolder,      // a folder where a file is expected
  kNotRegular,  // a device node, pipe or socket where a file is expected
  kTooLarge,    // larger than any file of its kind
  kNoName,      // an empty path
  kSystem,      // the system refused: permissions, a full disk, an I/O error (see `reason`)
};

enum class FileAccess { kRead, kWrite };

struct FileError {
  FileProblem problem = FileProblem::kSystem;
  FileAccess access = FileAccess::kRead;
  std::filesystem::path path;
  std::string reason;               // the system's words, for kSystem
  std::size_t limit = 0;            // for kTooLarge
  bool existing_file_kept = false;  // a write left a file that was there before as it was
  bool operator==(const FileError&) const = default;
};

// One sentence or two for the user: which file, why, and after a failed write what is at the
// path now.
std::string DescribeFileError(const FileError& error);

}  // namespace cw::common
