#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "sim/sim_pack.h"

namespace cw::app {

using sim::SimTransport;

// What a device string selects:
//   auto                           real adapters (HID, then bulk, by the transport rules)
//   sim                            the simulated pack behind a simulated HID adapter
//   sim:transport=bulk|both|hid    which simulated adapters are plugged in
//   sim:state=FILE                 load the pack from FILE and save it back on exit
//   sim:faults=nack-every=7,seed=1 fault injection
//   sim:clock=virtual              every wait advances a virtual clock instead of sleeping
// Keys combine with ':' ("sim:transport=bulk:state=pack.json:clock=virtual").
struct DeviceSelection {
  bool simulated = false;
  SimTransport transport = SimTransport::kHid;
  std::string state_file;
  std::string faults;
  bool virtual_clock = false;
  bool operator==(const DeviceSelection&) const = default;
};

std::expected<DeviceSelection, std::string> ParseDeviceString(std::string_view text);

// The device options every front end takes: --device TEXT, --sim (short for --device sim) and
// --sim-state FILE (the simulated pack kept in FILE, a name taken as it stands; refused with a
// real device).
std::expected<DeviceSelection, std::string> SelectDevice(std::string_view device, bool sim,
                                                         std::string_view sim_state);

}  // namespace cw::app
