#include "monitor/local_time.h"

#include <chrono>

namespace cw::monitor {
namespace {

std::tm Local(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  return local;
}

}  // namespace

std::tm SystemLocalTime::Now() const { return Local(std::time(nullptr)); }

ClockLocalTime::ClockLocalTime(const common::Clock& clock)
    : clock_(clock), calendar_start_(std::time(nullptr)), clock_start_(clock.Now()) {}

std::tm ClockLocalTime::Now() const {
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(clock_.Now() - clock_start_);
  return Local(calendar_start_ + static_cast<std::time_t>(elapsed.count()));
}

}  // namespace cw::monitor
