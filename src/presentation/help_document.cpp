#include "presentation/help_document.h"

#include <system_error>

#include "presentation/messages.h"

namespace cw::presentation {
namespace {

constexpr std::string_view kUserGuide = "user-guide.md";

bool IsFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::vector<std::filesystem::path> UserGuidePlaces(const std::filesystem::path& program_directory) {
  return {
      std::filesystem::path(CW_INSTALLED_DOCS) / kUserGuide,
      program_directory / ".." / "share" / "doc" / CW_PROJECT_NAME / kUserGuide,
      std::filesystem::path(CW_SOURCE_DOCS) / kUserGuide,
  };
}

std::optional<HelpDocument> FindHelpDocument(const std::filesystem::path& program_directory,
                                             std::span<const std::filesystem::path> guides) {
  const std::filesystem::path note = program_directory / std::string(messages::kHelpDocument);
  if (IsFile(note)) return HelpDocument{HelpDocument::Kind::kApplicationNote, note};
  for (const std::filesystem::path& guide : guides) {
    if (IsFile(guide))
      return HelpDocument{HelpDocument::Kind::kUserGuide, guide.lexically_normal()};
  }
  return std::nullopt;
}

}  // namespace cw::presentation
