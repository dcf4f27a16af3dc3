#include "common/signal_stop.h"

#include <pthread.h>

#include <cstdlib>

namespace cw::common {
namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  // A closed terminal or ssh session: the work must still stop at a safe point and save.
  sigaddset(&set, SIGHUP);
  return set;
}

// The default action of `signal`, taken on this thread: the process ends as if nothing had
// caught the signal, so the shell sees it killed by that signal.
[[noreturn]] void EndByDefaultAction(int signal) {
  std::signal(signal, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signal);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  std::raise(signal);
  // Only reached when the signal's action was changed behind our back.
  std::_Exit(128 + signal);
}

}  // namespace

SignalStop::SignalStop() : blocked_(StopSignals()) {
  pthread_sigmask(SIG_BLOCK, &blocked_, &previous_);
  watcher_ = std::thread([this] { Watch(); });
}

SignalStop::~SignalStop() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  // Wakes the watcher; it sees closing_ and leaves without acting on this signal.
  pthread_kill(watcher_.native_handle(), SIGTERM);
  watcher_.join();
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void SignalStop::Honour(std::function<void()> on_repeat) {
  std::lock_guard lock(mutex_);
  honoured_ = true;
  on_repeat_ = std::move(on_repeat);
}

void SignalStop::Watch() {
  while (true) {
    int received = 0;
    if (sigwait(&blocked_, &received) != 0) continue;
    std::function<void()> on_repeat;
    {
      std::lock_guard lock(mutex_);
      if (closing_) return;
      if (!honoured_) EndByDefaultAction(received);
      on_repeat = on_repeat_;
    }
    int expected = 0;
    if (signal_.compare_exchange_strong(expected, received)) {
      // Stop callbacks run here, on this thread; they may take the locks of the jobs they stop.
      source_.request_stop();
    } else if (on_repeat) {
      on_repeat();
    }
  }
}

}  // namespace cw::common
