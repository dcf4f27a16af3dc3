#include "update_hold.h"

namespace cw::test {
UpdateHold::UpdateHold(sim::SimPack& pack, int hold_at, std::uint8_t first_command,
                       std::uint8_t last_command)
    : pack_(pack), hold_at_(hold_at), first_command_(first_command), last_command_(last_command) {
  pack_.ReplaceTarget(this);
}

UpdateHold::~UpdateHold() {
  Release();
  pack_.ReplaceTarget(nullptr);
}

bool UpdateHold::Write(std::span<const std::uint8_t> bytes) {
  const bool record = !bytes.empty() && bytes[0] >= first_command_ && bytes[0] <= last_command_;
  if (record) {
    std::unique_lock lock(mutex_);
    if (++seen_ == hold_at_) {
      holding_ = true;
      released_.wait(lock, [this] { return release_; });
      holding_ = false;
    }
  }
  const bool acknowledged = pack_.gauge().Write(bytes);
  if (record) {
    std::lock_guard lock(mutex_);
    ++passed_;
  }
  return acknowledged;
}

std::optional<std::vector<std::uint8_t>> UpdateHold::Read(std::uint8_t command, std::size_t count) {
  return pack_.gauge().Read(command, count);
}

bool UpdateHold::held() const {
  std::lock_guard lock(mutex_);
  return holding_;
}

void UpdateHold::Release() {
  std::lock_guard lock(mutex_);
  release_ = true;
  released_.notify_all();
}

int UpdateHold::records() const {
  std::lock_guard lock(mutex_);
  return passed_;
}

}  // namespace cw::test
