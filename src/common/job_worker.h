#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

namespace cw::common {

// How a job handed to a JobWorker ended.
enum class JobEnd {
  kRan,      // it ran, to its end or to the safe point where a stop request took effect
  kDropped,  // a stop request or the worker's shutdown dropped it before it started
};

// The one way gauge work runs in the background, whatever the front end: one thread that runs
// the jobs it is given one at a time, in the order they were given. A job gets a stop token and
// returns at its next safe point once a stop is requested (between two records, two pages, two
// transactions; never inside one). Progress is the job's own business (the change notifications
// and View() of the object it works for); whoever handed the job in hears how it ended from its
// end callback.
//
// The thread starts with the worker and ends in Shutdown (or the destructor), after the job in
// progress has reached its safe point. A job must therefore never wait for the thread that shuts
// the worker down: message boxes are shown through a MessageSink that stops waiting once the
// front end closes.
class JobWorker {
 public:
  using Job = std::function<void(std::stop_token stop)>;
  // Runs on the worker's thread once the job has run or was dropped, or at once on the posting
  // thread when the worker has shut down. Must not block.
  using EndCallback = std::function<void(JobEnd end)>;

  JobWorker();
  // Shutdown.
  ~JobWorker();
  JobWorker(const JobWorker&) = delete;
  JobWorker& operator=(const JobWorker&) = delete;

  // Queues `job` behind the others.
  void Post(Job job, EndCallback ended = {});
  // Asks the running job to stop at its next safe point and drops the queued ones; returns at
  // once. Jobs posted afterwards run as usual.
  void RequestStop();
  // RequestStop, then waits for the thread to end; every job posted from now on is dropped.
  // Never from a job or an end callback of this worker.
  void Shutdown();
  // Blocks until no job runs or waits, end callbacks included: for front ends without an event
  // loop. Never from a job or an end callback of this worker (it would wait for itself).
  void WaitUntilIdle();
  bool idle() const;

 private:
  struct Entry {
    Job job;
    EndCallback ended;
    bool dropped = false;
  };

  void Loop(std::stop_token shutdown);

  mutable std::mutex mutex_;
  std::condition_variable_any wake_;
  std::condition_variable idle_;
  std::deque<Entry> queue_;
  std::stop_source running_stop_{std::nostopstate};  // the running job's, while one runs
  bool running_ = false;
  bool shut_down_ = false;
  std::jthread thread_;  // last: starts once everything above exists
};

}  // namespace cw::common
