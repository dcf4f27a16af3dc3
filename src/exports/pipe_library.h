#pragma once

#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "app/device_string.h"
#include "common/clock.h"
#include "common/product_constants.h"
#include "exports/pipe_failure.h"
#include "exports/pipe_table.h"
#include "link/usb_backend.h"

namespace cw::sim {
class SimPack;
}

namespace cw::exports {

// Environment variable that chooses what the exported routines talk to.
inline constexpr const char* kDeviceVariable = "CWPIPES_DEVICE";

// The variable's value (null when it is not set) as a device string: "usb" is the library's own
// name for "auto"; everything else is read as every front end reads --device.
std::expected<app::DeviceSelection, std::string> ParsePipeDevice(const char* device);

// The product constants for the library: a cellwarden.ini next to the library, then in the
// user's configuration folder, over the built-in defaults; the file's reason when one exists
// but cannot be used, so the library never looks for the wrong adapter.
std::expected<common::ProductConstants, std::string> LibraryConstants();

// Everything the exported routines work on: the chosen backend (libusb, or a simulated pack
// built from the whole device string: faults, state file and clock) and the handle table over
// it. When the setup cannot be used there is no table and every routine fails with the reason.
class PipeLibrary {
 public:
  PipeLibrary(const char* device, std::expected<common::ProductConstants, std::string> constants);
  ~PipeLibrary();

  PipeLibrary(const PipeLibrary&) = delete;
  PipeLibrary& operator=(const PipeLibrary&) = delete;

  // Null when the setup cannot be used; SetupFailure then says why.
  PipeTable* table() { return table_.get(); }
  // Why there is no table, as `routine` reports it.
  PipeFailure SetupFailure(std::string_view routine) const;

  // Whether a simulated pack keeps its state in a file, to be saved at exit.
  bool keeps_state() const;
  // Saves that state; the simulated pack's reason when it cannot.
  std::expected<void, std::string> SaveState();

 private:
  // The setup's reason with {0} left for the routine's name.
  std::string setup_error_;
  std::unique_ptr<common::Clock> clock_;
  std::unique_ptr<link::UsbBackend> usb_;
  std::unique_ptr<sim::SimPack> sim_;
  // Last, so it is destroyed (closing its device) before the backend it uses.
  std::unique_ptr<PipeTable> table_;
};

}  // namespace cw::exports
