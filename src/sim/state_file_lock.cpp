#include "sim/state_file_lock.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "sim/messages.h"

namespace cw::sim {
namespace {

constexpr common::Millis kRetryInterval{50};

bool IsSameFile(int fd, const std::string& path) {
  struct stat opened {};
  struct stat named {};
  return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// A folder that is missing or takes no new files can take no saved state either.
bool FolderTakesNoFiles(int error) {
  return error == ENOENT || error == ENOTDIR || error == EACCES || error == EROFS;
}

// Never through a link: the holder's id is written into the file.
int OpenLockFile(const std::string& path, bool& writable) {
  writable = true;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd >= 0 || errno != EACCES) return fd;
  // Another user's lock file: it locks as well read-only, it only cannot say who we are.
  writable = false;
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
}

void WriteHolder(int fd) {
  const std::string text = fmt::format("{}\n", ::getpid());
  // A holder that cannot be written only leaves the lock unable to say who holds it.
  if (::ftruncate(fd, 0) != 0) return;
  [[maybe_unused]] const ssize_t written = ::pwrite(fd, text.data(), text.size(), 0);
}

// "1234 (cellwarden-cli)", "1234", or nothing when the lock file does not say.
std::string HolderOf(int fd) {
  std::array<char, 32> text{};
  const ssize_t length = ::pread(fd, text.data(), text.size() - 1, 0);
  if (length <= 0) return {};
  long pid = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + length, pid);
  if (error != std::errc() || pid <= 0) return {};
  std::string name;
  std::getline(std::ifstream(fmt::format("/proc/{}/comm", pid)), name);
  if (name.empty()) return std::to_string(pid);
  return fmt::format("{} ({})", pid, name);
}

std::string InUse(const std::string& state_file, const std::string& holder, common::Millis wait) {
  const double seconds = static_cast<double>(wait.count()) / 1000;
  if (holder.empty()) {
    return fmt::format(
        "The pack state file {} is in use by another process: it was still locked after {:g} s of "
        "waiting. Try again when that process has finished.",
        state_file, seconds);
  }
  return fmt::format(
      "The pack state file {} is in use by process {}: it was still locked after {:g} s of "
      "waiting. Try again when that process has finished.",
      state_file, holder, seconds);
}

}  // namespace

std::expected<StateFileLock, std::string> StateFileLock::Acquire(const std::string& state_file,
                                                                 common::Millis wait,
                                                                 common::Clock& clock) {
  std::error_code status_error;
  const auto status = std::filesystem::status(state_file, status_error);
  if (!status_error && std::filesystem::exists(status) &&
      !std::filesystem::is_regular_file(status)) {
    return StateFileLock();
  }
  const std::string path = state_file + ".lock";
  const common::Millis deadline = clock.Now() + wait;
  for (;;) {
    bool writable = true;
    const int fd = OpenLockFile(path, writable);
    if (fd < 0) {
      const int error = errno;
      if (FolderTakesNoFiles(error)) return StateFileLock();
      return std::unexpected(
          fmt::format(messages::kStateLockFailed, state_file, path, std::strerror(error)));
    }
    const int refused = ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    // The holder before removes the file as it lets go; the lock of a removed file keeps nobody
    // out, so only the file that is there now counts.
    if (refused == 0 && IsSameFile(fd, path)) {
      if (writable) WriteHolder(fd);
      return StateFileLock(fd, path);
    }
    if (refused != 0 && refused != EWOULDBLOCK && refused != EINTR) {
      ::close(fd);
      return std::unexpected(
          fmt::format(messages::kStateLockFailed, state_file, path, std::strerror(refused)));
    }
    if (refused != 0 && clock.Now() >= deadline) {
      const std::string holder = HolderOf(fd);
      ::close(fd);
      return std::unexpected(InUse(state_file, holder, wait));
    }
    ::close(fd);
    if (refused != 0) clock.SleepFor(kRetryInterval);
  }
}

StateFileLock::StateFileLock(StateFileLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

StateFileLock& StateFileLock::operator=(StateFileLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

StateFileLock::~StateFileLock() { Release(); }

void StateFileLock::Release() {
  if (fd_ < 0) return;
  // Removed while still held, so that whoever opened it meanwhile sees it gone and starts again.
  if (IsSameFile(fd_, path_)) ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

}  // namespace cw::sim
