#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace cw::link {

// The one lock every gauge transaction waits on. Recursive for its owner: a composite
// operation that holds it may call locked transactions, which take it again at once.
class BusLock {
 public:
  // How long a transaction waits for the bus before giving up silently.
  static constexpr std::chrono::milliseconds kWait{500};

  explicit BusLock(std::string name) : name_(std::move(name)) {}
  BusLock(const BusLock&) = delete;
  BusLock& operator=(const BusLock&) = delete;

  // Waits at most kWait for the bus (real time: another thread must get the chance to
  // release it). False on time-out.
  bool Acquire();
  // False when the calling thread does not hold the lock.
  bool Release();
  bool HeldByThisThread() const;
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::recursive_timed_mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;  // touched only by the owner
};

// Holds the bus lock for one scope: taken (waiting at most BusLock::kWait) on construction,
// released on destruction. Check owns() before touching the bus.
class BusLockGuard {
 public:
  explicit BusLockGuard(BusLock& lock) : lock_(lock), owns_(lock.Acquire()) {}
  ~BusLockGuard() {
    if (owns_) lock_.Release();
  }
  BusLockGuard(const BusLockGuard&) = delete;
  BusLockGuard& operator=(const BusLockGuard&) = delete;

  bool owns() const { return owns_; }
  // Takes the lock once more when the first wait ran out.
  bool Retry() {
    if (!owns_) owns_ = lock_.Acquire();
    return owns_;
  }

 private:
  BusLock& lock_;
  bool owns_;
};

// "MutexToProtectRWAccess" followed by the tick count (milliseconds since boot) read as seconds
// since 1970 and shown as local "%H:%M:%S". Different from run to run, so it names this
// process's lock in diagnostics.
std::string BusLockName(std::uint64_t tick_count_ms);
// The same with the current tick count.
std::string BusLockNameNow();

}  // namespace cw::link
