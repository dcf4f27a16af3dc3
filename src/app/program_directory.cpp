#include "app/program_directory.h"

#include <system_error>

namespace cw::app {

std::filesystem::path ProgramDirectory() {
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || executable.empty()) return std::filesystem::current_path(error);
  return executable.parent_path();
}

}  // namespace cw::app
