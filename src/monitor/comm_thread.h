#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "common/clock.h"
#include "monitor/pause_gate.h"
#include "monitor/scan_engine.h"

namespace cw::monitor {

// The scan worker: runs scan passes back to back for as long as it lives and, after a pass,
// the static-data refresh when one was requested. It asks for a refresh itself every 10 s of
// clock time (the page's timer 3). Pausing takes effect between transactions; destroying the
// worker stops it after the transaction in progress and joins it.
class CCommThread {
 public:
  static constexpr common::Millis kStaticRefreshPeriod{10000};

  // Starts at once; `engine` must outlive the worker.
  explicit CCommThread(ScanEngine& engine);
  ~CCommThread();
  CCommThread(const CCommThread&) = delete;
  CCommThread& operator=(const CCommThread&) = delete;

  // For tools that need the adapter to themselves: returns once the worker is between
  // transactions, with the bus lock released; it then starts none until Resume.
  void Pause();
  void Resume();
  bool paused() const { return gate_.paused(); }
  // Completed passes (any end), for front ends that show a pass count.
  long passes() const { return passes_; }

 private:
  void Run(std::stop_token stop);

  ScanEngine& engine_;
  common::Clock& clock_;
  std::stop_source stop_source_;
  PauseGate gate_;
  std::atomic<long> passes_{0};
  std::jthread thread_;  // last: starts once everything above exists
};

}  // namespace cw::monitor
