#pragma once

#include <expected>
#include <memory>
#include <string>

#include "app/adapter_host.h"
#include "app/authentication_tool.h"
#include "app/calibration.h"
#include "app/device_string.h"
#include "app/main_ui_state.h"
#include "app/smb_access.h"
#include "app/subcmd_session.h"
#include "common/clock.h"
#include "common/null_sinks.h"
#include "common/product_constants.h"
#include "link/bus_lock.h"
#include "link/bus_observer.h"
#include "link/gauge_link.h"

namespace cw::sim {
class SimPack;
}
namespace cw::monitor {
class MonitorSession;
class SbsSession;
class LocalTime;
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
  // The adapters (real or simulated) and the clock, and the adapter to open (device.adapter).
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

// The composition root of one adapter: its backends, bus lock, gauge link (with its LinkStatus)
// and every session and tool object a front end works with, already wired to each other and to
// the front end's sinks: the SBS page's session with its scan and data log, the data flash
// session, calibration and CalibrationBusy, the SMB access, the SubCMD session with its
// stored keys and log, the main-window lock, and the tool windows while they are open. What
// adapters share (the clock, the simulated packs, the trace) belongs to its AdapterHost.
//
// A program on one adapter makes it in one call; a program on several makes one AdapterHost and
// one Workbench per adapter, each driven from its own thread (a common::JobWorker), and they
// never wait on each other. A test makes as many as it likes.
class Workbench final : public common::ScanPause {
 public:
  // A host of its own for `options.device`, and the adapter it names.
  static std::expected<std::unique_ptr<Workbench>, std::string> Create(
      WorkbenchOptions options, common::MessageSink& messages);
  // One adapter of `host`: `adapter` chooses it. The device, the constants and the trace are the
  // host's; `options` gives the adapter's identity overrides and the progress sink.
  static std::expected<std::unique_ptr<Workbench>, std::string> Create(
      std::shared_ptr<AdapterHost> host, link::AdapterChoice adapter, WorkbenchOptions options,
      common::MessageSink& messages);
  ~Workbench();

  link::GaugeLink& link() { return *link_; }
  common::Clock& clock() { return host_->clock(); }
  common::MessageSink& messages() { return messages_; }
  const common::ProductConstants& constants() const { return host_->constants(); }
  bool simulated() const { return host_->simulated(); }
  AdapterHost& host() { return *host_; }
  // The simulated pack this workbench drives; null on a real adapter.
  sim::SimPack* sim_pack() { return backends_->pack(); }

  // --- the sessions of the main window's pages and panels, alive as long as the workbench ---
  monitor::MonitorSession& monitor() { return *monitor_; }
  monitor::SbsSession& sbs();
  dataflash::DataFlashSession& data_flash() { return *data_flash_; }
  Calibration& calibration() { return *calibration_; }
  SmbAccess& smb_access() { return *smb_access_; }
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
  // starts separately (StartScan), so a one-shot command has the bus to itself. When an adapter
  // was named and is not there (or the name fits several), the link says so through the message
  // sink and LinkStatus, as for a missing adapter, and this returns false: before any work.
  bool Start();
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

  // While the workbench is lent to another owner (a production station's lane), its messages
  // and progress go to that owner's sinks instead of the front end's; null gives them back.
  // Every session and tool speaks through these routes, so nothing of the borrower's work opens
  // a box in the front end that lent it.
  void LendSinks(common::MessageSink* messages, common::ProgressSink* progress);

  // Saves the simulated pack's state file, when there is one. Also done on destruction.
  std::expected<void, std::string> SaveSimState();

 private:
  Workbench(std::shared_ptr<AdapterHost> host, link::AdapterChoice adapter,
            WorkbenchOptions options, common::MessageSink& messages);
  void ComposeSubsystems();
  // Whole seconds for the authentication window's challenge generator: the wall clock, or the
  // virtual clock when the workbench runs on one.
  std::int64_t Seconds() const;

  // Declared first, so it goes last: the backends and the simulated packs live in it.
  const std::shared_ptr<AdapterHost> host_;
  const link::AdapterChoice adapter_;
  WorkbenchOptions options_;
  common::MessageSink& own_messages_;
  common::NullProgressSink no_progress_;
  common::ProgressSink& own_progress_;
  // What every session and tool is given: the front end's sinks, or a borrower's.
  common::MessageRoute messages_;
  common::ProgressRoute progress_;
  std::unique_ptr<AdapterBackends> backends_;
  std::unique_ptr<link::BusLock> bus_lock_;
  std::unique_ptr<link::GaugeLink> link_;
  std::atomic<bool> calibration_busy_{false};
  std::atomic<std::optional<link::UsbHotplugEvent>> last_device_event_;
  std::unique_ptr<monitor::LocalTime> local_time_;
  MainUiState main_ui_;
  std::unique_ptr<monitor::MonitorSession> monitor_;
  std::unique_ptr<dataflash::DataFlashSession> data_flash_;
  std::unique_ptr<SmbAccess> smb_access_;
  std::unique_ptr<SubCmdSession> subcmd_;
  std::unique_ptr<Calibration> calibration_;
  std::unique_ptr<firmware::FirmwareTool> firmware_tool_;
  std::unique_ptr<AuthenticationTool> authentication_tool_;
  std::unique_ptr<firmware::FsConverter> fs_converter_;
  std::unique_ptr<firmware::BinConverter> bin_converter_;
};

}  // namespace cw::app
