// The seam to the front ends: observer lists and the outcome of an operation.
#include "common/front_end.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

#include "support/recording_sinks.h"

namespace cw::common {
namespace {

TEST(ObserversTest, EveryListenerHearsEachChangeUntilItsSubscriptionEnds) {
  Observers<int> changes;
  std::vector<int> first, second;
  Subscription a = changes.Subscribe([&](int value) { first.push_back(value); });
  {
    const Subscription b = changes.Subscribe([&](int value) { second.push_back(value); });
    changes.Notify(1);
    EXPECT_EQ(changes.size(), 2u);
  }
  changes.Notify(2);
  a.Reset();
  changes.Notify(3);
  EXPECT_EQ(first, (std::vector<int>{1, 2}));
  EXPECT_EQ(second, (std::vector<int>{1}));
  EXPECT_EQ(changes.size(), 0u);
}

TEST(ObserversTest, ASubscriptionMayOutliveItsListAndMoveAround) {
  Subscription kept;
  int heard = 0;
  {
    Observers<> changes;
    Subscription first = changes.Subscribe([&] { ++heard; });
    kept = std::move(first);
    first.Reset();  // moved from: ends nothing
    changes.Notify();
  }
  kept.Reset();  // the list is gone: nothing to do, nothing to crash on
  EXPECT_EQ(heard, 1);
}

TEST(ObserversTest, AListenerMayEndItsOwnSubscriptionWhileBeingCalled) {
  Observers<> changes;
  int heard = 0;
  Subscription self;
  self = changes.Subscribe([&] {
    ++heard;
    self.Reset();
  });
  changes.Notify();
  changes.Notify();
  EXPECT_EQ(heard, 1);
}

TEST(ObserversTest, EndingASubscriptionWaitsForTheCallInProgressOnAnotherThread) {
  Observers<> changes;
  std::latch inside(1);
  std::atomic<bool> release{false};
  std::atomic<bool> returned{false};
  Subscription subscription = changes.Subscribe([&] {
    inside.count_down();
    while (!release) std::this_thread::yield();
    returned = true;
  });
  std::jthread worker([&] { changes.Notify(); });
  inside.wait();
  std::jthread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    release = true;
  });
  subscription.Reset();
  EXPECT_TRUE(returned) << "Reset returned while the listener still ran";
}

TEST(OutcomeBuilderTest, ShowsWhatItCollectedOnlyWhenTheOperationFinishes) {
  test::RecordingMessageSink sink;
  Outcome outcome;
  {
    OutcomeBuilder builder(sink);
    builder.Show("first");
    builder.Show("second", MessageIcon::kError);
    EXPECT_TRUE(sink.Messages().empty()) << "nothing reaches the user while locks may be held";
    builder.GaugeChanged();
    outcome = builder.Failed();
  }
  const std::vector<ShownMessage> expected = {{"first", MessageIcon::kInformation},
                                              {"second", MessageIcon::kError}};
  EXPECT_EQ(sink.Messages(), expected) << "each shown once, in order";
  EXPECT_EQ(outcome.messages, expected);
  EXPECT_EQ(outcome.verdict, Verdict::kFailed);
  EXPECT_TRUE(outcome.gauge_changed);
  EXPECT_FALSE(outcome);
  EXPECT_TRUE(outcome.Showed("second"));
}

TEST(OutcomeBuilderTest, AnInnerOutcomeIsShownOnceAndJoinsTheOuterOne) {
  test::RecordingMessageSink sink;
  Outcome outcome;
  {
    OutcomeBuilder outer(sink);
    outer.Show("before");
    Outcome inner;
    {
      OutcomeBuilder builder(sink);
      builder.Show("inner");
      builder.GaugeChanged();
      inner = builder.Done();
    }
    outer.Absorb(inner);
    outer.Show("after");
    outcome = outer.Done();
  }
  // The inner operation ended first, so its message reached the user before "before".
  EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"inner", "before", "after"}));
  ASSERT_EQ(outcome.messages.size(), 3u);
  EXPECT_EQ(outcome.messages[1].text, "inner");
  EXPECT_TRUE(outcome.gauge_changed);
}

TEST(OutcomeBuilderTest, ReturningWithoutFinishStillShowsTheMessages) {
  test::RecordingMessageSink sink;
  { OutcomeBuilder(sink).Show("said"); }
  EXPECT_EQ(sink.Texts(), std::vector<std::string>{"said"});
}

}  // namespace
}  // namespace cw::common
