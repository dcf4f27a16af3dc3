#pragma once

#include <expected>
#include <memory>
#include <string>

#include "app/device_string.h"
#include "common/clock.h"
#include "common/message_sink.h"
#include "common/product_constants.h"
#include "common/trace_sink.h"
#include "link/bus_lock.h"
#include "link/bus_observer.h"
#include "link/gauge_link.h"

namespace cw::sim {
class SimPack;
}

namespace cw::app {

struct WorkbenchOptions {
  DeviceSelection device;
  common::ProductConstants constants;
  // Adapter identity overrides (the "PID/SN Cfg:" values), applied before the first open.
  std::optional<std::uint16_t> hid_product_id;
  std::optional<std::string> serial_prefix;
  // Every report and packet is written here when set.
  common::TraceSink* trace = nullptr;
};

// The composition root: one per program (a test makes as many as it likes). Owns the clock,
// the adapter backends (real or the simulated pack), the bus lock and the gauge link.
class Workbench {
 public:
  static std::expected<std::unique_ptr<Workbench>, std::string> Create(
      WorkbenchOptions options, common::MessageSink& messages);
  ~Workbench();

  link::GaugeLink& link() { return *link_; }
  common::Clock& clock() { return *clock_; }
  common::MessageSink& messages() { return messages_; }
  const common::ProductConstants& constants() const { return options_.constants; }
  bool simulated() const { return options_.device.simulated; }
  // Null unless the simulated pack is in use.
  sim::SimPack* sim_pack() { return sim_pack_.get(); }

  // Start-up of the link: adapter ids, device notifications, one HID open.
  void Start();
  // Saves the simulated pack's state file, when there is one. Also done on destruction.
  std::expected<void, std::string> SaveSimState();

 private:
  Workbench(WorkbenchOptions options, common::MessageSink& messages);

  WorkbenchOptions options_;
  common::MessageSink& messages_;
  std::unique_ptr<common::Clock> clock_;
  std::unique_ptr<sim::SimPack> sim_pack_;
  std::unique_ptr<link::HidBackend> real_hid_;
  std::unique_ptr<link::UsbBackend> real_usb_;
  std::unique_ptr<link::BusTracer> tracer_;
  std::unique_ptr<link::ObservedHidBackend> traced_hid_;
  std::unique_ptr<link::ObservedUsbBackend> traced_usb_;
  std::unique_ptr<link::BusLock> bus_lock_;
  std::unique_ptr<link::GaugeLink> link_;
};

}  // namespace cw::app
