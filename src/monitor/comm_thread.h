#pragma once

#include <atomic>
#include <stop_token>

#include "common/clock.h"
#include "common/front_end.h"
#include "common/job_worker.h"
#include "monitor/pause_gate.h"
#include "monitor/scan_engine.h"

namespace cw::monitor {

// The scan worker: runs scan passes back to back for as long as it lives and, after a pass,
// the static-data refresh when one was requested. It asks for a refresh itself every 10 s of
// clock time (the SBS page's static-data timer). The loop is one long job on a worker of its own,
// so it stops the way every background job does: a stop request takes effect between two
// transactions, `ended()` announces the end, and destroying the worker stops and joins it.
// Pausing also takes effect between transactions.
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

  // Asks the loop to end after the transaction in progress (a paused loop ends at once);
  // returns at once. The scan does not start again.
  void RequestStop();
  // Blocks until the loop has ended; for front ends without an event loop, after RequestStop.
  void WaitUntilStopped();
  bool stopped() const { return worker_.idle(); }
  // Announced once, on the worker's thread, when the loop has ended.
  common::Observers<>& ended() { return ended_; }

 private:
  void Run(std::stop_token stop);

  ScanEngine& engine_;
  common::Clock& clock_;
  // The gate waits on this token; the job's stop request is passed on to it.
  std::stop_source stop_source_;
  PauseGate gate_;
  std::atomic<long> passes_{0};
  common::Observers<> ended_;
  common::JobWorker worker_;  // last: its thread starts once everything above exists
};

}  // namespace cw::monitor
