#pragma once

#include <condition_variable>
#include <mutex>
#include <stop_token>

#include "monitor/transaction_gate.h"

namespace cw::monitor {

// Lets other threads stop the scan worker at a transaction boundary. The worker passes the gate
// before each transaction and marks the end of each one; Pause returns only once the worker is
// outside a transaction (so it holds no bus lock) and it will start no other until Resume.
// Pauses nest: the worker goes on after as many Resume calls as Pause calls.
class PauseGate final : public TransactionGate {
 public:
  explicit PauseGate(std::stop_token stop) : stop_(std::move(stop)) {}

  // Worker side.
  bool BeforeTransaction() override;
  void AfterTransaction() override;
  // Wakes a parked worker so that it sees a stop request.
  void WakeForStop();

  // Other threads.
  void Pause();
  void Resume();
  bool paused() const;
  // Whether the worker is waiting at the gate right now.
  bool parked() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  std::stop_token stop_;
  int pauses_ = 0;
  bool in_transaction_ = false;
  bool parked_ = false;
};

}  // namespace cw::monitor
