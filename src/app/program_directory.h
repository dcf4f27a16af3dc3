#pragma once

#include <filesystem>

namespace cw::app {

// The folder that holds the running executable: where cellwarden.ini and the help document
// are looked for. Always the executable's parent folder; executables here rarely carry an
// extension, so a path is never taken as its own folder.
std::filesystem::path ProgramDirectory();

}  // namespace cw::app
