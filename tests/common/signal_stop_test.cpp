// Ctrl-C and SIGTERM for the command line: a stop request once a command honours it, the default
// end before that. Each case runs in a child process, so the test's own dispositions stay as
// they are.
#include "common/signal_stop.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace cw::common {
namespace {

// Waits for `done`, at most long enough for any loaded machine; false when it never came.
bool WaitFor(const std::function<bool()>& done) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::yield();
  }
  return true;
}

struct Case {
  std::string name;
  bool honour;
  std::vector<int> signals;
  // Child exit status, or the signal that ended it.
  int exit_status;
  int killed_by;
};

// Sends the case's signals one by one and ends with the status the command line would give, or
// with a code of its own (10 and up) saying which step never came.
int RunChild(const Case& c) {
  SignalStop stop;
  std::atomic<int> repeats{0};
  if (c.honour) stop.Honour([&repeats] { ++repeats; });
  std::atomic<bool> stopped{false};
  const std::stop_callback on_stop(stop.token(), [&stopped] { stopped = true; });
  for (std::size_t i = 0; i < c.signals.size(); ++i) {
    ::kill(::getpid(), c.signals[i]);
    // One at a time: two signals of a kind pending at once would merge into one.
    const bool seen =
        WaitFor([&] { return i == 0 ? stopped.load() : repeats.load() == static_cast<int>(i); });
    if (!seen) return 10 + static_cast<int>(i);
  }
  if (stop.signal() != c.signals.front()) return 20;
  return stop.ExitStatusOr(0);
}

TEST(SignalStop, HonouredSignalsStopTheWorkAndOthersEndTheProcess) {
  const Case cases[] = {
      {"Ctrl-C, honoured", true, {SIGINT}, 130, 0},
      {"SIGTERM, honoured", true, {SIGTERM}, 143, 0},
      {"SIGHUP (the terminal closed), honoured", true, {SIGHUP}, 129, 0},
      // The second tells the user the step is being finished; the first one's status stays.
      {"Ctrl-C twice, then SIGTERM", true, {SIGINT, SIGINT, SIGTERM}, 130, 0},
      {"Ctrl-C before any command honours it", false, {SIGINT}, -1, SIGINT},
      {"SIGTERM before any command honours it", false, {SIGTERM}, -1, SIGTERM},
  };
  for (const Case& c : cases) {
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) ::_exit(RunChild(c));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child) << c.name;
    if (c.killed_by != 0) {
      ASSERT_TRUE(WIFSIGNALED(status)) << c.name;
      EXPECT_EQ(WTERMSIG(status), c.killed_by) << c.name;
    } else {
      ASSERT_TRUE(WIFEXITED(status)) << c.name;
      EXPECT_EQ(WEXITSTATUS(status), c.exit_status) << c.name;
    }
  }
}

}  // namespace
}  // namespace cw::common
