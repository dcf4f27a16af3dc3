// The update on the caller's thread, as the command line and a station run it: where a stop
// lands and what it says the pack is left in, the progress it reports, and what a failure says.
#include "firmware/gauge_update.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_fixture.h"

namespace cw::firmware {
namespace {

// One update on `fx`'s link with every step it reported; `on_step` sees each step first.
struct HeadlessUpdate {
  HeadlessUpdate(LinkFixture& fx, const common::Bytes& image, std::stop_token stop,
                 const std::function<void(const UpdateStep&)>& on_step = {})
      : result(UpdateGauge(*fx.link, image, common::ProductConstants{}, stop,
                           [&](const UpdateStep& step) {
                             if (on_step) on_step(step);
                             kinds.push_back(step.kind);
                             bar.Take(step);
                             percents.push_back(bar.percent);
                             status = step.status;
                           })) {}
  std::vector<UpdateStep::Kind> kinds;
  std::vector<int> percents;
  UpdateBar bar;
  std::string status;
  common::Expected<UpdateDone> result;
};

TEST(GaugeUpdate, AStopLandsAtARecordBoundaryAndSaysWhatThePackIsLeftIn) {
  struct Case {
    std::string name;
    std::optional<UpdateStep::Kind> stop_at;  // nothing: stopped before the call
    int stop_after_records;
    std::string note;
    sim::BootMode mode;
    int records_in_gauge;
  };
  const Case cases[] = {
      {"before the start", std::nullopt, 0, std::string(messages::kUpdateStoppedBeforeStart),
       sim::BootMode::kNormal, 0},
      {"after the handshake", UpdateStep::Kind::kHandshake, 0,
       std::string(messages::kUpdateStoppedNoRecord), sim::BootMode::kUpdate, 0},
      {"after 7 records", UpdateStep::Kind::kRecord, 7,
       fmt::format(fmt::runtime(messages::kUpdateStoppedPartly), 7, 2843), sim::BootMode::kUpdate,
       7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LinkFixture fx;
    std::stop_source stop;
    if (!c.stop_at) stop.request_stop();
    const HeadlessUpdate run(fx, RandomImage(11), stop.get_token(), [&](const UpdateStep& step) {
      if (step.kind == c.stop_at && step.sent == c.stop_after_records) stop.request_stop();
    });
    ASSERT_FALSE(run.result);
    EXPECT_EQ(run.result.error(), (common::Error{common::ErrorKind::kStopped, c.note}));
    // Not one record after the stop, and none cut in half.
    const sim::GaugeState state = fx.pack->gauge().State();
    EXPECT_EQ(state.boot.mode, c.mode);
    if (c.mode == sim::BootMode::kUpdate) {
      EXPECT_EQ(state.boot.next_sequence, c.records_in_gauge);
      EXPECT_EQ(state.boot.status & 0xFE00, 0);
      EXPECT_EQ(run.bar.counter, fmt::format("{}/2843", c.records_in_gauge));
    }
    EXPECT_TRUE(fx.messages.Texts().empty());
  }
}

TEST(GaugeUpdate, ADoneUpdateReportsEveryRecordUpToAFullBar) {
  LinkFixture fx;
  const HeadlessUpdate run(fx, RandomImage(12), {});
  ASSERT_TRUE(run.result) << run.result.error().message;
  EXPECT_EQ(run.result->note, "");
  ASSERT_EQ(run.kinds.size(), 2843u + 2);
  EXPECT_EQ(run.kinds.front(), UpdateStep::Kind::kHandshake);
  EXPECT_EQ(run.kinds.back(), UpdateStep::Kind::kDone);
  EXPECT_TRUE(std::ranges::is_sorted(run.percents));
  EXPECT_EQ(run.percents.front(), 0);
  EXPECT_EQ(run.bar.percent, 100);
  EXPECT_EQ(run.bar.counter, "2843/2843");
  EXPECT_EQ(fx.pack->gauge().State().boot.mode, sim::BootMode::kNormal);
}

TEST(GaugeUpdate, AnImageTheBootLoaderWouldStopAtIsRefusedBeforeAnythingIsSent) {
  LinkFixture fx;
  fx.TakeSent();
  common::Bytes image = RandomImage(13);
  image[5 * kRecordSize + 31] ^= 0x01;
  const HeadlessUpdate run(fx, image, {});
  ASSERT_FALSE(run.result);
  EXPECT_EQ(run.result.error(),
            (common::Error{common::ErrorKind::kRefused,
                           fmt::format(fmt::runtime(messages::kRecordBadSum), 5)}));
  EXPECT_TRUE(fx.TakeSent().empty());
  EXPECT_TRUE(run.kinds.empty());
}

TEST(GaugeUpdate, FailuresSayHowFarTheUpdateGotAndWhatIsUnknown) {
  struct Case {
    std::string name;
    std::set<int> spoilt;
    bool refuse_flash_reads;
    std::string status;
    common::Error error;
  };
  const Case cases[] = {
      // The first pass wrote 5 records; the later ones got no further than 1.
      {"restarts that got less far",
       {6, 8, 10},
       false,
       "Error: 2180 (PEC error)",
       {common::ErrorKind::kBootLoader,
        fmt::format(fmt::runtime(messages::kStatePartlyWritten), 5, 2843)}},
      // Every record went in; only reading the last one back failed.
      {"last record not read back",
       {},
       true,
       std::string(messages::kStatusLastRecordUnread),
       {common::ErrorKind::kFailed, std::string(messages::kStateLastRecordUnread)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LinkFixture fx;
    NoisyBus bus(fx.pack->gauge());
    bus.spoilt = c.spoilt;
    bus.refuse_flash_reads = c.refuse_flash_reads;
    fx.pack->ReplaceTarget(&bus);
    const HeadlessUpdate run(fx, RandomImage(6), {});
    fx.pack->ReplaceTarget(nullptr);
    ASSERT_FALSE(run.result);
    EXPECT_EQ(run.result.error(), c.error);
    EXPECT_EQ(run.kinds.back(), UpdateStep::Kind::kFailure);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.bar.percent, 100);
  }
}

}  // namespace
}  // namespace cw::firmware
