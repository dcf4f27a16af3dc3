#include "sim/sim_pack.h"

#include <fmt/format.h>

#include "link/hid_reports.h"
#include "sim/pack_state_file.h"
#include "sim/sim_bus.h"

namespace cw::sim {

std::optional<SimAdapters> SimAdaptersNamed(std::string_view word) {
  if (word == "hid") return SimAdapters::kHid;
  if (word == "bulk") return SimAdapters::kBulk;
  if (word == "both") return SimAdapters::kBoth;
  return std::nullopt;
}

SimAdapters WithBulkAdapter(SimAdapters adapters) {
  return adapters == SimAdapters::kHid ? SimAdapters::kBulk : adapters;
}

SimOptions DefaultSimOptions(const common::ProductConstants& constants, SimAdapters kind) {
  SimOptions options;
  options.constants = constants;
  options.hid_adapters.clear();
  // The real adapters of both kinds report the serial number the bulk transport asks for.
  const std::string serial = std::string(common::kDefaultSerialPrefix) + common::kSerialSuffix;
  if (kind != SimAdapters::kBulk) {
    options.hid_adapters.push_back(
        {constants.adapter_vendor_id, common::kHidProductId, link::hid::kUsagePage, serial});
  }
  if (kind != SimAdapters::kHid) {
    options.bulk_adapters.push_back({constants.adapter_vendor_id, common::kBulkProductId, serial});
  }
  return options;
}

std::expected<SimOptions, std::string> SimOptionsFor(const common::ProductConstants& constants,
                                                     SimAdapters kind, std::string_view faults,
                                                     std::string state_file) {
  SimOptions options = DefaultSimOptions(constants, kind);
  if (!faults.empty()) {
    auto parsed = ParseFaults(faults);
    if (!parsed) return std::unexpected(parsed.error());
    options.faults = *parsed;
  }
  options.state_file = std::move(state_file);
  return options;
}

SimPack::SimPack(common::Clock& clock, SimOptions options)
    : options_(std::move(options)),
      gauge_(std::make_unique<SimGauge>(clock, options_.constants)),
      bus_(std::make_shared<SimBus>(gauge_.get(), options_.faults)),
      hid_(std::make_unique<SimHidAdapter>(bus_, options_.hid_adapters)),
      bulk_(std::make_unique<SimBulkAdapter>(bus_, options_.bulk_adapters, clock)) {
  gauge_->SetFaults(options_.faults);
  if (options_.faults.safety_alarm != 0) gauge_->RaiseSafetyAlarm(options_.faults.safety_alarm);
  gauge_->SetBootTiming(options_.boot_timing);
  for (const SimHidAdapterConfig& adapter : options_.hid_adapters) {
    bus_->AddAdapterVendorId(adapter.vendor_id);
  }
  for (const SimBulkAdapterConfig& adapter : options_.bulk_adapters) {
    bus_->AddAdapterVendorId(adapter.vendor_id);
  }
  if (!options_.state_file.empty()) LoadStateFile();
}

std::expected<void, std::string> SimPack::AttachStateFile(std::string state_file) {
  std::lock_guard lock(save_mutex_);
  if (options_.state_file == state_file) {
    if (load_error_) return std::unexpected(*load_error_);
    return {};
  }
  if (!options_.state_file.empty()) {
    return std::unexpected(
        fmt::format("The pack keeps its state in {} already; it cannot take {} as well",
                    options_.state_file, state_file));
  }
  options_.state_file = std::move(state_file);
  LoadStateFile();
  if (load_error_) return std::unexpected(*load_error_);
  return {};
}

void SimPack::LoadStateFile() {
  // Other processes run on the real clock, whatever clock this pack runs on.
  common::SystemClock real_time;
  auto lock = StateFileLock::Acquire(options_.state_file, options_.state_file_wait, real_time);
  if (!lock) {
    load_error_ = lock.error();
    return;
  }
  state_lock_ = std::move(*lock);
  auto loaded = LoadGaugeState(options_.state_file);
  if (!loaded) {
    load_error_ = loaded.error();
  } else if (*loaded) {
    gauge_->Restore(std::move(**loaded));
  }
  // A state just loaded is what the file holds.
  if (!load_error_ && *loaded) saved_ = gauge_->State();
}

SimPack::~SimPack() {
  // Nobody is left to hear about a failure here; callers that care call SaveState first.
  if (!options_.state_file.empty() && !load_error_) (void)SaveState();
  bus_->Detach();
}

link::HidBackend& SimPack::hid_backend() { return *hid_; }
link::UsbBackend& SimPack::usb_backend() { return *bulk_; }
std::unique_ptr<link::UsbBackend> SimPack::NewUsbView() const { return bulk_->NewView(); }
SimGauge& SimPack::gauge() { return *gauge_; }

void SimPack::ReplaceTarget(link::SmbusTarget* target) { bus_->ReplaceTarget(target); }
void SimPack::Unplug() { bus_->Unplug(); }
void SimPack::Plug() { bus_->Plug(); }

std::expected<void, std::string> SimPack::SaveState() const {
  if (options_.state_file.empty())
    return std::unexpected(std::string("No pack state file was given"));
  if (load_error_) {
    return std::unexpected(fmt::format(
        "The pack state was not saved to {}: that file could not be loaded, and saving would "
        "overwrite it ({})",
        options_.state_file, *load_error_));
  }
  GaugeState state = gauge_->State();
  std::lock_guard lock(save_mutex_);
  if (saved_ && *saved_ == state) return {};
  auto saved = SaveGaugeState(options_.state_file, state);
  if (saved) saved_ = std::move(state);
  return saved;
}

}  // namespace cw::sim
