#pragma once

#include <expected>
#include <memory>
#include <string>

#include "app/authentication_tool.h"
#include "app/calibration.h"
#include "app/device_string.h"
#include "app/main_ui_state.h"
#include "app/smb_access_session.h"
#include "app/subcmd_session.h"
#include "common/clock.h"
#include "common/product_constants.h"
#include "common/null_sinks.h"
#include "link/bus_lock.h"
#include "link/bus_observer.h"
#include "link/gauge_link.h"

namespace cw::sim {
class SimPack;
}
namespace cw::monitor {
class MonitorSession;
class SbsSession;
class SystemLocalTime;
}  // namespace cw::monitor
namespace cw::dataflash {
class DataFlashSession;
}
namespace cw::firmware {
class BinConverter;
class FirmwareTool;
class FsConverter;
}  // namespace cw::firmware

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
// session and tool object a front end works with, already wired to each other and to the front
// end's sinks: the SBS page's session with its scan and data log, the data flash session,
// calibration and CalibrationBusy, the SMB access session, the SubCMD session with its stored
// keys and log, the main-window lock, and the tool windows while they are open.
class Workbench final : public common::ScanPause {
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

  // --- the sessions of the main window's pages and panels, alive as long as the workbench ---
  monitor::MonitorSession& monitor() { return *monitor_; }
  monitor::SbsSession& sbs();
  dataflash::DataFlashSession& data_flash() { return *data_flash_; }
  Calibration& calibration() { return *calibration_; }
  SmbAccessSession& smb_access() { return *smb_access_; }
  SubCmdSession& subcmd() { return *subcmd_; }
  MainUiState& main_ui() { return main_ui_; }

  // --- tool windows: created by their menu command, destroyed when closed ---
  // Opening one that is open closes it first (a front end closes its window before that).
  firmware::FirmwareTool& OpenFirmwareTool();
  void CloseFirmwareTool();
  firmware::FirmwareTool* firmware_tool() { return firmware_tool_.get(); }
  AuthenticationTool& OpenAuthenticationTool();
  void CloseAuthenticationTool();
  AuthenticationTool* authentication_tool() { return authentication_tool_.get(); }
  firmware::FsConverter& OpenFsConverter();
  void CloseFsConverter();
  firmware::FsConverter* fs_converter() { return fs_converter_.get(); }
  firmware::BinConverter& OpenBinConverter();
  void CloseBinConverter();
  firmware::BinConverter* bin_converter() { return bin_converter_.get(); }

  // Start-up of the link: adapter ids, device notifications, one HID open. The scan worker
  // starts separately (StartScan), so a one-shot command has the bus to itself.
  void Start();
  void StartScan();

  // The last adapter arrival or removal reported since start-up, for the status bar.
  std::optional<link::UsbHotplugEvent> last_device_event() const { return last_device_event_; }

  // Scan on / off of the Option menu.
  void SetScanEnabled(bool enabled);
  // The "Config" button: the adapter id text (a HID product id, or "0x" + serial prefix on the
  // bulk adapter), with the scan stopped around the reopen. Done when the adapter reopened.
  common::Outcome ConfigureAdapter(std::string_view id_text);

  // Tool windows pause the scan worker while they are open; nesting is allowed.
  void PauseScan() override;
  void ResumeScan() override;

  // Saves the simulated pack's state file, when there is one. Also done on destruction.
  std::expected<void, std::string> SaveSimState();

 private:
  Workbench(WorkbenchOptions options, common::MessageSink& messages);
  void ComposeSubsystems();
  // Whole seconds for the authentication window's challenge generator: the wall clock, or the
  // virtual clock when the workbench runs on one.
  std::int64_t Seconds() const;

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
  MainUiState main_ui_;
  std::unique_ptr<monitor::MonitorSession> monitor_;
  std::unique_ptr<dataflash::DataFlashSession> data_flash_;
  std::unique_ptr<SmbAccessSession> smb_access_;
  std::unique_ptr<SubCmdSession> subcmd_;
  std::unique_ptr<Calibration> calibration_;
  std::unique_ptr<firmware::FirmwareTool> firmware_tool_;
  std::unique_ptr<AuthenticationTool> authentication_tool_;
  std::unique_ptr<firmware::FsConverter> fs_converter_;
  std::unique_ptr<firmware::BinConverter> bin_converter_;
};

}  // namespace cw::app
