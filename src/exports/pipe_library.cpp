#include "exports/pipe_library.h"

#include <dlfcn.h>
#include <fmt/format.h>

#include <filesystem>

#include "app/product_constants_file.h"
#include "exports/messages.h"
#include "link/libusb_backend.h"
#include "sim/sim_pack.h"

namespace cw::exports {

std::expected<app::DeviceSelection, std::string> ParsePipeDevice(const char* device) {
  const std::string_view name = device == nullptr ? std::string_view{} : device;
  if (name == "usb") return app::DeviceSelection{};
  auto selection = app::ParseDeviceString(name);
  if (selection &&
      (selection->packs > 0 || !selection->pack_faults.empty() || !selection->adapter.any())) {
    return std::unexpected(
        std::string("the pipe routines drive the first bulk adapter only: packs=, faults=...@K, "
                    "hid:, bulk: and "
                    "adapter= are for cellwarden-cli and cellwarden"));
  }
  return selection;
}

std::expected<common::ProductConstants, std::string> LibraryConstants() {
  Dl_info info{};
  std::filesystem::path directory;
  if (dladdr(reinterpret_cast<void*>(&LibraryConstants), &info) != 0 && info.dli_fname) {
    directory = std::filesystem::path(info.dli_fname).parent_path();
  }
  return app::LoadProductConstants(directory);
}

PipeLibrary::PipeLibrary(const char* device,
                         std::expected<common::ProductConstants, std::string> constants) {
  const auto selection = ParsePipeDevice(device);
  if (!selection) {
    setup_error_ =
        fmt::format("CWPIPES_DEVICE=\"{}\": {}", device ? device : "", selection.error());
    return;
  }
  if (!constants) {
    setup_error_ = fmt::format("the product constants cannot be used: {}", constants.error());
    return;
  }
  link::UsbBackend* backend = nullptr;
  if (selection->simulated) {
    // The routines drive the bulk adapter only, so a pack chosen without one ("sim" means the
    // HID adapter to the other front ends) gets it plugged in.
    auto options = sim::SimOptionsFor(*constants, sim::WithBulkAdapter(selection->transport),
                                      selection->faults, selection->state_file);
    if (!options) {
      setup_error_ = fmt::format(messages::kBadSimPack, options.error());
      return;
    }
    if (selection->virtual_clock) {
      clock_ = std::make_unique<common::ManualClock>();
    } else {
      clock_ = std::make_unique<common::SystemClock>();
    }
    sim_ = std::make_unique<sim::SimPack>(*clock_, std::move(*options));
    if (const auto& error = sim_->load_error()) {
      setup_error_ = fmt::format(messages::kBadSimPack, *error);
      return;
    }
    backend = &sim_->usb_backend();
  } else {
    usb_ = std::make_unique<link::LibusbBackend>();
    backend = usb_.get();
  }
  table_ = std::make_unique<PipeTable>(*backend, std::move(*constants));
}

PipeLibrary::~PipeLibrary() = default;

PipeFailure PipeLibrary::SetupFailure(std::string_view routine) const {
  return {PipeFailureKind::kSetup, fmt::format("{}: {}", routine, setup_error_)};
}

bool PipeLibrary::keeps_state() const {
  return table_ && sim_ && !sim_->options().state_file.empty();
}

std::expected<void, std::string> PipeLibrary::SaveState() {
  if (!keeps_state()) return {};
  return sim_->SaveState();
}

}  // namespace cw::exports
