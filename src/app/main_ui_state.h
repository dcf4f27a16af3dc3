#pragma once

#include <atomic>

#include "common/front_end.h"

namespace cw::app {

// LockMainUi / UnlockMainUi as state the main window shows: its file commands greyed and the
// data flash, calibration and SMB access pages disabled while locked. Tool jobs call it from
// their workers; the listeners hear every change with the new state.
class MainUiState final : public common::MainUiLock {
 public:
  void LockMainUi() override { Set(true); }
  void UnlockMainUi() override { Set(false); }
  bool locked() const { return locked_; }
  common::Observers<bool>& changes() { return changes_; }

 private:
  void Set(bool locked) {
    if (locked_.exchange(locked) != locked) changes_.Notify(locked);
  }

  std::atomic<bool> locked_{false};
  common::Observers<bool> changes_;
};

}  // namespace cw::app
