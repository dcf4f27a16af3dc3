#pragma once

#include <optional>
#include <string>

#include "common/clock.h"

namespace cw::firmware {

// How long a firmware job has run and how long it will still take, from the progress its window
// shows. The estimate applies the pace seen since the job last began again from nothing (an
// update that restarts from the handshake starts its bar anew) to the steps left; there is none
// until that pace rests on kMinimumBasis of time and at least one step.
class JobTiming {
 public:
  static constexpr common::Millis kMinimumBasis{1000};

  explicit JobTiming(const common::Clock& clock) : clock_(clock) {}

  // The job starts now.
  void Start();
  // `done` of `total` steps now; a step back means the job began again.
  void Progress(int done, int total);
  // The job ended: its elapsed time stops and nothing remains.
  void Stop();

  bool running() const { return running_; }
  // Nothing before the first Start.
  bool started() const { return started_.has_value(); }
  common::Millis Elapsed() const;
  std::optional<common::Millis> Remaining() const;

 private:
  struct Mark {
    common::Millis at{0};
    int done = 0;
  };

  const common::Clock& clock_;
  std::optional<common::Millis> started_;
  common::Millis stopped_{0};
  bool running_ = false;
  Mark basis_;
  Mark latest_;
  int total_ = 0;
};

// "m:ss", or "h:mm:ss" from an hour on, to the nearest second.
std::string DurationText(common::Millis duration);

}  // namespace cw::firmware
