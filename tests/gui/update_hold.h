#pragma once

#include <condition_variable>
#include <mutex>

#include "link/smbus_target.h"
#include "sim/sim_pack.h"

namespace cw::test {

// Stands between the simulated pack's adapter and its gauge and keeps the firmware update's
// record write number `hold_at` (counted from 1) on the bus until Release, as a slow bus would:
// the window can be looked at in the middle of an update. Every other transaction goes through.
// Other writes are held the same way when their commands are named (the data flash page writes,
// 0x78 to 0x7F); records() then counts those.
class UpdateHold final : public link::SmbusTarget {
 public:
  static constexpr std::uint8_t kRecordWrite = 0x48;
  UpdateHold(sim::SimPack& pack, int hold_at, std::uint8_t first_command = kRecordWrite,
             std::uint8_t last_command = kRecordWrite);
  // Releases the held write and puts the gauge back on the bus.
  ~UpdateHold() override;

  bool Write(std::span<const std::uint8_t> bytes) override;
  std::optional<std::vector<std::uint8_t>> Read(std::uint8_t command, std::size_t count) override;

  // The write is being held.
  bool held() const;
  void Release();
  // Record writes that reached the gauge.
  int records() const;

 private:
  sim::SimPack& pack_;
  const int hold_at_;
  const std::uint8_t first_command_;
  const std::uint8_t last_command_;
  mutable std::mutex mutex_;
  std::condition_variable released_;
  int seen_ = 0;
  int passed_ = 0;
  bool holding_ = false;
  bool release_ = false;
};

}  // namespace cw::test
