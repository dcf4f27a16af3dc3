#pragma once

#include <filesystem>
#include <optional>

#include "common/bytes.h"

namespace cw::firmware {

// The whole file, or nothing when it cannot be read.
std::optional<common::Bytes> ReadWholeFile(const std::filesystem::path& path);

// Writes through a temporary file beside `path` and renames it into place, so a write that
// fails halfway never leaves a truncated image or script where the old file was.
bool WriteWholeFile(const std::filesystem::path& path, common::ByteView bytes);
bool WriteWholeFile(const std::filesystem::path& path, std::string_view text);

}  // namespace cw::firmware
