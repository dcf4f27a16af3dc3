#pragma once

#include <string>
#include <vector>

#include "link/adapter_survey.h"

namespace cw::app {

// The adapters attached to the machine (or to the simulated set), as `adapters` lists them.
struct AdapterList {
  bool simulated = false;
  // The devices with the adapter's vendor and one of its product ids, in the order the platform
  // lists them, HID first.
  std::vector<link::AdapterSeen> adapters;
  // Set when the USB devices could not be listed: the bulk adapters are then unknown.
  std::string usb_problem;

  // What picks `adapter` on the command line: "hid:KEY" or "bulk:KEY" after --device, or
  // "adapter=hid:KEY" / "adapter=bulk:KEY" at the end of the simulated set's device string.
  std::string Select(const link::AdapterSeen& adapter) const;
};

}  // namespace cw::app
