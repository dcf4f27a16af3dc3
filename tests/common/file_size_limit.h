#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstddef>

namespace cw::test {

// A full disk, as far as this process can tell: while it lives, a write past `bytes` in any
// file fails with EFBIG instead of going through (the signal the kernel would send is ignored).
// Each test runs in a process of its own, so the limit reaches no other test.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::size_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = static_cast<rlim_t>(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_handler_)(int) = nullptr;
};

}  // namespace cw::test
