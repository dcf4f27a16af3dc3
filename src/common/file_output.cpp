#include "common/file_output.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <utility>

namespace cw::common {
namespace {

constexpr int kTemporaryNameTries = 16;
// Of the target's name in the temporary one: enough to tell whose it is, short enough to fit.
constexpr std::size_t kNameKept = 64;

class WriteAttempt {
 public:
  explicit WriteAttempt(const std::filesystem::path& target) : target_(target) {}
  ~WriteAttempt() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
  }
  WriteAttempt(const WriteAttempt&) = delete;
  WriteAttempt& operator=(const WriteAttempt&) = delete;

  std::expected<void, FileError> Run(ByteView bytes) {
    if (target_.empty()) return Fail(FileProblem::kNoName);
    if (auto checked = CheckTarget(); !checked) return checked;
    if (auto created = CreateTemporary(); !created) return created;
    for (std::size_t written = 0; written < bytes.size();) {
      const ssize_t count = ::write(fd_, bytes.data() + written, bytes.size() - written);
      if (count < 0) {
        if (errno == EINTR) continue;
        return FailErrno();
      }
      written += static_cast<std::size_t>(count);
    }
    if (::fsync(fd_) != 0) return FailErrno();
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) return FailErrno();
    // Looked at again: something may have been put at the target while the file was written.
    if (auto checked = CheckTarget(); !checked) return checked;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) return FailErrno();
    temporary_.clear();
    SyncFolder();
    return {};
  }

  // Refuses what is at the target when it is not a regular file; notes the mode of one that is.
  std::expected<void, FileError> CheckTarget() {
    struct stat status {};
    if (::stat(target_.c_str(), &status) != 0) {
      if (errno == ENOENT) return {};
      return FailErrno();
    }
    if (S_ISDIR(status.st_mode)) return Fail(FileProblem::kFolder);
    if (!S_ISREG(status.st_mode)) return Fail(FileProblem::kNotRegular);
    existing_mode_ = status.st_mode & 07777;
    return {};
  }

 private:
  std::unexpected<FileError> Fail(FileProblem problem, int error = 0) {
    FileError result{problem, FileAccess::kWrite, target_};
    if (error != 0) result.reason = std::generic_category().message(error);
    result.existing_file_kept = existing_mode_.has_value();
    return std::unexpected(result);
  }
  std::unexpected<FileError> FailErrno() { return Fail(FileProblem::kSystem, errno); }

  // Created with O_EXCL under a random name, so that no file of the user's is ever taken for
  // the temporary one; the mode 0666 lets the umask decide as for any new file.
  std::expected<void, FileError> CreateTemporary() {
    const std::filesystem::path folder =
        target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
    std::random_device random;
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
      const std::filesystem::path candidate =
          folder / fmt::format(".{}.{:08x}.part", target_.filename().string().substr(0, kNameKept),
                               random());
      fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
      if (fd_ >= 0) {
        temporary_ = candidate;
        if (existing_mode_) ::fchmod(fd_, *existing_mode_);
        return {};
      }
      if (errno != EEXIST) return FailErrno();
    }
    return FailErrno();
  }

  // The rename itself reaches the disk with the folder; a failure here loses nothing the
  // rename did not already make visible, so it is not an error.
  void SyncFolder() const {
    const std::filesystem::path folder =
        target_.has_parent_path() ? target_.parent_path() : std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
  }

  std::filesystem::path target_;
  std::optional<mode_t> existing_mode_;
  std::filesystem::path temporary_;
  int fd_ = -1;
};

// A symbolic link at the target is kept: its file is the one replaced.
std::filesystem::path Resolved(const std::filesystem::path& target) {
  std::error_code error;
  if (!std::filesystem::is_symlink(target, error)) return target;
  const auto resolved = std::filesystem::weakly_canonical(target, error);
  return error ? target : resolved;
}

}  // namespace

std::expected<void, FileError> WriteFileAtomically(const std::filesystem::path& target,
                                                   ByteView bytes) {
  auto result = WriteAttempt(Resolved(target)).Run(bytes);
  // The user named `target`; the message names it too.
  if (!result) result.error().path = target;
  return result;
}

std::expected<void, FileError> CheckOutputTarget(const std::filesystem::path& target) {
  auto result = WriteAttempt(Resolved(target)).CheckTarget();
  if (!result) result.error().path = target;
  return result;
}

std::expected<void, FileError> WriteFileAtomically(const std::filesystem::path& target,
                                                   std::string_view text) {
  return WriteFileAtomically(
      target, ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace cw::common
