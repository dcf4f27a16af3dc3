#include "common/file_error.h"

#include <fmt/format.h>

#include "common/messages.h"

namespace cw::common {
namespace {

std::string Cause(const FileError& error) {
  switch (error.problem) {
    case FileProblem::kMissing:
      return std::string(messages::kCauseMissing);
    case FileProblem::kFolder:
      return std::string(messages::kCauseFolder);
    case FileProblem::kNotRegular:
      return std::string(messages::kCauseNotRegular);
    case FileProblem::kTooLarge:
      return fmt::format(messages::kCauseTooLarge, error.limit);
    case FileProblem::kNoName:
      return std::string(messages::kCauseNoName);
    case FileProblem::kSystem:
      break;
  }
  return error.reason;
}

}  // namespace

std::string DescribeFileError(const FileError& error) {
  if (error.access == FileAccess::kRead) {
    return fmt::format(messages::kCannotReadFile, error.path.string(), Cause(error));
  }
  const bool not_a_file =
      error.problem == FileProblem::kFolder || error.problem == FileProblem::kNotRegular;
  const std::string_view now = not_a_file                 ? messages::kNothingWritten
                               : error.existing_file_kept ? messages::kExistingKept
                                                          : messages::kNothingCreated;
  return fmt::format(messages::kCannotWriteFile, error.path.string(), Cause(error),
                     now);
}

}  // namespace cw::common
