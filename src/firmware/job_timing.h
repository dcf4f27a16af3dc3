#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"

namespace cw::firmware {

// A run of steps of one kind in a job's plan: the handshake, a run of sector erases, a run of
// records, the wait for the firmware to start. `expected` is what one step of the kind takes
// before the job has timed any.
struct JobPhase {
  int kind = 0;
  int steps = 0;
  common::Millis expected{0};
};

// What a front end shows of a job's time, taken at one moment.
struct JobTimes {
  bool started = false;  // false before the first run
  bool running = false;
  common::Millis elapsed{0};
  // Once the pace is known; nothing after the end.
  std::optional<common::Millis> remaining;
  bool operator==(const JobTimes&) const = default;
};

// How long a firmware job has run and how long it will still take. The job says at Start which
// steps it will take, in order, and reports how many are done. Each kind of step is timed on its
// own (a sector erase takes several times a record), so the estimate is what the steps left take
// at the pace their kind showed so far, or as expected for a kind not yet timed (the firmware's
// start after the last record). There is none until kMinimumBasis of steps has been timed. A step
// back means the job began again from there: what was timed still counts.
class JobTiming {
 public:
  static constexpr common::Millis kMinimumBasis{1000};
  // A kind's own pace replaces the expected one once this many of its steps have been timed.
  static constexpr int kMinimumTimedSteps = 1;

  explicit JobTiming(const common::Clock& clock) : clock_(clock) {}

  // The job starts now with these steps.
  void Start(std::vector<JobPhase> plan);
  // `done` steps of the plan are behind the job.
  void Progress(int done);
  // The work ended: the elapsed time stops and nothing remains.
  void Stop();

  JobTimes Times() const;
  // The steps of the plan.
  int total() const { return total_; }

 private:
  struct KindPace {
    common::Millis expected{0};
    common::Millis timed{0};
    int steps = 0;
    common::Millis Step() const;
  };

  // The kind of step `step` (0-based) of the plan.
  std::size_t KindOf(int step) const;
  common::Millis Left() const;

  const common::Clock& clock_;
  std::vector<JobPhase> plan_;
  std::vector<KindPace> kinds_;
  int total_ = 0;
  std::optional<common::Millis> started_;
  common::Millis stopped_{0};
  bool running_ = false;
  common::Millis timed_{0};  // over every kind
  common::Millis latest_at_{0};
  int done_ = 0;
};

// "m:ss", or "h:mm:ss" from an hour on, to the nearest second.
std::string DurationText(common::Millis duration);

}  // namespace cw::firmware
