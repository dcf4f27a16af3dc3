#pragma once

#include <ctime>

#include "common/clock.h"

namespace cw::monitor {

// Calendar time for the data log's time stamps; tests fix it.
class LocalTime {
 public:
  virtual ~LocalTime() = default;
  virtual std::tm Now() const = 0;
};

class SystemLocalTime final : public LocalTime {
 public:
  std::tm Now() const override;
};

// The calendar time of the moment it was made, moved on by the product's clock: a pack on the
// virtual clock logs the hours it lived through, not the seconds they took.
class ClockLocalTime final : public LocalTime {
 public:
  explicit ClockLocalTime(const common::Clock& clock);
  std::tm Now() const override;

 private:
  const common::Clock& clock_;
  std::time_t calendar_start_;
  common::Millis clock_start_;
};

class FixedLocalTime final : public LocalTime {
 public:
  explicit FixedLocalTime(const std::tm& time) : time_(time) {}
  std::tm Now() const override { return time_; }
  void Set(const std::tm& time) { time_ = time; }

 private:
  std::tm time_;
};

}  // namespace cw::monitor
