#pragma once

#include <cstddef>
#include <expected>
#include <filesystem>

#include "common/bytes.h"
#include "common/file_error.h"

namespace cw::common {

// The whole of a regular file of at most `max_size` bytes. A folder, a device node, a pipe or a
// socket is refused before anything is read from it, so that naming /dev/zero or a FIFO can
// neither hang the tool nor fill its memory.
std::expected<Bytes, FileError> ReadRegularFile(const std::filesystem::path& path,
                                                std::size_t max_size);

}  // namespace cw::common
