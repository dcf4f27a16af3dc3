#pragma once

#include <ctime>

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

class FixedLocalTime final : public LocalTime {
 public:
  explicit FixedLocalTime(const std::tm& time) : time_(time) {}
  std::tm Now() const override { return time_; }
  void Set(const std::tm& time) { time_ = time; }

 private:
  std::tm time_;
};

}  // namespace cw::monitor
