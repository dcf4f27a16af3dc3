#pragma once

namespace cw::app {

// What a tool window needs from the scan: it pauses between transactions, never while it
// holds the bus.
class ScanControl {
 public:
  virtual ~ScanControl() = default;
  virtual void PauseScan() = 0;
  virtual void ResumeScan() = 0;
};

// The main window greys its file commands and pages around long tool jobs.
class MainUiLock {
 public:
  virtual ~MainUiLock() = default;
  virtual void LockMainUi() = 0;
  virtual void UnlockMainUi() = 0;
};

}  // namespace cw::app
