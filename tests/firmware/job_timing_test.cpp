// Elapsed and remaining time of a firmware job, on a clock the test moves.
#include "firmware/job_timing.h"

#include <gtest/gtest.h>

namespace cw::firmware {
namespace {

using common::Millis;

TEST(JobTiming, EstimatesFromThePaceSinceTheJobLastBeganAgain) {
  common::ManualClock clock;
  JobTiming timing(clock);
  EXPECT_FALSE(timing.started());
  EXPECT_EQ(timing.Elapsed(), Millis{0});

  // Each step: time passes, then the window reports `done`; what the labels say afterwards.
  struct Step {
    int advance_ms;
    int done;
    std::optional<int> remaining_ms;
  };
  const Step steps[] = {
      {400, 0, std::nullopt},  // the handshake: no progress yet
      {100, 5, std::nullopt},  // too little time to tell a pace
      {500, 10, 9000},         // 10 steps in 1 s: 90 left take 9 s
      {500, 10, 8500},         // nothing new: the time since the last report counts down
      {1000, 25, 7500},        // 25 steps in 2.5 s
      {300, 0, std::nullopt},  // a restart from the handshake: the pace is measured anew
      {2000, 50, 2000},        // 50 steps in 2 s since the restart
      {5000, 50, 0},           // slower than it was: never below nothing
  };
  timing.Start();
  int elapsed = 0;
  for (const Step& step : steps) {
    clock.Advance(Millis{step.advance_ms});
    elapsed += step.advance_ms;
    timing.Progress(step.done, 100);
    EXPECT_EQ(timing.Elapsed(), Millis{elapsed}) << step.done;
    const auto remaining = timing.Remaining();
    EXPECT_EQ(remaining.has_value(), step.remaining_ms.has_value()) << elapsed;
    if (remaining && step.remaining_ms) {
      EXPECT_EQ(remaining->count(), *step.remaining_ms) << elapsed;
    }
  }

  timing.Stop();
  clock.Advance(Millis{7000});
  EXPECT_FALSE(timing.running());
  EXPECT_EQ(timing.Elapsed(), Millis{elapsed}) << "stopped: the time stands";
  EXPECT_FALSE(timing.Remaining());
  timing.Progress(60, 100);
  EXPECT_EQ(timing.Elapsed(), Millis{elapsed}) << "a late report changes nothing";

  timing.Start();
  EXPECT_EQ(timing.Elapsed(), Millis{0}) << "the next job counts from its own start";
}

TEST(JobTiming, DurationTextRoundsToTheSecond) {
  const std::pair<int, std::string> cases[] = {
      {0, "0:00"},      {499, "0:00"},        {500, "0:01"},          {59'499, "0:59"},
      {61'000, "1:01"}, {3'599'000, "59:59"}, {3'600'000, "1:00:00"}, {36'061'000, "10:01:01"},
      {-5000, "0:00"},
  };
  for (const auto& [ms, text] : cases) EXPECT_EQ(DurationText(Millis{ms}), text) << ms;
}

}  // namespace
}  // namespace cw::firmware
