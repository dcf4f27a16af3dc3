#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "common/bytes.h"
#include "link/smbus_target.h"
#include "link/usb_backend.h"
#include "sim/fault_config.h"

namespace cw::sim {

// The SMBus and the USB cable shared by every simulated adapter of one pack: it serialises bus
// transactions, knows whether the adapters are plugged in, injects the transaction faults (NACKs
// and the drop after n exchanges) and tells hot-plug listeners. Adapters and the handles they
// give out share it, so a handle that outlives its pack fails cleanly instead of dangling.
class SimBus {
 public:
  using HotplugCallback = std::function<void(link::UsbHotplugEvent)>;

  SimBus(link::SmbusTarget* target, const FaultConfig& faults);

  // Bus transactions; a NACK (fault or target) is false / nullopt.
  bool Write(std::span<const std::uint8_t> bytes);
  std::optional<std::vector<std::uint8_t>> Read(std::uint8_t command, std::size_t count);

  // Plug generation: every unplug starts a new one, and handles opened in an older one are dead.
  std::uint64_t generation() const;
  bool plugged() const;
  // Whether a handle of `generation` still reaches a plugged adapter (no exchange counted).
  bool Alive(std::uint64_t generation) const;
  // Called by an adapter once per USB exchange (HID set or get, bulk, interrupt or control
  // transfer) made through a handle of `generation`. False when the adapter is gone, including
  // when the drop-after fault unplugs it at this exchange.
  bool BeginExchange(std::uint64_t generation);

  void Unplug();
  void Plug();

  // `target` null puts the default target back; `Detach` disconnects every target for good.
  void ReplaceTarget(link::SmbusTarget* target);
  void Detach();

  // Each adapter's USB vendor id, for hot-plug events (one event per adapter).
  void AddAdapterVendorId(std::uint16_t vendor_id);
  void AddHotplugListener(std::uint16_t vendor_id, HotplugCallback callback);
  // Calls the listeners for events queued by plugging and unplugging. Adapters call it after
  // releasing their own locks, so a listener may use the backends.
  void DeliverHotplugEvents();

 private:
  bool NackNow();
  void SetPluggedLocked(bool plugged);

  struct Listener {
    std::uint16_t vendor_id;
    HotplugCallback callback;
  };

  mutable std::mutex mutex_;
  link::SmbusTarget* default_target_;
  link::SmbusTarget* target_;
  FaultConfig faults_;
  std::mt19937 random_;
  std::uint64_t transactions_ = 0;
  std::uint64_t exchanges_ = 0;
  bool plugged_ = true;
  std::uint64_t generation_ = 0;
  std::vector<std::uint16_t> adapter_vendor_ids_;
  std::vector<Listener> listeners_;
  std::vector<link::UsbHotplugEvent> pending_events_;
};

}  // namespace cw::sim
