#pragma once

#include <expected>
#include <filesystem>
#include <string_view>

#include "common/bytes.h"
#include "common/file_error.h"

namespace cw::common {

// Puts `bytes` at `target` so that the file there is either the old one or the whole new one:
// a temporary file beside the target is written, flushed to the disk and closed, and only then
// renamed over it. On any failure (a full disk, an I/O error) the temporary file is removed and
// the target is untouched. A folder, device node, pipe or socket at the target is refused
// rather than replaced; a symbolic link is followed, so the link stays and its file is replaced.
// An existing file keeps its permissions.
std::expected<void, FileError> WriteFileAtomically(const std::filesystem::path& target,
                                                   ByteView bytes);
std::expected<void, FileError> WriteFileAtomically(const std::filesystem::path& target,
                                                   std::string_view text);

// Whether WriteFileAtomically would refuse the target for what it is (a folder, a device node,
// a pipe or a socket), so that a long job can be turned down before it starts.
std::expected<void, FileError> CheckOutputTarget(const std::filesystem::path& target);

}  // namespace cw::common
