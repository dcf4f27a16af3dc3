#include "exports/pipe_library.h"

#include <dlfcn.h>

#include <filesystem>
#include <string_view>

#include "app/device_string.h"
#include "app/product_constants_file.h"
#include "link/libusb_backend.h"
#include "sim/sim_pack.h"

namespace cw::exports {

PipeBackendChoice ChooseBackend(const char* device) {
  const std::string_view name = device == nullptr ? std::string_view{} : device;
  if (name == "usb") return PipeBackendChoice::kUsb;  // the library's own name for "auto"
  const auto selection = app::ParseDeviceString(name);
  if (!selection) return PipeBackendChoice::kNone;
  return selection->simulated ? PipeBackendChoice::kSim : PipeBackendChoice::kUsb;
}

std::optional<common::ProductConstants> LibraryConstants() {
  Dl_info info{};
  std::filesystem::path directory;
  if (dladdr(reinterpret_cast<void*>(&LibraryConstants), &info) != 0 && info.dli_fname) {
    directory = std::filesystem::path(info.dli_fname).parent_path();
  }
  auto constants = app::LoadProductConstants(directory);
  if (!constants) return std::nullopt;
  return *constants;
}

PipeLibrary::PipeLibrary(PipeBackendChoice choice, common::ProductConstants constants) {
  link::UsbBackend* backend = nullptr;
  switch (choice) {
    case PipeBackendChoice::kUsb:
      usb_ = std::make_unique<link::LibusbBackend>();
      backend = usb_.get();
      break;
    case PipeBackendChoice::kSim:
      sim_ = std::make_unique<sim::SimPack>(
          clock_, sim::DefaultSimOptions(constants, sim::SimTransport::kBulk));
      backend = &sim_->usb_backend();
      break;
    case PipeBackendChoice::kNone:
      break;
  }
  if (backend != nullptr) table_ = std::make_unique<PipeTable>(*backend, std::move(constants));
}

PipeLibrary::~PipeLibrary() = default;

}  // namespace cw::exports
