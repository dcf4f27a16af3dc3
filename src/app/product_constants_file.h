#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "common/product_constants.h"

namespace cw::app {

inline constexpr const char* kConstantsFileName = "cellwarden.ini";

// Reads the [Constants] section of a cellwarden.ini over the built-in defaults. Keys (case does
// not matter): RecordMask, ReadBackMask, AdapterVendorId (hex), ProgrammingStub (12 hex bytes),
// PipeInterfaceId (text). A key that is absent keeps its default; a value that does not parse
// is an error naming the file and the key, so a typo never silently changes the protocol.
std::expected<common::ProductConstants, std::string> LoadProductConstantsFile(
    const std::filesystem::path& file, common::ProductConstants defaults = {});

// The files consulted, in order: next to the executable, then the user's configuration folder.
// The first one that exists wins.
std::vector<std::filesystem::path> ProductConstantsSearchPath(
    const std::filesystem::path& program_directory);

// Defaults, overridden by the first cellwarden.ini on the search path.
std::expected<common::ProductConstants, std::string> LoadProductConstants(
    const std::filesystem::path& program_directory);

}  // namespace cw::app
