#include "cli/output.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/command_context.h"

namespace cw::cli {
namespace {

bool stdout_closed_at_start = false;
// errno of the first result that could not be written; 0 while every result went out.
std::atomic<int> results_error{0};

// 0 when all of `data` reached `fd`, else the reason it did not.
int WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

// The write functions report every byte as taken: stdio then never sees a failure, and fmt
// never throws. The stdio stream lock serialises the calls of one stream.
ssize_t WriteResults(void*, const char* data, std::size_t size) {
  if (results_error.load() == 0) {
    const int error = stdout_closed_at_start ? EBADF : WriteAll(STDOUT_FILENO, data, size);
    if (error != 0) results_error.store(error);
  }
  return static_cast<ssize_t>(size);
}

ssize_t WriteMessages(void*, const char* data, std::size_t size) {
  WriteAll(STDERR_FILENO, data, size);
  return static_cast<ssize_t>(size);
}

FILE* OpenStream(cookie_write_function_t* write, int buffering) {
  cookie_io_functions_t functions{};
  functions.write = write;
  FILE* stream = ::fopencookie(nullptr, "w", functions);
  if (stream != nullptr) std::setvbuf(stream, nullptr, buffering, BUFSIZ);
  return stream;
}

}  // namespace

void GuardStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (held > fd) {
      ::dup2(held, fd);
      ::close(held);
    }
    if (fd == STDOUT_FILENO) stdout_closed_at_start = true;
  }
  std::signal(SIGPIPE, SIG_IGN);
  // A terminal sees each result line as it is written, as it would with the C library's own
  // stdout; stderr is unbuffered, so a message is out before the next step starts.
  if (FILE* results = OpenStream(WriteResults, ::isatty(STDOUT_FILENO) == 1 ? _IOLBF : _IOFBF)) {
    stdout = results;
  }
  if (FILE* messages = OpenStream(WriteMessages, _IONBF)) stderr = messages;
}

bool ResultsLost() { return results_error.load() != 0; }

int FinishOutput(int exit_code) {
  std::fflush(stdout);
  const int error = results_error.load();
  if (error == 0) return exit_code;
  fmt::print(stderr, "{}\n",
             fmt::format("the results could not be written to stdout: {}", std::strerror(error)));
  return exit_code == kExitSuccess ? kExitFailed : exit_code;
}

}  // namespace cw::cli
