#include "firmware/job_timing.h"

#include <fmt/format.h>

#include <algorithm>

namespace cw::firmware {

void JobTiming::Start() {
  const common::Millis now = clock_.Now();
  started_ = now;
  running_ = true;
  basis_ = {now, 0};
  latest_ = basis_;
  total_ = 0;
}

void JobTiming::Progress(int done, int total) {
  if (!running_) return;
  const common::Millis now = clock_.Now();
  if (done < latest_.done) basis_ = {now, done};
  // A report that moves nothing would only make the last step look slower than it is.
  if (done != latest_.done || total != total_) latest_ = {now, done};
  total_ = total;
}

void JobTiming::Stop() {
  if (!running_) return;
  running_ = false;
  stopped_ = clock_.Now();
}

common::Millis JobTiming::Elapsed() const {
  if (!started_) return common::Millis{0};
  return (running_ ? clock_.Now() : stopped_) - *started_;
}

std::optional<common::Millis> JobTiming::Remaining() const {
  if (!running_) return std::nullopt;
  const int steps = latest_.done - basis_.done;
  const common::Millis span = latest_.at - basis_.at;
  if (steps <= 0 || span < kMinimumBasis) return std::nullopt;
  const auto left = span * std::max(total_ - latest_.done, 0) / steps;
  const common::Millis since_latest = clock_.Now() - latest_.at;
  return std::max(left - since_latest, common::Millis{0});
}

std::string DurationText(common::Millis duration) {
  const auto seconds = (std::max(duration, common::Millis{0}).count() + 500) / 1000;
  if (seconds < 3600) return fmt::format("{}:{:02}", seconds / 60, seconds % 60);
  return fmt::format("{}:{:02}:{:02}", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

}  // namespace cw::firmware
