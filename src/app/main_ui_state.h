#pragma once

#include <mutex>

#include "common/front_end.h"

namespace cw::app {

// The main window's lock as state it shows: its file commands greyed and the data flash,
// calibration and SMB access pages disabled while any hold lasts. Holders take it from their
// workers; the listeners hear when it becomes held and when the last hold ends. An unlock
// without a hold changes nothing.
class MainUiState final : public common::MainUiLock {
 public:
  void LockMainUi() override { Count(+1); }
  void UnlockMainUi() override { Count(-1); }
  bool locked() const {
    std::lock_guard lock(mutex_);
    return holds_ > 0;
  }
  common::Observers<bool>& changes() { return changes_; }

 private:
  void Count(int change) {
    bool was = false;
    bool now = false;
    {
      std::lock_guard lock(mutex_);
      was = holds_ > 0;
      if (holds_ + change >= 0) holds_ += change;
      now = holds_ > 0;
    }
    if (was != now) changes_.Notify(now);
  }

  mutable std::mutex mutex_;
  int holds_ = 0;
  common::Observers<bool> changes_;
};

}  // namespace cw::app
