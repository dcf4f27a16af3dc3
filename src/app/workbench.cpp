#include "app/workbench.h"

#include "app/messages.h"
#include "dataflash/data_flash_page.h"
#include "dataflash/flash_transfer.h"
#include "dataflash/parameter_table.h"
#include "link/hidapi_backend.h"
#include "link/libusb_backend.h"
#include "monitor/comm_thread.h"
#include "monitor/local_time.h"
#include "monitor/monitor_session.h"
#include "sim/sim_pack.h"

namespace cw::app {
namespace {

sim::SimOptions SimOptionsFor(const DeviceSelection& device,
                              const common::ProductConstants& constants) {
  sim::SimOptions options = sim::DefaultSimOptions(constants, device.transport);
  options.state_file = device.state_file;
  return options;
}

}  // namespace

Workbench::Workbench(WorkbenchOptions options, common::MessageSink& messages)
    : options_(std::move(options)), messages_(messages) {}

Workbench::~Workbench() {
  // The scan worker stops before anything it uses; the link goes before the backends below it,
  // closing its adapter handles on them.
  monitor_.reset();
  calibration_.reset();
  subcmd_.reset();
  data_flash_.reset();
  link_.reset();
  if (sim_pack_) (void)SaveSimState();
}

std::expected<std::unique_ptr<Workbench>, std::string> Workbench::Create(
    WorkbenchOptions options, common::MessageSink& messages) {
  std::unique_ptr<Workbench> bench(new Workbench(std::move(options), messages));
  const DeviceSelection& device = bench->options_.device;
  if (device.virtual_clock) {
    bench->clock_ = std::make_unique<common::ManualClock>();
  } else {
    bench->clock_ = std::make_unique<common::SystemClock>();
  }

  link::HidBackend* hid = nullptr;
  link::UsbBackend* usb = nullptr;
  if (device.simulated) {
    sim::SimOptions sim_options = SimOptionsFor(device, bench->options_.constants);
    if (!device.faults.empty()) {
      auto faults = sim::ParseFaults(device.faults);
      if (!faults) return std::unexpected(faults.error());
      sim_options.faults = *faults;
    }
    bench->sim_pack_ = std::make_unique<sim::SimPack>(*bench->clock_, std::move(sim_options));
    if (const auto& error = bench->sim_pack_->load_error()) return std::unexpected(*error);
    hid = &bench->sim_pack_->hid_backend();
    usb = &bench->sim_pack_->usb_backend();
  } else {
    bench->real_hid_ = std::make_unique<link::HidapiBackend>();
    bench->real_usb_ = std::make_unique<link::LibusbBackend>();
    hid = bench->real_hid_.get();
    usb = bench->real_usb_.get();
  }
  if (bench->options_.trace) {
    bench->tracer_ = std::make_unique<link::BusTracer>(*bench->options_.trace);
    bench->traced_hid_ = std::make_unique<link::ObservedHidBackend>(*hid, *bench->tracer_);
    bench->traced_usb_ = std::make_unique<link::ObservedUsbBackend>(*usb, *bench->tracer_);
    hid = bench->traced_hid_.get();
    usb = bench->traced_usb_.get();
  }
  bench->bus_lock_ = std::make_unique<link::BusLock>(link::BusLockNameNow());
  bench->link_ =
      std::make_unique<link::GaugeLink>(*hid, *usb, *bench->clock_, messages, *bench->bus_lock_);
  bench->ComposeSubsystems();
  return bench;
}

void Workbench::ComposeSubsystems() {
  common::ProgressSink& progress = options_.progress ? *options_.progress : no_progress_;
  local_time_ = std::make_unique<monitor::SystemLocalTime>();
  monitor_ = std::make_unique<monitor::MonitorSession>(*link_, progress, messages_,
                                                       calibration_busy_, *local_time_);
  data_flash_ = std::make_unique<dataflash::DataFlashPage>(*link_, messages_, progress);
  subcmd_ = std::make_unique<SubCmdPanel>(*link_, messages_);
  CalibrationHooks hooks;
  hooks.flash_transfer_busy = [this] { return data_flash_->busy(); };
  hooks.scan_enabled = [this] { return monitor_->engine().scan_enabled(); };
  hooks.set_scan_enabled = [this](bool enabled) { monitor_->engine().SetScanEnabled(enabled); };
  hooks.read_operation_cfg_a = [this] { return ReadOperationCfgA(); };
  calibration_ = std::make_unique<Calibration>(*link_, messages_, progress, calibration_busy_,
                                               std::move(hooks));
}

std::optional<std::uint16_t> Workbench::ReadOperationCfgA() {
  static constexpr std::string_view kOperationCfgA = "Operation Cfg A";
  const auto index = dataflash::FindParam(kOperationCfgA);
  if (!index) return std::nullopt;
  const link::FlashParamLocation location = dataflash::LocationOf(dataflash::kParams[*index]);
  const auto pages = link_->ReadFlashParameterBlock(location);
  const std::size_t at = location.offset % link::kFlashPageSize;
  if (!pages || pages->bytes.size() < at + 2) return std::nullopt;
  return static_cast<std::uint16_t>((pages->bytes[at] << 8) | pages->bytes[at + 1]);
}

void Workbench::StartScan() { monitor_->Start(); }

void Workbench::SetScanEnabled(bool enabled) { monitor_->engine().SetScanEnabled(enabled); }

bool Workbench::ConfigureAdapter(std::string_view id_text) {
  const bool was_enabled = monitor_->engine().scan_enabled();
  SetScanEnabled(false);
  // SetAdapterId waits the 50 ms the adapter needs and reopens under the bus lock.
  const bool reopened = link_->SetAdapterId(id_text);
  SetScanEnabled(was_enabled);
  return reopened;
}

void Workbench::PauseScan() {
  if (auto* worker = monitor_->worker()) worker->Pause();
}

void Workbench::ResumeScan() {
  if (auto* worker = monitor_->worker()) worker->Resume();
}

void Workbench::Start() {
  auto& transport = link_->transport();
  transport.SetVendorId(options_.constants.adapter_vendor_id);
  transport.SetHidProductId(options_.hid_product_id.value_or(common::kHidProductId));
  transport.SetBulkProductId(common::kBulkProductId);
  transport.SetSerialPrefix(options_.serial_prefix.value_or(common::kDefaultSerialPrefix));
  // Arrival and removal are shown, never acted on: the next transaction reopens by itself.
  link_->RegisterDeviceNotifications([this](link::UsbHotplugEvent event) {
    last_device_event_ = event;
    if (options_.trace) {
      options_.trace->Trace("hotplug", event == link::UsbHotplugEvent::kArrived
                                           ? messages::kAdapterArrived
                                           : messages::kAdapterLeft);
    }
  });
  link_->OpenHidAdapter();
}

std::expected<void, std::string> Workbench::SaveSimState() {
  if (!sim_pack_) return {};
  return sim_pack_->SaveState();
}

}  // namespace cw::app
