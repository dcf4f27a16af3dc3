#include "app/workbench.h"

#include <chrono>
#include <ctime>

#include "dataflash/data_flash_session.h"
#include "firmware/converters.h"
#include "firmware/firmware_tool.h"
#include "firmware/image_constants.h"
#include "monitor/comm_thread.h"
#include "monitor/local_time.h"
#include "monitor/monitor_session.h"
#include "sim/sim_pack.h"

namespace cw::app {
Workbench::Workbench(std::shared_ptr<AdapterHost> host, link::AdapterChoice adapter,
                     WorkbenchOptions options, common::MessageSink& messages)
    : host_(std::move(host)),
      adapter_(std::move(adapter)),
      options_(std::move(options)),
      own_messages_(messages),
      own_progress_(options_.progress ? *options_.progress : no_progress_),
      messages_(own_messages_),
      progress_(own_progress_) {}

void Workbench::LendSinks(common::MessageSink* messages, common::ProgressSink* progress) {
  messages_.RouteTo(messages ? *messages : own_messages_);
  progress_.RouteTo(progress ? *progress : own_progress_);
}

Workbench::~Workbench() {
  // Tool windows resume the scan they paused, so they close while it still exists; the scan
  // worker stops before anything it uses; the link goes before the backends below it, closing
  // its adapter handles on them.
  CloseFirmwareTool();
  CloseAuthenticationTool();
  CloseBinConverter();
  CloseFsConverter();
  monitor_.reset();
  calibration_.reset();
  subcmd_.reset();
  smb_access_.reset();
  data_flash_.reset();
  link_.reset();
  if (sim_pack() != nullptr) (void)SaveSimState();
}

std::expected<std::unique_ptr<Workbench>, std::string> Workbench::Create(
    WorkbenchOptions options, common::MessageSink& messages) {
  auto host = AdapterHost::Create(options.device, options.constants, options.trace);
  if (!host) return std::unexpected(host.error().message);
  link::AdapterChoice adapter = options.device.adapter;
  return Create(std::move(*host), std::move(adapter), std::move(options), messages);
}

std::expected<std::unique_ptr<Workbench>, std::string> Workbench::Create(
    std::shared_ptr<AdapterHost> host, link::AdapterChoice adapter, WorkbenchOptions options,
    common::MessageSink& messages) {
  auto backends = host->BackendsFor(adapter);
  if (!backends) return std::unexpected(backends.error());
  std::unique_ptr<Workbench> bench(
      new Workbench(std::move(host), std::move(adapter), std::move(options), messages));
  bench->backends_ = std::move(*backends);
  bench->bus_lock_ = std::make_unique<link::BusLock>(link::BusLockNameNow());
  bench->link_ =
      std::make_unique<link::GaugeLink>(bench->backends_->hid(), bench->backends_->usb(),
                                        bench->clock(), bench->messages_, *bench->bus_lock_);
  bench->link_->connection().SetChoice(bench->adapter_);
  bench->ComposeSubsystems();
  return bench;
}

void Workbench::ComposeSubsystems() {
  common::ProgressSink& progress = progress_;
  // A log's stamps follow the pack's clock: hours on the virtual clock are hours in the log.
  if (host_->device().virtual_clock) {
    local_time_ = std::make_unique<monitor::ClockLocalTime>(clock());
  } else {
    local_time_ = std::make_unique<monitor::SystemLocalTime>();
  }
  monitor_ = std::make_unique<monitor::MonitorSession>(*link_, progress, messages_,
                                                       calibration_busy_, *local_time_);
  // The data flash page compares with an image's constants as with an .afi's.
  data_flash_ = std::make_unique<dataflash::DataFlashSession>(
      *link_, messages_, progress,
      [record_mask = constants().record_mask](const std::filesystem::path& path) {
        return firmware::ReadConstantsFile(path, record_mask);
      });
  smb_access_ = std::make_unique<SmbAccess>(*link_);
  subcmd_ = std::make_unique<SubCmdSession>(*link_, messages_);
  calibration_ = std::make_unique<Calibration>(*link_, messages_, progress, calibration_busy_,
                                               data_flash_->busy_flag(), monitor_->engine());
}

monitor::SbsSession& Workbench::sbs() { return monitor_->sbs(); }

std::int64_t Workbench::Seconds() const {
  if (host_->device().virtual_clock) {
    return std::chrono::duration_cast<std::chrono::seconds>(host_->clock().Now()).count();
  }
  return static_cast<std::int64_t>(std::time(nullptr));
}

firmware::FirmwareTool& Workbench::OpenFirmwareTool() {
  CloseFirmwareTool();
  firmware_tool_ =
      std::make_unique<firmware::FirmwareTool>(*link_, messages_, *this, main_ui_, constants());
  return *firmware_tool_;
}

void Workbench::CloseFirmwareTool() { firmware_tool_.reset(); }

AuthenticationTool& Workbench::OpenAuthenticationTool() {
  CloseAuthenticationTool();
  authentication_tool_ =
      std::make_unique<AuthenticationTool>(*link_, messages_, *this, [this] { return Seconds(); });
  return *authentication_tool_;
}

void Workbench::CloseAuthenticationTool() { authentication_tool_.reset(); }

firmware::FsConverter& Workbench::OpenFsConverter() {
  fs_converter_ = std::make_unique<firmware::FsConverter>(messages_, constants());
  return *fs_converter_;
}

void Workbench::CloseFsConverter() { fs_converter_.reset(); }

firmware::BinConverter& Workbench::OpenBinConverter() {
  CloseBinConverter();
  bin_converter_ = std::make_unique<firmware::BinConverter>(messages_, constants(), *this, clock());
  return *bin_converter_;
}

void Workbench::CloseBinConverter() { bin_converter_.reset(); }

void Workbench::StartScan() { monitor_->Start(); }

void Workbench::SetScanEnabled(bool enabled) { monitor_->engine().SetScanEnabled(enabled); }

common::Outcome Workbench::ConfigureAdapter(std::string_view id_text) {
  common::OutcomeBuilder outcome(messages_);
  const bool was_enabled = monitor_->engine().scan_enabled();
  SetScanEnabled(false);
  // SetAdapterId waits the 50 ms the adapter needs and reopens under the bus lock.
  const bool reopened = link_->SetAdapterId(id_text);
  SetScanEnabled(was_enabled);
  return reopened ? outcome.Done() : outcome.Failed();
}

void Workbench::PauseScan() {
  if (auto* worker = monitor_->worker()) worker->Pause();
}

void Workbench::ResumeScan() {
  if (auto* worker = monitor_->worker()) worker->Resume();
}

bool Workbench::Start() {
  auto& connection = link_->connection();
  connection.SetVendorId(constants().adapter_vendor_id);
  connection.SetHidProductId(options_.hid_product_id.value_or(common::kHidProductId));
  connection.SetBulkProductId(common::kBulkProductId);
  connection.SetSerialPrefix(options_.serial_prefix.value_or(common::kDefaultSerialPrefix));
  // Arrival and removal are shown, never acted on: the next transaction reopens by itself.
  link_->RegisterDeviceNotifications([this](link::UsbHotplugEvent event) {
    last_device_event_ = event;
    if (auto* trace = host_->trace()) {
      trace->Trace("hotplug",
                   event == link::UsbHotplugEvent::kArrived ? "adapter arrived" : "adapter left");
    }
  });
  link_->OpenHidAdapter();
  if (adapter_.any() || connection.connected()) return true;
  // The adapter named may be a bulk one; if it is not there at all, the link says so now.
  link_->EnsureConnected();
  return !connection.choice_unmatched();
}

std::expected<void, std::string> Workbench::SaveSimState() {
  sim::SimPack* pack = sim_pack();
  // A pack started without a state file has nothing to keep.
  if (pack == nullptr || pack->options().state_file.empty()) return {};
  return pack->SaveState();
}

}  // namespace cw::app
