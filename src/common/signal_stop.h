#pragma once

#include <atomic>
#include <csignal>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

namespace cw::common {

// Ctrl-C (SIGINT), SIGTERM and SIGHUP for a front end without an event loop. Until a command says it
// honours a stop, a signal ends the process at once, as it always has. From Honour on, the first
// signal asks the work in progress to stop through token() (the long jobs stop at their next safe
// point: between two records, two pages, two transactions, never inside a flash write) and the
// process carries on to its own end; every further signal only calls `on_repeat`, so the user
// hears that the current step is being finished.
//
// The signals are blocked in the constructing thread and taken by a watcher thread of its own, so
// whatever a stop runs (stop callbacks, the repeat notice) runs on an ordinary thread, never in a
// signal handler. Construct it before any other thread starts: threads inherit the blocked set.
class SignalStop {
 public:
  SignalStop();
  ~SignalStop();
  SignalStop(const SignalStop&) = delete;
  SignalStop& operator=(const SignalStop&) = delete;

  // From now on a signal requests a stop instead of ending the process. `on_repeat` runs on the
  // watcher thread for every signal after the first; it must not block.
  void Honour(std::function<void()> on_repeat = {});
  std::stop_token token() const { return source_.get_token(); }
  // The first signal that requested a stop, 0 while none has.
  int signal() const { return signal_; }
  // The exit status a shell gives a process ended by that signal (130 for SIGINT, 143 for
  // SIGTERM, 129 for SIGHUP); `otherwise` when none arrived.
  int ExitStatusOr(int otherwise) const { return signal_ != 0 ? 128 + signal_ : otherwise; }

 private:
  void Watch();

  std::stop_source source_;
  std::atomic<int> signal_{0};
  std::mutex mutex_;
  bool honoured_ = false;
  bool closing_ = false;
  std::function<void()> on_repeat_;
  sigset_t blocked_{};
  sigset_t previous_{};
  std::thread watcher_;  // last: starts once everything above exists
};

}  // namespace cw::common
