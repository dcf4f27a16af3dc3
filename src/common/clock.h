#pragma once

#include <chrono>
#include <mutex>
#include <vector>

namespace cw::common {

using Millis = std::chrono::milliseconds;

// Every wait of the product goes through a Clock, so tests and the virtual-time simulated pack
// can run the protocol's fixed waits without sleeping.
class Clock {
 public:
  virtual ~Clock() = default;
  // Time since an arbitrary, fixed origin; only differences are meaningful.
  virtual Millis Now() const = 0;
  virtual void SleepFor(Millis duration) = 0;
};

// Steady wall-clock time; SleepFor really sleeps.
class SystemClock final : public Clock {
 public:
  Millis Now() const override;
  void SleepFor(Millis duration) override;
};

// Returns from every wait at once, advances its own time by the wait and records it, so a test
// can assert "4 waits of 100 ms" instead of sleeping. Also serves as the virtual clock of the
// simulated pack (device string `clock=virtual`). Thread-safe.
class ManualClock final : public Clock {
 public:
  Millis Now() const override;
  void SleepFor(Millis duration) override;

  // Moves time forward without recording a wait (time spent elsewhere, e.g. by the pack).
  void Advance(Millis duration);
  std::vector<Millis> Waits() const;
  void ClearWaits();

 private:
  mutable std::mutex mutex_;
  Millis now_{0};
  std::vector<Millis> waits_;
};

}  // namespace cw::common
