#include "common/clock.h"

#include <thread>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace cw::common {

Millis SystemClock::Now() const {
  return std::chrono::duration_cast<Millis>(
      std::chrono::steady_clock::now().time_since_epoch());
}

void SystemClock::SleepFor(Millis duration) {
#if defined(__linux__)
  // The kernel may stretch every sleep by the thread's timer slack (50 us by default); the
  // protocol's waits are many and short, so ask for 1 us once per thread.
  thread_local const bool slack_set = prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0) == 0;
  (void)slack_set;
#endif
  if (duration.count() > 0) std::this_thread::sleep_for(duration);
}

Millis ManualClock::Now() const {
  std::lock_guard lock(mutex_);
  return now_;
}

void ManualClock::SleepFor(Millis duration) {
  std::lock_guard lock(mutex_);
  now_ += duration;
  waits_.push_back(duration);
}

void ManualClock::Advance(Millis duration) {
  std::lock_guard lock(mutex_);
  now_ += duration;
}

std::vector<Millis> ManualClock::Waits() const {
  std::lock_guard lock(mutex_);
  return waits_;
}

void ManualClock::ClearWaits() {
  std::lock_guard lock(mutex_);
  waits_.clear();
}

}  // namespace cw::common
