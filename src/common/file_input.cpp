#include "common/file_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

namespace cw::common {
namespace {

FileError ReadError(FileProblem problem, const std::filesystem::path& path, int error = 0) {
  FileError result{problem, FileAccess::kRead, path};
  if (error != 0) result.reason = std::generic_category().message(error);
  return result;
}

// What kind of thing `mode` is, as a refusal; nothing for a regular file.
std::optional<FileProblem> NotARegularFile(mode_t mode) {
  if (S_ISDIR(mode)) return FileProblem::kFolder;
  if (!S_ISREG(mode)) return FileProblem::kNotRegular;
  return std::nullopt;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The regular file at `path` opened for reading, and its size; anything else refused before it
// is read from. The caller closes the descriptor.
std::expected<std::pair<int, std::size_t>, FileError> OpenChecked(
    const std::filesystem::path& path) {
  if (path.empty()) return std::unexpected(ReadError(FileProblem::kNoName, path));
  // Looked at before opening: opening some device nodes already does something.
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0) {
    const int error = errno;
    return std::unexpected(
        ReadError(error == ENOENT ? FileProblem::kMissing : FileProblem::kSystem, path, error));
  }
  if (const auto refusal = NotARegularFile(before.st_mode)) {
    return std::unexpected(ReadError(*refusal, path));
  }
  // Non-blocking, so that a FIFO put in the file's place since the look does not wait for a
  // writer; the second look is at what was opened.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::unexpected(ReadError(FileProblem::kSystem, path, errno));
  struct stat opened {};
  std::optional<FileError> refused;
  if (::fstat(fd, &opened) != 0) {
    refused = ReadError(FileProblem::kSystem, path, errno);
  } else if (const auto refusal = NotARegularFile(opened.st_mode)) {
    refused = ReadError(*refusal, path);
  }
  if (refused) {
    ::close(fd);
    return std::unexpected(*refused);
  }
  return std::pair{fd, static_cast<std::size_t>(opened.st_size)};
}

}  // namespace

std::expected<RegularFile, FileError> OpenRegularFile(const std::filesystem::path& path) {
  const auto opened = OpenChecked(path);
  if (!opened) return std::unexpected(opened.error());
  std::FILE* file = ::fdopen(opened->first, "rb");
  if (file == nullptr) {
    const int error = errno;
    ::close(opened->first);
    return std::unexpected(ReadError(FileProblem::kSystem, path, error));
  }
  return RegularFile{std::unique_ptr<std::FILE, int (*)(std::FILE*)>(file, &std::fclose),
                     opened->second};
}

std::expected<Bytes, FileError> ReadRegularFile(const std::filesystem::path& path,
                                                std::size_t max_size) {
  const auto opened = OpenChecked(path);
  if (!opened) return std::unexpected(opened.error());
  const Descriptor file(opened->first);
  FileError too_large = ReadError(FileProblem::kTooLarge, path);
  too_large.limit = max_size;
  if (opened->second > max_size) return std::unexpected(too_large);

  // The file may still grow while it is read: one byte past the limit is enough to know.
  Bytes bytes(opened->second + 1);
  std::size_t filled = 0;
  while (true) {
    if (filled == bytes.size()) {
      if (bytes.size() > max_size) return std::unexpected(too_large);
      bytes.resize(std::min(bytes.size() * 2, max_size + 1));
    }
    const ssize_t got = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(ReadError(FileProblem::kSystem, path, errno));
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  if (filled > max_size) return std::unexpected(too_large);
  bytes.resize(filled);
  return bytes;
}

}  // namespace cw::common
