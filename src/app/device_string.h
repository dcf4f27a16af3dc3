#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "link/adapter_connection.h"
#include "sim/sim_pack.h"

namespace cw::app {

using sim::SimAdapters;

// One pack's own faults in a set of simulated packs: "faults=drop-after=40@2".
struct PackFaults {
  int pack = 0;  // from 1
  std::string faults;
  bool operator==(const PackFaults&) const = default;
};

// What a device string selects:
//   auto                           real adapters (HID, then bulk, by the transport rules)
//   hid:SERIAL_OR_PATH             the real HID adapter with this serial number, or on this node
//                                  (/dev/hidraw3) or collection path
//   bulk:SERIAL_OR_NODE            the real bulk adapter with this serial number, or on this node
//                                  (/dev/bus/usb/001/005): bulk adapters often share a serial
//   sim                            the simulated pack behind a simulated HID adapter
//   sim:transport=bulk|both|hid    which simulated adapters are plugged in (into every pack)
//   sim:state=FILE                 load the pack from FILE and save it back on exit
//   sim:faults=nack-every=7,seed=1 fault injection (every pack)
//   sim:clock=virtual              every wait advances a virtual clock instead of sleeping
//   sim:packs=N                    N simulated packs, each with its own adapters, serial number
//                                  (888800000001, 888800000002, ...), gauge, bus and faults;
//                                  state=DIR then keeps one file per pack in DIR, named by its
//                                  serial number (DIR/888800000002.json)
//   sim:faults=...@K               the faults of pack K only (repeat the key for other packs)
//   sim:adapter=SERIAL_OR_NODE     the pack to drive (its adapters' serial number, or a node such
//                                  as sim:hid1); without it, the first pack. adapter=hid:KEY and
//                                  adapter=bulk:KEY drive it through that kind of adapter only.
//                                  It comes last: the name takes the rest of the string.
// Keys combine with ':'
// ("sim:packs=3:state=packs:faults=nack-every=2@3:adapter=bulk:888800000002").
struct DeviceSelection {
  bool simulated = false;
  SimAdapters transport = SimAdapters::kHid;
  std::string state_file;  // with packs=N: the folder of the packs' files
  std::string faults;
  bool virtual_clock = false;
  int packs = 0;  // 0: not given (one pack, whose state is a file)
  std::vector<PackFaults> pack_faults;
  // The adapter to open: hid:/bulk: for a real one, adapter= for a simulated pack. Empty key:
  // the one the transport rules find first.
  link::AdapterChoice adapter;
  bool operator==(const DeviceSelection&) const = default;
};

std::expected<DeviceSelection, std::string> ParseDeviceString(std::string_view text);

// The device options every front end takes: --device TEXT, --sim (short for --device sim) and
// --sim-state FILE (the simulated pack kept in FILE, a name taken as it stands; refused with a
// real device).
std::expected<DeviceSelection, std::string> SelectDevice(std::string_view device, bool sim,
                                                         std::string_view sim_state);

}  // namespace cw::app
