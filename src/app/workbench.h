#pragma once

#include <expected>
#include <memory>
#include <string>

#include "app/calibration.h"
#include "app/device_string.h"
#include "app/subcmd_panel.h"
#include "app/tool_hooks.h"
#include "common/clock.h"
#include "common/message_sink.h"
#include "common/product_constants.h"
#include "common/progress_sink.h"
#include "common/trace_sink.h"
#include "link/bus_lock.h"
#include "link/bus_observer.h"
#include "link/gauge_link.h"

namespace cw::sim {
class SimPack;
}
namespace cw::monitor {
class MonitorSession;
class SystemLocalTime;
}  // namespace cw::monitor
namespace cw::dataflash {
class DataFlashPage;
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
  // Task progress of the scan, the data flash transfers and calibration; none when null.
  common::ProgressSink* progress = nullptr;
};

// The composition root: one per program (a test makes as many as it likes). Owns the clock,
// the adapter backends (real or the simulated pack), the bus lock, the gauge link and every
// subsystem the main window owns: the register table and scan, the data flash page, the
// SubCMD panel with its stored keys and log, calibration and CalibrationBusy.
class Workbench final : public ScanControl {
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

  monitor::MonitorSession& monitor() { return *monitor_; }
  dataflash::DataFlashPage& data_flash() { return *data_flash_; }
  SubCmdPanel& subcmd() { return *subcmd_; }
  Calibration& calibration() { return *calibration_; }
  std::atomic<bool>& calibration_busy() { return calibration_busy_; }

  // Start-up of the link: adapter ids, device notifications, one HID open. The scan worker
  // starts separately (StartScan), so a one-shot command has the bus to itself.
  void Start();
  void StartScan();

  // The last adapter arrival or removal reported since start-up, for the status bar.
  std::optional<link::UsbHotplugEvent> last_device_event() const { return last_device_event_; }

  // Scan on / off of the Option menu.
  void SetScanEnabled(bool enabled);
  // The "Config" button: the adapter id text (a HID product id, or "0x" + serial prefix on the
  // bulk adapter), with the scan stopped around the reopen. The result is the reopen's.
  bool ConfigureAdapter(std::string_view id_text);

  // Tool windows pause the scan worker while they are open; nesting is allowed.
  void PauseScan() override;
  void ResumeScan() override;

  // "Operation Cfg A" from the gauge's data flash; calibration reads it holding the bus.
  std::optional<std::uint16_t> ReadOperationCfgA();
  // Saves the simulated pack's state file, when there is one. Also done on destruction.
  std::expected<void, std::string> SaveSimState();

 private:
  Workbench(WorkbenchOptions options, common::MessageSink& messages);
  void ComposeSubsystems();

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
  common::NullProgressSink no_progress_;
  std::atomic<bool> calibration_busy_{false};
  std::atomic<std::optional<link::UsbHotplugEvent>> last_device_event_;
  std::unique_ptr<monitor::SystemLocalTime> local_time_;
  std::unique_ptr<monitor::MonitorSession> monitor_;
  std::unique_ptr<dataflash::DataFlashPage> data_flash_;
  std::unique_ptr<SubCmdPanel> subcmd_;
  std::unique_ptr<Calibration> calibration_;
};

}  // namespace cw::app
