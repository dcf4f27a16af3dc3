// The background-work model every front end uses: order, stop requests, dropped jobs, the end
// notifications and the worker's end.
#include "common/job_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace cw::common {
namespace {

// What happened, in order, from whichever thread.
struct Journal {
  void Add(std::string entry) {
    std::lock_guard lock(mutex);
    entries.push_back(std::move(entry));
  }
  std::vector<std::string> Take() {
    std::lock_guard lock(mutex);
    return std::exchange(entries, {});
  }
  std::mutex mutex;
  std::vector<std::string> entries;
};

JobWorker::EndCallback Ends(Journal& journal, std::string name) {
  return [&journal, name](JobEnd end) {
    journal.Add(name + (end == JobEnd::kRan ? " ran" : " dropped"));
  };
}

// A job that works in steps until it is told to stop, checking between steps: it says how many
// steps it did and whether the stop ended it.
JobWorker::Job Steps(Journal& journal, std::latch& started, std::atomic<bool>& step_on) {
  return [&](std::stop_token stop) {
    started.count_down();
    int steps = 0;
    while (!stop.stop_requested()) {  // the safe point between two steps
      if (step_on) {
        ++steps;
      } else {
        std::this_thread::yield();
      }
    }
    journal.Add("stopped after " + std::to_string(steps) + " steps");
  };
}

TEST(JobWorker, RunsJobsOneAtATimeInTheOrderGivenOnItsOwnThread) {
  Journal journal;
  JobWorker worker;
  std::set<std::thread::id> threads;
  for (const std::string name : {"a", "b", "c"}) {
    worker.Post(
        [&, name](std::stop_token stop) {
          threads.insert(std::this_thread::get_id());
          journal.Add(name + (stop.stop_requested() ? " stopped" : " working"));
        },
        Ends(journal, name));
  }
  worker.WaitUntilIdle();
  EXPECT_TRUE(worker.idle());
  EXPECT_EQ(journal.Take(), (std::vector<std::string>{"a working", "a ran", "b working", "b ran",
                                                      "c working", "c ran"}))
      << "WaitUntilIdle returns after the last end callback";
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

TEST(JobWorker, AStopEndsTheRunningJobAtItsSafePointAndDropsTheQueuedOnes) {
  Journal journal;
  JobWorker worker;
  std::latch started(1);
  std::atomic<bool> step_on{false};
  worker.Post(Steps(journal, started, step_on), Ends(journal, "steps"));
  worker.Post([&](std::stop_token) { journal.Add("queued job ran"); }, Ends(journal, "queued"));
  started.wait();
  EXPECT_FALSE(worker.idle());
  worker.RequestStop();
  // Jobs given after the stop run, with a token of their own.
  worker.Post(
      [&](std::stop_token stop) {
        journal.Add(stop.stop_requested() ? "late stopped" : "late working");
      },
      Ends(journal, "late"));
  worker.WaitUntilIdle();
  EXPECT_EQ(journal.Take(),
            (std::vector<std::string>{"stopped after 0 steps", "steps ran", "queued dropped",
                                      "late working", "late ran"}));
}

TEST(JobWorker, ShutdownStopsTheRunningJobDropsTheRestAndEveryLaterOne) {
  Journal journal;
  std::latch started(1);
  std::atomic<bool> step_on{true};
  {
    JobWorker worker;
    worker.Post(Steps(journal, started, step_on), Ends(journal, "steps"));
    worker.Post([&](std::stop_token) { journal.Add("queued job ran"); }, Ends(journal, "queued"));
    started.wait();
    worker.Shutdown();
    const auto ended = journal.Take();
    ASSERT_EQ(ended.size(), 3u);
    EXPECT_TRUE(ended[0].starts_with("stopped after "));
    EXPECT_EQ(ended[1], "steps ran");
    EXPECT_EQ(ended[2], "queued dropped");

    // After the shutdown a job is dropped at once, on the thread that gave it.
    const auto poster = std::this_thread::get_id();
    worker.Post([&](std::stop_token) { journal.Add("after shutdown ran"); },
                [&](JobEnd end) {
                  journal.Add(end == JobEnd::kDropped && std::this_thread::get_id() == poster
                                  ? "dropped here"
                                  : "wrong end");
                });
    EXPECT_EQ(journal.Take(), std::vector<std::string>{"dropped here"});
    worker.WaitUntilIdle();
  }
  // The destructor of a worker with a job that never stops by itself joins it.
  std::latch again(1);
  {
    JobWorker worker;
    worker.Post(Steps(journal, again, step_on));
    again.wait();
  }
  EXPECT_EQ(journal.Take().size(), 1u);
}

}  // namespace
}  // namespace cw::common
