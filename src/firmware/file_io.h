#pragma once

#include <cstddef>
#include <expected>
#include <filesystem>
#include <optional>
#include <string_view>

#include "common/bytes.h"
#include "common/file_error.h"

// The files the image tools read and write: images, raw memory images and scripts.
namespace cw::firmware {

// The largest image a boot loader can take: 16-bit sequence numbers count 65,536 records.
inline constexpr std::size_t kMaxImageFileSize = std::size_t{0x10000} * 32;

// A regular file of at most kMaxImageFileSize bytes, read whole.
std::expected<common::Bytes, common::FileError> ReadImageFile(const std::filesystem::path& path);
// The same, without the reason.
std::optional<common::Bytes> ReadWholeFile(const std::filesystem::path& path);

// Replaces the file at `path` whole or not at all (see common::WriteFileAtomically).
bool WriteWholeFile(const std::filesystem::path& path, common::ByteView bytes);
bool WriteWholeFile(const std::filesystem::path& path, std::string_view text);

}  // namespace cw::firmware
