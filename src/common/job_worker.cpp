#include "common/job_worker.h"

#include <utility>

namespace cw::common {

JobWorker::JobWorker() : thread_([this](std::stop_token shutdown) { Loop(shutdown); }) {}

JobWorker::~JobWorker() { Shutdown(); }

void JobWorker::Post(Job job, EndCallback ended) {
  {
    std::lock_guard lock(mutex_);
    if (!shut_down_) {
      queue_.push_back({std::move(job), std::move(ended)});
      wake_.notify_one();
      return;
    }
  }
  if (ended) ended(JobEnd::kDropped);
}

void JobWorker::RequestStop() {
  std::stop_source running;
  {
    std::lock_guard lock(mutex_);
    for (Entry& entry : queue_) entry.dropped = true;
    running = running_stop_;
  }
  // Outside the lock: the job's stop callbacks run here and may take locks of their own.
  running.request_stop();
}

void JobWorker::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    shut_down_ = true;
  }
  RequestStop();
  thread_.request_stop();
  if (thread_.joinable()) thread_.join();
}

void JobWorker::WaitUntilIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !running_ && queue_.empty(); });
}

bool JobWorker::idle() const {
  std::lock_guard lock(mutex_);
  return !running_ && queue_.empty();
}

void JobWorker::Loop(std::stop_token shutdown) {
  std::unique_lock lock(mutex_);
  while (true) {
    // After a shutdown the queue still drains, so that every dropped job's end callback runs.
    if (!wake_.wait(lock, shutdown, [this] { return !queue_.empty(); })) return;
    Entry entry = std::move(queue_.front());
    queue_.pop_front();
    std::stop_source stop;
    running_stop_ = stop;
    running_ = true;
    lock.unlock();

    const JobEnd end = entry.dropped ? JobEnd::kDropped : JobEnd::kRan;
    if (end == JobEnd::kRan) entry.job(stop.get_token());
    if (entry.ended) entry.ended(end);
    entry = {};  // what the job holds goes before the worker counts as idle

    lock.lock();
    running_stop_ = std::stop_source(std::nostopstate);
    running_ = false;
    if (queue_.empty()) idle_.notify_all();
  }
}

}  // namespace cw::common
