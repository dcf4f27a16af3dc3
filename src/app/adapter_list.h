#pragma once

#include <string>
#include <vector>

#include "link/adapter_connection.h"
#include "link/adapter_survey.h"

namespace cw::app {

// One adapter attached to the machine (or to the simulated set), as `adapters` lists it.
struct AdapterEntry {
  link::Transport transport = link::Transport::kHid;
  std::string serial;  // empty when the adapter reports none, or could not be opened to read it
  std::string node;    // HID: its hidraw node; bulk: its USB device node
  bool can_open = false;
  std::string problem;  // why it cannot be opened; empty when it can
  // What picks it on the command line: "hid:KEY" or "bulk:KEY" after --device, or
  // "adapter=hid:KEY" / "adapter=bulk:KEY" at the end of the simulated set's device string. KEY
  // is the serial number where no other adapter of its kind shares it, else the node.
  std::string select;
  bool operator==(const AdapterEntry&) const = default;
};

struct AdapterList {
  bool simulated = false;
  std::vector<AdapterEntry> adapters;  // in the order the platform lists them, HID first
  // Set when the USB devices could not be listed: the bulk adapters are then unknown.
  std::string usb_problem;
  bool operator==(const AdapterList&) const = default;
};

// The adapters of a survey: the devices with the adapter's vendor and one of its product ids.
AdapterList AdaptersOf(const link::AdapterSurvey& survey, const link::SurveySettings& settings,
                       bool simulated);

}  // namespace cw::app
