#pragma once

#include <expected>
#include <memory>
#include <string>

#include "app/adapter_list.h"
#include "app/device_string.h"
#include "common/clock.h"
#include "common/error.h"
#include "common/front_end.h"
#include "common/product_constants.h"
#include "link/adapter_connection.h"
#include "link/adapter_survey.h"
#include "link/bus_observer.h"
#include "link/hid_backend.h"
#include "link/usb_backend.h"

namespace cw::sim {
class SimPack;
class SimPackSet;
}  // namespace cw::sim

namespace cw::app {

// The backends one Workbench's link goes through, and what keeps them alive: a real adapter's
// own hidapi and libusb objects, or the simulated pack's adapters, passed through the trace when
// the host has one.
class AdapterBackends {
 public:
  link::HidBackend& hid() { return *hid_; }
  link::UsbBackend& usb() { return *usb_; }
  // The simulated pack these backends reach; null on real adapters, and when the adapter named
  // is not in the simulated set (the backends then show the whole set, so that the connection
  // can say what is there).
  sim::SimPack* pack() { return pack_; }

 private:
  friend class AdapterHost;

  std::unique_ptr<link::HidBackend> owned_hid_;
  std::unique_ptr<link::UsbBackend> owned_usb_;
  std::unique_ptr<link::ObservedHidBackend> traced_hid_;
  std::unique_ptr<link::ObservedUsbBackend> traced_usb_;
  link::HidBackend* hid_ = nullptr;
  link::UsbBackend* usb_ = nullptr;
  sim::SimPack* pack_ = nullptr;
};

// What the adapters of one process share: the clock, the simulated packs (or nothing for real
// adapters, whose backends each Workbench makes for itself), and the trace. A program makes one,
// from the device string; then one Workbench per adapter it drives, each with its own link, bus
// lock, LinkStatus and sessions. Workbench::Create makes both for the one-adapter case.
//
// Nothing here is locked while a link works: the clock is stateless (or, virtual, locked only to
// read and advance it), and each pack of the simulated set has its own gauge, bus and adapters.
class AdapterHost {
 public:
  // A device string that names faults or packs wrongly is refused as kUsage.
  static common::Expected<std::shared_ptr<AdapterHost>> Create(
      const DeviceSelection& device, const common::ProductConstants& constants,
      common::TraceSink* trace = nullptr);
  ~AdapterHost();

  AdapterHost(const AdapterHost&) = delete;
  AdapterHost& operator=(const AdapterHost&) = delete;

  common::Clock& clock() { return *clock_; }
  const DeviceSelection& device() const { return device_; }
  bool simulated() const { return device_.simulated; }
  const common::ProductConstants& constants() const { return constants_; }
  common::TraceSink* trace() const { return trace_; }
  // Null on real adapters.
  sim::SimPackSet* sim_packs() { return sim_packs_.get(); }

  // What a survey of this host's adapters looks for: the product's ids and serial prefix.
  link::SurveySettings SurveySettingsFor(std::optional<std::uint16_t> hid_product_id,
                                         const std::optional<std::string>& serial_prefix) const;
  // Every adapter attached: one survey of the machine (or of the simulated set). Opens each one
  // for a moment and sends nothing. Safe beside links at work, on other threads.
  AdapterList ListAdapters(const link::SurveySettings& settings);

  // The backends for a link on `choice`. Real adapters: hidapi and libusb objects of its own, so
  // that two links never share a device list or a hot-plug registration. The simulated set: the
  // adapters of the pack named (the first without a name), its state file now loaded and held;
  // its load error otherwise.
  std::expected<std::unique_ptr<AdapterBackends>, std::string> BackendsFor(
      const link::AdapterChoice& choice);

 private:
  AdapterHost(DeviceSelection device, const common::ProductConstants& constants,
              common::TraceSink* trace);
  // Points the backends at what they own and passes them through the trace, if any.
  void Wire(AdapterBackends& backends);

  const DeviceSelection device_;
  const common::ProductConstants constants_;
  common::TraceSink* const trace_;
  std::unique_ptr<common::Clock> clock_;
  std::unique_ptr<link::BusTracer> tracer_;
  std::unique_ptr<sim::SimPackSet> sim_packs_;
};

}  // namespace cw::app
