#include "sim/sim_bus.h"

namespace cw::sim {

SimBus::SimBus(link::SmbusTarget* target, const FaultConfig& faults)
    : default_target_(target), target_(target), faults_(faults), random_(faults.seed) {}

bool SimBus::NackNow() {
  ++transactions_;
  if (faults_.nack_every > 0 &&
      transactions_ % static_cast<std::uint64_t>(faults_.nack_every) == 0) {
    return true;
  }
  if (faults_.nack_probability > 0.0) {
    // Scaled by hand rather than through a distribution, whose output the standard leaves to
    // the library: the same seed must give the same NACKs everywhere.
    const double draw = static_cast<double>(random_()) / 4294967296.0;
    return draw < faults_.nack_probability;
  }
  return false;
}

bool SimBus::Write(std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  if (target_ == nullptr || NackNow()) return false;
  return target_->Write(bytes);
}

std::optional<std::vector<std::uint8_t>> SimBus::Read(std::uint8_t command, std::size_t count) {
  std::lock_guard lock(mutex_);
  if (target_ == nullptr || NackNow()) return std::nullopt;
  return target_->Read(command, count);
}

std::uint64_t SimBus::generation() const {
  std::lock_guard lock(mutex_);
  return generation_;
}

bool SimBus::plugged() const {
  std::lock_guard lock(mutex_);
  return plugged_;
}

bool SimBus::Alive(std::uint64_t generation) const {
  std::lock_guard lock(mutex_);
  return plugged_ && generation == generation_;
}

bool SimBus::BeginExchange(std::uint64_t generation) {
  std::lock_guard lock(mutex_);
  if (!plugged_ || generation != generation_) return false;
  ++exchanges_;
  if (faults_.drop_after_exchanges > 0 &&
      exchanges_ > static_cast<std::uint64_t>(faults_.drop_after_exchanges)) {
    SetPluggedLocked(false);
    return false;
  }
  return true;
}

void SimBus::SetPluggedLocked(bool plugged) {
  if (plugged_ == plugged) return;
  plugged_ = plugged;
  if (!plugged) {
    ++generation_;
  } else {
    // A re-plugged adapter runs its full course again before a drop fault takes it away.
    exchanges_ = 0;
  }
  const auto event = plugged ? link::UsbHotplugEvent::kArrived : link::UsbHotplugEvent::kLeft;
  pending_events_.push_back(event);
}

void SimBus::Unplug() {
  {
    std::lock_guard lock(mutex_);
    SetPluggedLocked(false);
  }
  DeliverHotplugEvents();
}

void SimBus::Plug() {
  {
    std::lock_guard lock(mutex_);
    SetPluggedLocked(true);
  }
  DeliverHotplugEvents();
}

void SimBus::ReplaceTarget(link::SmbusTarget* target) {
  std::lock_guard lock(mutex_);
  target_ = target != nullptr ? target : default_target_;
}

void SimBus::Detach() {
  std::lock_guard lock(mutex_);
  default_target_ = nullptr;
  target_ = nullptr;
  SetPluggedLocked(false);
  // Nobody is left to hear about a pack that is being taken apart.
  pending_events_.clear();
  listeners_.clear();
}

void SimBus::AddAdapterVendorId(std::uint16_t vendor_id) {
  std::lock_guard lock(mutex_);
  adapter_vendor_ids_.push_back(vendor_id);
}

void SimBus::AddHotplugListener(std::uint16_t vendor_id, HotplugCallback callback) {
  std::lock_guard lock(mutex_);
  listeners_.push_back({vendor_id, std::move(callback)});
}

void SimBus::DeliverHotplugEvents() {
  std::vector<link::UsbHotplugEvent> events;
  std::vector<std::pair<HotplugCallback, int>> calls;
  {
    std::lock_guard lock(mutex_);
    events.swap(pending_events_);
    for (const Listener& listener : listeners_) {
      int adapters = 0;
      for (std::uint16_t vendor_id : adapter_vendor_ids_) {
        adapters += vendor_id == listener.vendor_id ? 1 : 0;
      }
      if (adapters > 0) calls.emplace_back(listener.callback, adapters);
    }
  }
  for (link::UsbHotplugEvent event : events) {
    for (const auto& [callback, adapters] : calls) {
      for (int i = 0; i < adapters; ++i) callback(event);
    }
  }
}

}  // namespace cw::sim
