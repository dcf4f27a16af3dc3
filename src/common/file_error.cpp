#include "common/file_error.h"

#include <fmt/format.h>

namespace cw::common {
namespace {

std::string Cause(const FileError& error) {
  switch (error.problem) {
    case FileProblem::kMissing:
      return std::string("it does not exist");
    case FileProblem::kFolder:
      return std::string("it is a folder");
    case FileProblem::kNotRegular:
      return std::string("it is a device, pipe or socket, not a regular file");
    case FileProblem::kTooLarge:
      return fmt::format("it is larger than {} bytes", error.limit);
    case FileProblem::kNoName:
      return std::string("no file name was given");
    case FileProblem::kSystem:
      break;
  }
  return error.reason;
}

}  // namespace

std::string DescribeFileError(const FileError& error) {
  if (error.access == FileAccess::kRead) {
    return fmt::format("Can not read the file {}: {}.", error.path.string(), Cause(error));
  }
  const bool not_a_file =
      error.problem == FileProblem::kFolder || error.problem == FileProblem::kNotRegular;
  const std::string_view now = not_a_file                 ? "Nothing was written."
                               : error.existing_file_kept ? "The existing file was left unchanged."
                                                          : "No file was created.";
  return fmt::format("Can not write the file {}: {}. {}", error.path.string(), Cause(error), now);
}

}  // namespace cw::common
