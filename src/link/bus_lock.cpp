#include "link/bus_lock.h"

#include <ctime>

namespace cw::link {

bool BusLock::Acquire() {
  if (!mutex_.try_lock_for(kWait)) return false;
  owner_.store(std::this_thread::get_id());
  ++depth_;
  return true;
}

bool BusLock::Release() {
  if (!HeldByThisThread()) return false;
  if (--depth_ == 0) owner_.store(std::thread::id{});
  mutex_.unlock();
  return true;
}

bool BusLock::HeldByThisThread() const { return owner_.load() == std::this_thread::get_id(); }

std::string BusLockName(std::uint64_t tick_count_ms) {
  const std::time_t seconds = static_cast<std::time_t>(tick_count_ms);
  std::tm local{};
  localtime_r(&seconds, &local);
  char clock_text[16] = {};
  std::strftime(clock_text, sizeof clock_text, "%H:%M:%S", &local);
  return std::string("MutexToProtectRWAccess") + clock_text;
}

std::string BusLockNameNow() {
  // The time since boot: the steady clock counts from boot on Linux, from some other fixed
  // point elsewhere, which serves the name just as well.
  const auto tick_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return BusLockName(static_cast<std::uint64_t>(tick_ms.count()));
}

}  // namespace cw::link
