#include "monitor/pause_gate.h"

namespace cw::monitor {

bool PauseGate::BeforeTransaction() {
  std::unique_lock lock(mutex_);
  in_transaction_ = false;
  if (pauses_ > 0) {
    parked_ = true;
    changed_.notify_all();
    changed_.wait(lock, stop_, [this] { return pauses_ == 0; });
    parked_ = false;
  }
  if (stop_.stop_requested()) return false;
  in_transaction_ = true;
  return true;
}

void PauseGate::AfterTransaction() {
  std::lock_guard lock(mutex_);
  in_transaction_ = false;
  changed_.notify_all();
}

void PauseGate::WakeForStop() {
  std::lock_guard lock(mutex_);
  changed_.notify_all();
}

void PauseGate::Pause() {
  std::unique_lock lock(mutex_);
  ++pauses_;
  changed_.wait(lock, [this] { return !in_transaction_; });
}

void PauseGate::Resume() {
  std::lock_guard lock(mutex_);
  if (pauses_ > 0) --pauses_;
  changed_.notify_all();
}

bool PauseGate::paused() const {
  std::lock_guard lock(mutex_);
  return pauses_ > 0;
}

bool PauseGate::parked() const {
  std::lock_guard lock(mutex_);
  return parked_;
}

}  // namespace cw::monitor
