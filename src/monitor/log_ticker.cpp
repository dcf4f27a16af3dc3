#include "monitor/log_ticker.h"

namespace cw::monitor {

void LogTicker::Start(common::Millis now, int interval_seconds) {
  interval_ = common::Millis{1000LL * interval_seconds};
  due_ = now + interval_;
  running_ = true;
}

bool LogTicker::Due(common::Millis now) {
  if (!running_ || now < due_) return false;
  due_ += interval_;
  if (due_ <= now) due_ = now + interval_;
  return true;
}

}  // namespace cw::monitor
