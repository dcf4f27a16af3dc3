#pragma once

#include "common/clock.h"

namespace cw::bench {

// The system clock, counting every wait the protocol asked for: a benchmark divides the time
// it measured by this to see what the host adds.
class MandatedWaitClock final : public common::Clock {
 public:
  common::Millis Now() const override { return inner_.Now(); }
  void SleepFor(common::Millis duration) override {
    mandated_ += duration;
    inner_.SleepFor(duration);
  }
  common::Millis mandated() const { return mandated_; }
  void Reset() { mandated_ = common::Millis{0}; }

 private:
  common::SystemClock inner_;
  common::Millis mandated_{0};
};

}  // namespace cw::bench
