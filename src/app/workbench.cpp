#include "app/workbench.h"

#include "link/hidapi_backend.h"
#include "link/libusb_backend.h"
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
  // The link goes first: it closes its adapter handles on the backends below it.
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
  return bench;
}

void Workbench::Start() {
  auto& transport = link_->transport();
  transport.SetVendorId(options_.constants.adapter_vendor_id);
  transport.SetHidProductId(options_.hid_product_id.value_or(common::kHidProductId));
  transport.SetBulkProductId(common::kBulkProductId);
  transport.SetSerialPrefix(options_.serial_prefix.value_or(common::kDefaultSerialPrefix));
  link_->RegisterDeviceNotifications([](link::UsbHotplugEvent) {});
  link_->OpenHidAdapter();
}

std::expected<void, std::string> Workbench::SaveSimState() {
  if (!sim_pack_) return {};
  return sim_pack_->SaveState();
}

}  // namespace cw::app
