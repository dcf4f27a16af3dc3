#pragma once

#include "common/clock.h"

namespace cw::monitor {

// When the data log's next line is due, on the workbench's clock: the front end polls it from
// its own timer, so a log on the virtual clock runs at virtual speed like everything else.
class LogTicker {
 public:
  void Start(common::Millis now, int interval_seconds);
  void Stop() { running_ = false; }
  bool running() const { return running_; }
  // True once per interval. Ticks missed while the program could not poll (a suspended laptop)
  // are not made up in a burst of identical lines; the next one is an interval from now.
  bool Due(common::Millis now);

 private:
  bool running_ = false;
  common::Millis interval_{0};
  common::Millis due_{0};
};

}  // namespace cw::monitor
