#include "monitor/comm_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "monitor/monitor_session.h"
#include "monitor_fixture.h"

namespace cw::test {
namespace {

using namespace std::chrono_literals;

// Waits (really) until `done` holds, at most a few seconds.
template <typename F>
bool Eventually(F done) {
  for (int i = 0; i < 500; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return done();
}

TEST(CCommThread, ScansAndRefreshesStaticDataOnceAtStartThenEveryTenSeconds) {
  ScanFixture scan;
  scan.gauge.SetWord(0x09, 15200);
  scan.gauge.SetWord(0x19, 14400);
  scan.Select({"Voltage"});
  {
    monitor::CCommThread worker(scan.engine);
    ASSERT_TRUE(Eventually([&] { return scan.gauge.WordReads(0x19) >= 2; }));
  }
  EXPECT_EQ(scan.Row("Voltage").value_text, "15200");
  EXPECT_EQ(scan.Row("Design Voltage").value_text, "14400");
  // One refresh at start, then one per 10 s of clock time (the stop may fall between a timer
  // tick and its refresh).
  const auto tens = static_cast<int>(scan.fixture.clock.Now() / common::Millis{10000});
  const int refreshes = scan.gauge.WordReads(0x19);
  EXPECT_GE(refreshes, tens);
  EXPECT_LE(refreshes, tens + 1);
}

// A gauge that holds its reply to one word read until the test lets it go, so that a pause
// can be requested while the worker is inside a transaction with the bus lock held.
struct HeldRead {
  std::mutex mutex;
  std::condition_variable changed;
  bool holding = false;
  bool release = false;
};

TEST(CCommThread, PauseDuringATransactionWaitsForItAndLeavesTheBusFree) {
  ScanFixture scan;
  scan.gauge.SetWord(0x09, 15200);
  scan.gauge.SetWord(0x0A, 100);
  scan.Select({"Voltage", "Current"});
  HeldRead held;
  auto gauge_read = scan.target.on_read;
  scan.target.on_read = [&](std::uint8_t command, std::size_t count) {
    if (command == 0x0A) {
      std::unique_lock lock(held.mutex);
      if (!held.release) {
        held.holding = true;
        held.changed.notify_all();
        held.changed.wait(lock, [&] { return held.release; });
      }
    }
    return gauge_read(command, count);
  };

  monitor::CCommThread worker(scan.engine);
  {
    std::unique_lock lock(held.mutex);
    ASSERT_TRUE(held.changed.wait_for(lock, 5s, [&] { return held.holding; }));
  }
  std::atomic<bool> paused{false};
  std::thread pauser([&] {
    worker.Pause();
    paused = true;
  });
  ASSERT_TRUE(Eventually([&] { return worker.paused(); }));
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(paused) << "Pause returned while the worker was inside a transaction";
  {
    std::lock_guard lock(held.mutex);
    held.release = true;
  }
  held.changed.notify_all();
  pauser.join();
  ASSERT_TRUE(paused);

  // The worker holds no bus lock now and starts nothing until resumed.
  ASSERT_TRUE(scan.fixture.lock.Acquire());
  ASSERT_TRUE(scan.fixture.lock.Release());
  const int reads = scan.target.reads;
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(scan.target.reads, reads);

  worker.Resume();
  EXPECT_TRUE(Eventually([&] { return scan.target.reads > reads; }));
}

TEST(CCommThread, DestroyingAPausedWorkerEndsIt) {
  ScanFixture scan;
  scan.gauge.SetWord(0x09, 15200);
  scan.Select({"Voltage"});
  auto worker = std::make_unique<monitor::CCommThread>(scan.engine);
  ASSERT_TRUE(Eventually([&] { return scan.gauge.WordReads(0x09) > 0; }));
  worker->Pause();
  worker->Pause();
  worker->Resume();
  const int reads = scan.target.reads;
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(scan.target.reads, reads) << "pauses nest";
  worker.reset();  // must not hang
  SUCCEED();
}

TEST(CCommThread, AStopRequestEndsTheScanBetweenTransactionsAndIsAnnounced) {
  ScanFixture scan;
  scan.gauge.SetWord(0x09, 15200);
  scan.Select({"Voltage"});
  monitor::CCommThread worker(scan.engine);
  std::atomic<int> ended{0};
  const common::Subscription watch = worker.ended().Subscribe([&] { ++ended; });
  ASSERT_TRUE(Eventually([&] { return scan.gauge.WordReads(0x09) > 0; }));
  EXPECT_FALSE(worker.stopped());
  worker.RequestStop();
  worker.WaitUntilStopped();
  EXPECT_TRUE(worker.stopped());
  EXPECT_EQ(ended, 1);
  const int reads = scan.target.reads;
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(scan.target.reads, reads) << "no bus traffic after the stop";
  ASSERT_TRUE(scan.fixture.lock.Acquire()) << "the stop left the bus lock free";
  ASSERT_TRUE(scan.fixture.lock.Release());
}

TEST(CCommThread, IdleWorkerWaitsInSteps) {
  ScanFixture scan;
  scan.Select({});
  scan.engine.ClearStaticRefreshRequest();
  scan.fixture.TakeWaits();
  {
    monitor::CCommThread worker(scan.engine);
    ASSERT_TRUE(Eventually([&] { return worker.passes() >= 3; }));
    worker.Pause();
  }
  const auto waits = scan.fixture.TakeWaits();
  ASSERT_GE(waits.size(), 3u);
  EXPECT_EQ(waits[0], common::Millis{700});
  EXPECT_EQ(waits[1], common::Millis{700});
  EXPECT_TRUE(scan.progress.Take(common::TaskKind::kSbsScan).empty());
}

}  // namespace
}  // namespace cw::test

namespace cw::test {
namespace {

TEST(MonitorSession, StartedSessionScansIntoThePageAndStopsWhenDestroyed) {
  ScanFixture scan;
  scan.gauge.SetBlock(0x54, common::Bytes{0x00, 0x40});
  scan.gauge.SetWord(0x19, 14400);
  test::RecordingMessageSink messages;
  monitor::FixedLocalTime time{std::tm{}};
  auto session = std::make_unique<monitor::MonitorSession>(*scan.fixture.link, scan.progress,
                                                           messages, scan.calibration_busy, time);
  session->engine().WithTable([](monitor::RegisterTable& table) { table.SetAllScan(true); });
  session->Start();
  const auto selected = session->engine().WithTable(
      [](monitor::RegisterTable& table) { return table.FindRow("Voltage")->scan; });
  EXPECT_FALSE(selected) << "page start clears every selection";
  const auto index = *monitor::SbsSession::DisplayIndex("Operation Status");
  session->sbs().ToggleScan(*session->engine().WithTable(
      [](monitor::RegisterTable& table) { return table.Find("Operation Status"); }));
  ASSERT_TRUE(Eventually([&] { return session->sbs().View().displays[index] == 0x4000; }));
  ASSERT_TRUE(Eventually([&] { return scan.gauge.WordReads(0x19) > 0; }))
      << "static data refreshed at start";
  session.reset();
  const int reads = scan.target.reads;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(scan.target.reads, reads) << "no bus traffic after the session is gone";
}

}  // namespace
}  // namespace cw::test
