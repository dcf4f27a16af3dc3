#pragma once

#include <optional>
#include <string>

#include "common/front_end.h"
#include "link/gauge_link.h"

namespace cw::app {

// The About box's version lines. Without an answer from the adapter the second line says so.
struct AboutText {
  std::string text;
  bool adapter_answered = false;
  // What the lines say, for front ends that show it otherwise.
  std::string program_version;
  std::string_view program_date;
  std::optional<link::AdapterVersion> adapter;
};
// The adapter firmware's date as the box shows it ("23/05/17").
std::string AdapterDateText(const link::AdapterVersion& version);
// Reads the adapter's version through `link`.
AboutText AboutVersionText(link::GaugeLink& link);
// The same with `scan` paused around the read, so that the scan is off the bus meanwhile.
AboutText AboutVersionText(link::GaugeLink& link, common::ScanPause& scan);

}  // namespace cw::app
