#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace cw::presentation {

// What Help Contents opens: the application note where it is installed beside the program (the
// desktop's viewer shows it), and where it is not, the user guide that comes with the product
// (shown in the program's own help window). Nothing when neither is there.
struct HelpDocument {
  enum class Kind { kApplicationNote, kUserGuide };
  Kind kind;
  std::filesystem::path path;
};

// The places the user guide is looked for, in order: the installed documentation (also relative
// to the program, for a package unpacked elsewhere) and the source tree of a build.
std::vector<std::filesystem::path> UserGuidePlaces(const std::filesystem::path& program_directory);

std::optional<HelpDocument> FindHelpDocument(const std::filesystem::path& program_directory,
                                             std::span<const std::filesystem::path> guides);

}  // namespace cw::presentation
