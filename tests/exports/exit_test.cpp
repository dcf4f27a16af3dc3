// Exiting while a thread is inside the library: the library's state must outlive every call,
// whatever the order of exit. Each run is a process of its own (exit_during_transfer).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace cw::exports {
namespace {

struct ProgramRun {
  bool hung = false;
  int status = 0;  // as waitpid gives it
  std::string output;
};

// Runs the program with stdout and stderr in `output`; a run still going after `limit` is
// killed and counted as hung.
ProgramRun RunProgram(const std::string& mode, int delay_us, const std::filesystem::path& output,
                      std::chrono::seconds limit) {
  ProgramRun run;
  const std::string delay = std::to_string(delay_us);
  const pid_t child = fork();
  if (child == 0) {
    const int file = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(file, STDOUT_FILENO);
    ::dup2(file, STDERR_FILENO);
    ::execl(EXIT_DURING_TRANSFER, EXIT_DURING_TRANSFER, mode.c_str(), delay.c_str(), nullptr);
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (::waitpid(child, &run.status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      run.hung = true;
      ::kill(child, SIGKILL);
      ::waitpid(child, &run.status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::stringstream text;
  text << std::ifstream(output).rdbuf();
  run.output = text.str();
  return run;
}

TEST(CwpipesExit, AThreadInsideTheLibraryWhileTheProcessExitsMeetsNoTornDownState) {
  const auto scratch =
      std::filesystem::temp_directory_path() / ("cwpipes_exit_" + std::to_string(::getpid()));
  std::filesystem::create_directories(scratch);
  // The simulated pack on the system clock, and no cellwarden.ini of the user's.
  ASSERT_EQ(setenv("CWPIPES_DEVICE", "sim", 1), 0);
  ASSERT_EQ(setenv("XDG_CONFIG_HOME", scratch.c_str(), 1), 0);
  constexpr int kRuns = 50;
  for (int i = 0; i < kRuns; ++i) {
    const std::string mode = i % 2 == 0 ? "blocked" : "busy";
    // Leave at different points of the thread's work.
    const int delay_us = (i / 2) * 200;
    SCOPED_TRACE(mode + " " + std::to_string(delay_us) + " us");
    // Far beyond any run's time; the blocked BulkOut alone would wait 60 s.
    const ProgramRun run = RunProgram(mode, delay_us, scratch / "output", std::chrono::seconds(30));
    ASSERT_FALSE(run.hung) << run.output;
    ASSERT_TRUE(WIFEXITED(run.status)) << "signal " << WTERMSIG(run.status) << "\n" << run.output;
    ASSERT_EQ(WEXITSTATUS(run.status), 0) << run.output;
    ASSERT_EQ(run.output, "");
  }
  std::filesystem::remove_all(scratch);
}

}  // namespace
}  // namespace cw::exports
