// Elapsed and remaining time of a firmware job: the estimator on a clock the test moves, then
// whole jobs on the simulated pack.
#include "firmware/job_timing.h"

#include <gtest/gtest.h>

#include "tool_fixture.h"

namespace cw::firmware {
namespace {

using common::Millis;

TEST(JobTiming, EstimatesEachKindOfStepAtItsOwnPace) {
  common::ManualClock clock;
  JobTiming timing(clock);
  EXPECT_FALSE(timing.Times().started);
  EXPECT_EQ(timing.Times().elapsed, Millis{0});

  // A job as an update has it: a handshake, sector erases, records, more erases and records, and
  // the wait for the firmware. Expected paces are what the plan says; the job really takes a
  // handshake of 400 ms, erases of 50 ms, records of 15 ms and the final 600 ms.
  enum { kHandshake, kErase, kRecord, kFinish };
  timing.Start({{kHandshake, 1, Millis{100}},
                {kErase, 60, Millis{30}},
                {kRecord, 1000, Millis{10}},
                {kErase, 4, Millis{30}},
                {kRecord, 1000, Millis{10}},
                {kFinish, 1, Millis{600}}});
  EXPECT_EQ(timing.total(), 2066);
  // Each step: time passes, then the job reports `done`; what the estimate is afterwards.
  struct Step {
    int advance_ms;
    int done;
    std::optional<int> remaining_ms;
  };
  const Step steps[] = {
      {400, 1, std::nullopt},  // the handshake: too little timed to tell a pace
      {1000, 21, 22800},       // 20 erases of 50: 44 left, records still as expected
      {2000, 61, 20800},       // every erase of the first run
      {7500, 561, 23300},      // 500 records of 15: from here on the truth
      {7850, 1075, 15450},     // one report over records, the second erases and more records
      {300, 1075, 15150},      // nothing new: the time since the last report counts down
      {200, 0, 34200},         // a restart from the handshake: what was timed still counts
      {400, 1, 33800},         // handshakes now take 400 on average
      {90000, 1, 0},           // stuck: never below nothing
  };
  int elapsed = 0;
  for (const Step& step : steps) {
    clock.Advance(Millis{step.advance_ms});
    elapsed += step.advance_ms;
    timing.Progress(step.done);
    const JobTimes times = timing.Times();
    EXPECT_TRUE(times.running);
    EXPECT_EQ(times.elapsed, Millis{elapsed}) << step.done;
    EXPECT_EQ(times.remaining.has_value(), step.remaining_ms.has_value()) << elapsed;
    if (times.remaining && step.remaining_ms) {
      EXPECT_EQ(times.remaining->count(), *step.remaining_ms) << elapsed;
    }
  }

  timing.Stop();
  clock.Advance(Millis{7000});
  timing.Progress(60);
  EXPECT_EQ(timing.Times(), (JobTimes{true, false, Millis{elapsed}, std::nullopt}))
      << "stopped: the time stands and a late report changes nothing";

  timing.Start({{kRecord, 10, Millis{10}}});
  EXPECT_EQ(timing.Times(), (JobTimes{true, true, Millis{0}, std::nullopt}))
      << "the next job counts from its own start";
}

// A user who takes half a minute to answer each message box.
class SlowReader final : public common::MessageSink {
 public:
  explicit SlowReader(common::ManualClock& clock) : clock_(clock) {}
  void Show(std::string_view, common::MessageIcon) override {
    if (!first_shown_) first_shown_ = clock_.Now();
    clock_.Advance(Millis{30'000});
  }
  std::optional<Millis> first_shown() const { return first_shown_; }

 private:
  common::ManualClock& clock_;
  std::optional<Millis> first_shown_;
};

TEST(JobTiming, HalfWayEstimateOfAJobOnTheSimulatedPackAndTookEndsWithTheWork) {
  struct Case {
    const char* name;
    test::Adapters adapters;
    bool update;
  };
  const Case cases[] = {
      {"update, HID", test::Adapters::kHid, true},
      {"update, bulk", test::Adapters::kBulk, true},
      {"export, HID", test::Adapters::kHid, false},
  };
  const auto path = TempPath("image.bin");
  ASSERT_TRUE(WriteWholeFile(path, common::ByteView(RandomImage(5))));
  for (const Case& c : cases) {
    LinkFixture fx(c.adapters);
    SlowReader reader(fx.clock);
    CountingHost host;
    FirmwareTool tool(*fx.link, reader, host.scan, host.main_ui, common::ProductConstants{});
    const auto view = [&] {
      return c.update ? static_cast<JobView>(tool.update().View())
                      : static_cast<JobView>(tool.export_job().View());
    };
    // When the job began (its first report), and at the first report from half-way on the time
    // then and the estimate.
    std::optional<Millis> begun;
    std::optional<std::pair<Millis, Millis>> half_way;
    const common::Subscription watch = tool.changes().Subscribe([&](FirmwareJob) {
      const JobView now = view();
      if (!begun && now.busy) begun = fx.clock.Now();
      if (!half_way && now.busy && now.bar >= 50 && now.times.remaining) {
        half_way = {now.times.elapsed, *now.times.remaining};
      }
    });
    if (c.update) {
      ASSERT_TRUE(tool.Load(path)) << c.name;
      ASSERT_TRUE(tool.update().Start()) << c.name;
    } else {
      tool.export_job().Set(TempPath("export.bin"));
      ASSERT_TRUE(tool.export_job().Export()) << c.name;
    }
    tool.WaitUntilIdle();
    const JobView end = view();
    ASSERT_TRUE(end.outcome && end.outcome->done()) << c.name;
    ASSERT_TRUE(begun && half_way && reader.first_shown()) << c.name;
    EXPECT_EQ(end.times.elapsed, *reader.first_shown() - *begun)
        << c.name << ": the work ended when its message was shown, not when it was answered";
    EXPECT_FALSE(end.times.running) << c.name;
    const double truth = static_cast<double>((end.times.elapsed - half_way->first).count());
    const double estimate = static_cast<double>(half_way->second.count());
    EXPECT_NEAR(estimate, truth, 0.15 * truth)
        << c.name << ": half-way at " << half_way->first.count() << " ms of "
        << end.times.elapsed.count() << " ms";
  }
  std::filesystem::remove(path);
  std::filesystem::remove(TempPath("export.bin"));
}

}  // namespace
}  // namespace cw::firmware
