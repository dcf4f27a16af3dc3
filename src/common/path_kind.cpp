#include "common/path_kind.h"

#include <filesystem>
#include <system_error>

namespace cw::common {

PathKind KindOfPath(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return PathKind::kMissing;
  if (error) return PathKind::kInaccessible;
  if (std::filesystem::is_regular_file(status)) return PathKind::kRegularFile;
  if (std::filesystem::is_directory(status)) return PathKind::kDirectory;
  return PathKind::kSpecial;
}

}  // namespace cw::common
