#pragma once

#include <string>

#include "common/front_end.h"
#include "link/gauge_link.h"

namespace cw::app {

// The About box's version lines. Without an answer from the adapter the second line says so.
struct AboutText {
  std::string text;
  bool adapter_answered = false;
};
// Reads the adapter's version through `link`.
AboutText AboutVersionText(link::GaugeLink& link);
// The same with `scan` paused around the read, so that the scan is off the bus meanwhile.
AboutText AboutVersionText(link::GaugeLink& link, common::ScanPause& scan);

}  // namespace cw::app
