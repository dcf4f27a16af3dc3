#include "app/adapter_host.h"

#include "link/hidapi_backend.h"
#include "link/libusb_backend.h"
#include "sim/fault_config.h"
#include "sim/sim_pack.h"
#include "sim/sim_pack_set.h"

namespace cw::app {
namespace {

common::Expected<sim::SimPackSetOptions> SimPackSetOptionsOf(
    const DeviceSelection& device, const common::ProductConstants& constants) {
  sim::SimPackSetOptions options;
  options.packs = device.packs == 0 ? 1 : device.packs;
  options.transport = device.transport;
  options.constants = constants;
  options.state = device.state_file;
  options.state_folder = device.packs != 0;
  if (!device.faults.empty()) {
    auto faults = sim::ParseFaults(device.faults);
    if (!faults) return common::Fail(common::ErrorKind::kUsage, faults.error());
    options.faults = *faults;
  }
  for (const auto& [pack, text] : device.pack_faults) {
    auto faults = sim::ParseFaults(text);
    if (!faults) return common::Fail(common::ErrorKind::kUsage, faults.error());
    options.pack_faults[pack] = *faults;
  }
  return options;
}

}  // namespace

AdapterHost::AdapterHost(DeviceSelection device, const common::ProductConstants& constants,
                         common::TraceSink* trace)
    : device_(std::move(device)), constants_(constants), trace_(trace) {}

AdapterHost::~AdapterHost() = default;

common::Expected<std::shared_ptr<AdapterHost>> AdapterHost::Create(
    const DeviceSelection& device, const common::ProductConstants& constants,
    common::TraceSink* trace) {
  std::shared_ptr<AdapterHost> host(new AdapterHost(device, constants, trace));
  if (device.virtual_clock) {
    host->clock_ = std::make_unique<common::ManualClock>();
  } else {
    host->clock_ = std::make_unique<common::SystemClock>();
  }
  if (trace) host->tracer_ = std::make_unique<link::BusTracer>(*trace);
  if (!device.simulated) return host;
  auto options = SimPackSetOptionsOf(device, constants);
  if (!options) return std::unexpected(options.error());
  auto packs = sim::SimPackSet::Create(*host->clock_, std::move(*options));
  if (!packs) return std::unexpected(packs.error());
  host->sim_packs_ = std::move(*packs);
  return host;
}

link::SurveySettings AdapterHost::SurveySettingsFor(
    std::optional<std::uint16_t> hid_product_id,
    const std::optional<std::string>& serial_prefix) const {
  link::SurveySettings settings;
  settings.vendor_id = constants_.adapter_vendor_id;
  settings.hid_product_id = hid_product_id.value_or(common::kHidProductId);
  settings.bulk_product_id = common::kBulkProductId;
  settings.serial_prefix = serial_prefix.value_or(std::string(common::kDefaultSerialPrefix));
  return settings;
}

AdapterList AdapterHost::ListAdapters(const link::SurveySettings& settings) {
  // Backends of the listing's own: it shares no device list with a link at work.
  AdapterBackends backends;
  if (sim_packs_) {
    backends.owned_hid_ = sim_packs_->NewHidView();
    backends.owned_usb_ = sim_packs_->NewUsbView();
  } else {
    backends.owned_hid_ = std::make_unique<link::HidapiBackend>();
    backends.owned_usb_ = std::make_unique<link::LibusbBackend>();
  }
  Wire(backends);
  const link::AdapterSurvey survey = link::SurveyAdapters(backends.hid(), backends.usb(), settings);
  AdapterList list{simulated(), survey.Adapters(settings), {}};
  if (survey.usb_fault) list.usb_problem = link::DescribeFault(survey.usb_fault);
  return list;
}

std::expected<std::unique_ptr<AdapterBackends>, std::string> AdapterHost::BackendsFor(
    const link::AdapterChoice& choice) {
  auto backends = std::make_unique<AdapterBackends>();
  if (!sim_packs_) {
    backends->owned_hid_ = std::make_unique<link::HidapiBackend>();
    backends->owned_usb_ = std::make_unique<link::LibusbBackend>();
  } else if (const auto index =
                 choice.any() ? std::optional<std::size_t>(0) : sim_packs_->Find(choice.key)) {
    auto pack = sim_packs_->Use(*index);
    if (!pack) return std::unexpected(pack.error());
    backends->pack_ = *pack;
    backends->hid_ = &(*pack)->hid_backend();
    backends->usb_ = &(*pack)->usb_backend();
  } else {
    backends->owned_hid_ = sim_packs_->NewHidView();
    backends->owned_usb_ = sim_packs_->NewUsbView();
  }
  Wire(*backends);
  return backends;
}

void AdapterHost::Wire(AdapterBackends& backends) {
  if (backends.owned_hid_) backends.hid_ = backends.owned_hid_.get();
  if (backends.owned_usb_) backends.usb_ = backends.owned_usb_.get();
  if (!tracer_) return;
  backends.traced_hid_ = std::make_unique<link::ObservedHidBackend>(*backends.hid_, *tracer_);
  backends.traced_usb_ = std::make_unique<link::ObservedUsbBackend>(*backends.usb_, *tracer_);
  backends.hid_ = backends.traced_hid_.get();
  backends.usb_ = backends.traced_usb_.get();
}

}  // namespace cw::app
