// Where the command line's held messages go: results to stdout, warnings and errors to stderr.
#include "cli/console.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace cw::cli {
namespace {

namespace fs = std::filesystem;

// Sends this process's stdout and stderr into two files for as long as it lives.
class CapturedStreams {
 public:
  CapturedStreams() {
    for (int i = 0; i < 2; ++i) {
      paths_[i] = fs::temp_directory_path() /
                  ("cw-console-" + std::to_string(::getpid()) + "-" + std::to_string(i));
      const int file = ::open(paths_[i].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      std::fflush(i == 0 ? stdout : stderr);
      saved_[i] = ::dup(kFds[i]);
      ::dup2(file, kFds[i]);
      ::close(file);
    }
  }
  ~CapturedStreams() { Restore(); }
  // Ends the capture and gives {stdout, stderr}.
  std::pair<std::string, std::string> Take() {
    Restore();
    return {Read(paths_[0]), Read(paths_[1])};
  }

 private:
  static constexpr int kFds[2] = {STDOUT_FILENO, STDERR_FILENO};
  void Restore() {
    if (saved_[0] < 0) return;
    for (int i = 0; i < 2; ++i) {
      std::fflush(i == 0 ? stdout : stderr);
      ::dup2(saved_[i], kFds[i]);
      ::close(saved_[i]);
      saved_[i] = -1;
    }
  }
  static std::string Read(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    fs::remove(path);
    return text.str();
  }
  fs::path paths_[2];
  int saved_[2] = {-1, -1};
};

TEST(StderrMessageSinkTest, HeldNoticesAreTheResultOfASuccessAndWarningsStayOnStderr) {
  using common::MessageIcon;
  struct Case {
    bool succeeded;
    const char* out;
    const char* err;
  };
  for (const Case c : {Case{true, "Update Successfully!\n", "keys kept\nnote\n"},
                       Case{false, "", "Update Successfully!\nkeys kept\nnote\n"}}) {
    StderrMessageSink sink;
    CapturedStreams captured;
    sink.Hold();
    sink.Show("Update Successfully!", MessageIcon::kInformation);
    sink.Show("keys kept", MessageIcon::kWarning);
    sink.Show("note", MessageIcon::kError);
    sink.Release(c.succeeded);
    const auto [out, err] = captured.Take();
    EXPECT_EQ(out, c.out) << "succeeded " << c.succeeded;
    EXPECT_EQ(err, c.err) << "succeeded " << c.succeeded;
  }
}

}  // namespace
}  // namespace cw::cli
