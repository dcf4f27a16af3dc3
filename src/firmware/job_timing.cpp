#include "firmware/job_timing.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace cw::firmware {

common::Millis JobTiming::KindPace::Step() const {
  return steps >= kMinimumTimedSteps ? timed / steps : expected;
}

void JobTiming::Start(std::vector<JobPhase> plan) {
  plan_ = std::move(plan);
  kinds_.clear();
  total_ = 0;
  for (const JobPhase& phase : plan_) {
    const auto kind = static_cast<std::size_t>(phase.kind);
    if (kind >= kinds_.size()) kinds_.resize(kind + 1);
    // The first phase of a kind says what its steps are expected to take.
    if (kinds_[kind].expected == common::Millis{0}) kinds_[kind].expected = phase.expected;
    total_ += phase.steps;
  }
  const common::Millis now = clock_.Now();
  started_ = now;
  running_ = true;
  timed_ = common::Millis{0};
  latest_at_ = now;
  done_ = 0;
}

std::size_t JobTiming::KindOf(int step) const {
  for (const JobPhase& phase : plan_) {
    if (step < phase.steps) return static_cast<std::size_t>(phase.kind);
    step -= phase.steps;
  }
  return plan_.empty() ? 0 : static_cast<std::size_t>(plan_.back().kind);
}

void JobTiming::Progress(int done) {
  if (!running_) return;
  done = std::clamp(done, 0, total_);
  // A report that moves nothing would only make the step under way look slower than it is.
  if (done == done_) return;
  const common::Millis now = clock_.Now();
  if (done > done_) {
    // The time since the last report went into the steps done since; where they are of several
    // kinds, it is shared as their paces so far say.
    const common::Millis span = now - latest_at_;
    std::vector<std::pair<std::size_t, common::Millis>> shares;
    common::Millis weight{0};
    for (int step = done_; step < done; ++step) {
      const std::size_t kind = KindOf(step);
      shares.emplace_back(kind, kinds_[kind].Step());
      weight += shares.back().second;
    }
    for (const auto& [kind, pace] : shares) {
      kinds_[kind].timed += weight > common::Millis{0} ? span * pace.count() / weight.count()
                                                       : span / std::ssize(shares);
      ++kinds_[kind].steps;
    }
    timed_ += span;
  }
  latest_at_ = now;
  done_ = done;
}

void JobTiming::Stop() {
  if (!running_) return;
  running_ = false;
  stopped_ = clock_.Now();
}

common::Millis JobTiming::Left() const {
  common::Millis left{0};
  int first = 0;
  for (const JobPhase& phase : plan_) {
    const int from = std::max(first, done_);
    const int to = first + phase.steps;
    if (to > from) left += kinds_[static_cast<std::size_t>(phase.kind)].Step() * (to - from);
    first = to;
  }
  return left;
}

JobTimes JobTiming::Times() const {
  JobTimes times;
  if (!started_) return times;
  times.started = true;
  times.running = running_;
  const common::Millis now = clock_.Now();
  times.elapsed = (running_ ? now : stopped_) - *started_;
  if (running_ && timed_ >= kMinimumBasis) {
    times.remaining = std::max(Left() - (now - latest_at_), common::Millis{0});
  }
  return times;
}

std::string DurationText(common::Millis duration) {
  const auto seconds = (std::max(duration, common::Millis{0}).count() + 500) / 1000;
  if (seconds < 3600) return fmt::format("{}:{:02}", seconds / 60, seconds % 60);
  return fmt::format("{}:{:02}:{:02}", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

}  // namespace cw::firmware
