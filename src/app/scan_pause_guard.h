#pragma once

#include "common/front_end.h"

namespace cw::app {

// Keeps the scan off the bus for as long as it lives: paused on construction, resumed on every
// way out of the scope.
class ScanPauseGuard {
 public:
  explicit ScanPauseGuard(common::ScanPause& scan) : scan_(scan) { scan_.PauseScan(); }
  ~ScanPauseGuard() { scan_.ResumeScan(); }
  ScanPauseGuard(const ScanPauseGuard&) = delete;
  ScanPauseGuard& operator=(const ScanPauseGuard&) = delete;

 private:
  common::ScanPause& scan_;
};

}  // namespace cw::app
