// Attempts, waits, the bus lock and LinkStatus across failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <latch>
#include <thread>

#include "link/messages.h"
#include "support/link_fixture.h"

namespace cw::test {
namespace {

using common::Bytes;
using common::Millis;
using link::LinkStatus;

long CountWaits(const std::vector<Millis>& waits, Millis length) {
  return std::count(waits.begin(), waits.end(), length);
}

class AttemptsTest : public ::testing::TestWithParam<Adapters> {
 protected:
  void SetUp() override {
    fx = std::make_unique<LinkFixture>(GetParam());
    ASSERT_TRUE(fx->link->EnsureConnected());
    fx->pack->ReplaceTarget(&target);
    fx->TakeWaits();
  }
  void TearDown() override { fx->pack->ReplaceTarget(nullptr); }

  ScriptedTarget target;
  std::unique_ptr<LinkFixture> fx;
};

TEST_P(AttemptsTest, GaugeThatNacksEveryReadGetsFiveAttemptsFourWaitsAndStatus2) {
  std::uint16_t value = 0xBEEF;
  EXPECT_FALSE(fx->link->ReadWord(0x09, value));
  EXPECT_EQ(value, 0);
  EXPECT_EQ(target.reads, 5);
  EXPECT_EQ(CountWaits(fx->TakeWaits(), Millis{100}), 4);
  EXPECT_EQ(fx->link->link_status(), LinkStatus::kNotResponding);
}

TEST_P(AttemptsTest, RowFormReadFailureStoresMinusOne) {
  link::RegisterRow row{.command = 0x0D, .raw_value = 55};
  EXPECT_FALSE(fx->link->ReadWord(row));
  EXPECT_EQ(row.raw_value, -1);
}

TEST_P(AttemptsTest, GaugeThatNacksEveryWriteGetsFiveAttempts) {
  target.on_write = [](common::ByteView) { return false; };
  EXPECT_FALSE(fx->link->WriteWord(0x00, 0x0041));
  EXPECT_EQ(target.writes.size(), 5u);
  EXPECT_EQ(CountWaits(fx->TakeWaits(), Millis{100}), 4);
  EXPECT_EQ(fx->link->link_status(), LinkStatus::kNotResponding);
}

// The status says how a transaction ended: attempts refused before one that succeeds never show
// the gauge as not responding (the status bar reads it at any moment).
TEST_P(AttemptsTest, SuccessOnTheThirdAttemptIsSuccess) {
  int reads = 0;
  std::vector<LinkStatus> seen;
  target.on_read = [&](std::uint8_t command, std::size_t count) -> std::optional<Bytes> {
    seen.push_back(fx->link->link_status());
    if (++reads < 3) return std::nullopt;
    return WordReply(command, 0x1234, count);
  };
  std::uint16_t value = 0;
  EXPECT_TRUE(fx->link->ReadWord(0x09, value));
  EXPECT_EQ(value, 0x1234);
  EXPECT_EQ(CountWaits(fx->TakeWaits(), Millis{100}), 2);
  EXPECT_EQ(fx->link->link_status(), LinkStatus::kConnected);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_NE(seen.front(), LinkStatus::kNotResponding);
  EXPECT_EQ(seen, std::vector<LinkStatus>(3, seen.front())) << "no attempt changed the status";
}

TEST_P(AttemptsTest, FirstKeyWordNeedingTheFifthAttemptSkipsTheSecond) {
  int writes = 0;
  target.on_write = [&](common::ByteView) { return ++writes >= 5; };
  const Bytes first = {0x00, 0xD4, 0x61};
  const Bytes second = {0x00, 0x9E, 0x3B};
  EXPECT_FALSE(fx->link->WriteBytesTwice(first, second));
  EXPECT_EQ(target.writes.size(), 5u) << "the second word must not be sent";
}

TEST_P(AttemptsTest, FirstKeyWordWithinFourAttemptsIsFollowedByTheSecond) {
  int writes = 0;
  target.on_write = [&](common::ByteView) { return ++writes >= 4; };
  const Bytes first = {0x00, 0xD4, 0x61};
  const Bytes second = {0x00, 0x9E, 0x3B};
  EXPECT_TRUE(fx->link->WriteBytesTwice(first, second));
  ASSERT_EQ(target.writes.size(), 5u);
  EXPECT_EQ(target.writes.back()[2], 0x9E);
}

TEST_P(AttemptsTest, RefusedManufacturerBlockWriteEndsOnHidAndRetriesOnBulk) {
  target.on_write = [](common::ByteView) { return false; };
  Bytes reply;
  EXPECT_FALSE(fx->link->ReadManufacturerBlock(0x54, 2, reply));
  EXPECT_EQ(fx->link->link_status(), LinkStatus::kNotResponding);
  if (GetParam() == Adapters::kHid) {
    EXPECT_EQ(target.writes.size(), 1u);
  } else {
    // A refused bulk write retries at once, without the 100 ms wait.
    EXPECT_EQ(target.writes.size(), 5u);
    EXPECT_EQ(CountWaits(fx->TakeWaits(), Millis{100}), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(BothAdapters, AttemptsTest,
                         ::testing::Values(Adapters::kHid, Adapters::kBulk));

TEST(BusLockTest, TransactionGivesUpSilentlyWhenTheLockStaysBusy) {
  LinkFixture fx;
  std::uint16_t value = 0;
  ASSERT_TRUE(fx.link->ReadWord(0x09, value));
  fx.TakeEvents();
  std::latch held(1);
  std::thread holder([&] {
    ASSERT_TRUE(fx.lock.Acquire());
    held.count_down();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    fx.lock.Release();
  });
  held.wait();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(fx.link->ReadWord(0x09, value));
  const auto waited = std::chrono::steady_clock::now() - start;
  holder.join();
  EXPECT_GE(waited, std::chrono::milliseconds(490));
  EXPECT_LT(waited, std::chrono::milliseconds(600));
  EXPECT_TRUE(fx.TakeEvents().empty());
  EXPECT_EQ(fx.link->link_status(), LinkStatus::kConnected);
  EXPECT_TRUE(fx.messages.Texts().empty());
}

TEST(BusLockTest, OwnerMayTakeTheLockAgain) {
  LinkFixture fx;
  ASSERT_TRUE(fx.lock.Acquire());
  std::uint16_t value = 0;
  EXPECT_TRUE(fx.link->ReadWord(0x09, value));
  EXPECT_TRUE(fx.lock.Release());
  EXPECT_FALSE(fx.lock.Release()) << "released once per take";
}

TEST(BusLockTest, NameCarriesTheTickCountAsClockText) {
  // 3723 ms since boot, read as 3723 s since 1970: 01:02:03 UTC.
  const std::string name = link::BusLockName(3723);
  ASSERT_TRUE(name.starts_with("MutexToProtectRWAccess"));
  const std::string clock = name.substr(std::string("MutexToProtectRWAccess").size());
  ASSERT_EQ(clock.size(), 8u);
  EXPECT_EQ(clock[2], ':');
  EXPECT_EQ(clock.substr(3), "02:03");  // minutes and seconds do not depend on the time zone
}

TEST(UnplugTest, NextAttemptReopensAfterTheAdapterCameBack) {
  LinkFixture fx;
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.pack->Unplug();
  fx.pack->Plug();
  fx.TakeWaits();
  std::uint16_t value = 0;
  EXPECT_TRUE(fx.link->ReadWord(0x09, value));
  const auto waits = fx.TakeWaits();
  EXPECT_EQ(CountWaits(waits, Millis{10}), 10) << "ten tries of the set on the stale handle";
  EXPECT_EQ(CountWaits(waits, Millis{100}), 1);
  EXPECT_EQ(fx.link->link_status(), LinkStatus::kConnected);
}

TEST(UnplugTest, LoopEndsWithStatus1WhenTheReopenFails) {
  LinkFixture fx;
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.pack->Unplug();
  std::uint16_t value = 0;
  EXPECT_FALSE(fx.link->ReadWord(0x09, value));
  EXPECT_EQ(fx.link->link_status(), LinkStatus::kNoAdapter);
  EXPECT_FALSE(fx.link->connection().connected());
  EXPECT_TRUE(fx.messages.Texts().empty()) << "word transactions show no message";
}

// Exchange failures end the transactions that must not repeat a write they cannot see.
TEST(UnplugTest, FailedExchangeEndsBlockWritesButIsRetriedByWordReads) {
  LinkFixture fx;
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.pack->Unplug();
  fx.pack->Plug();
  const Bytes data = {1, 2, 3};
  EXPECT_FALSE(fx.link->WriteBlock(0x2F, data));
  fx.pack->Unplug();
  fx.pack->Plug();
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.pack->Unplug();
  fx.pack->Plug();
  std::uint16_t value = 0;
  EXPECT_TRUE(fx.link->ReadWord(0x09, value));
}

TEST(NoAdapterTest, EveryTransactionFailsWithStatus1AndNoMessage) {
  sim::SimOptions options = OptionsFor(Adapters::kHid);
  options.hid_adapters.clear();
  LinkFixture fx(std::move(options));
  std::uint16_t value = 0;
  EXPECT_FALSE(fx.link->ReadWord(0x09, value));
  EXPECT_EQ(fx.link->link_status(), LinkStatus::kNoAdapter);
  EXPECT_TRUE(fx.TakeWaits().empty()) << "no retry when no adapter opens";
  EXPECT_TRUE(fx.messages.Texts().empty());
}

}  // namespace
}  // namespace cw::test
