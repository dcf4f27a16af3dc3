#pragma once

#include <cstddef>
#include <cstdio>
#include <expected>
#include <filesystem>
#include <memory>

#include "common/bytes.h"
#include "common/file_error.h"

namespace cw::common {

// The whole of a regular file of at most `max_size` bytes. A folder, a device node, a pipe or a
// socket is refused before anything is read from it, so that naming /dev/zero or a FIFO can
// neither hang the tool nor fill its memory.
std::expected<Bytes, FileError> ReadRegularFile(const std::filesystem::path& path,
                                                std::size_t max_size);

// A regular file open for reading, for a reader that goes through a large file piece by piece;
// `size` is its size when it was opened. Refused as ReadRegularFile refuses.
struct RegularFile {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file;
  std::size_t size = 0;
};
std::expected<RegularFile, FileError> OpenRegularFile(const std::filesystem::path& path);

}  // namespace cw::common
