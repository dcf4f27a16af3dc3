#pragma once

#include <memory>
#include <optional>

#include "common/clock.h"
#include "common/product_constants.h"
#include "exports/pipe_table.h"
#include "link/usb_backend.h"

namespace cw::sim {
class SimPack;
}

namespace cw::exports {

// Environment variable that chooses what the exported routines talk to.
inline constexpr const char* kDeviceVariable = "CWPIPES_DEVICE";

enum class PipeBackendChoice {
  kUsb,   // real adapters through libusb (unset, empty, "usb" or "auto")
  kSim,   // the simulated pack's bulk adapter on the system clock ("sim", "sim:...")
  kNone,  // anything else: every open fails rather than guess what a mistyped name meant
};

// `device` is the variable's value, or null when it is not set.
PipeBackendChoice ChooseBackend(const char* device);

// The product constants for the library: a cellwarden.ini next to the library, then in the
// user's configuration folder, over the built-in defaults. nullopt when a file exists but does
// not parse: the library then opens nothing rather than look for the wrong adapter.
std::optional<common::ProductConstants> LibraryConstants();

// Everything the exported routines work on: the chosen backend and the handle table over it.
class PipeLibrary {
 public:
  explicit PipeLibrary(PipeBackendChoice choice,
                       common::ProductConstants constants = common::ProductConstants{});
  ~PipeLibrary();

  PipeLibrary(const PipeLibrary&) = delete;
  PipeLibrary& operator=(const PipeLibrary&) = delete;

  // Null when the choice named no backend.
  PipeTable* table() { return table_.get(); }

 private:
  common::SystemClock clock_;
  std::unique_ptr<link::UsbBackend> usb_;
  std::unique_ptr<sim::SimPack> sim_;
  // Last, so it is destroyed (closing its device) before the backend it uses.
  std::unique_ptr<PipeTable> table_;
};

}  // namespace cw::exports
