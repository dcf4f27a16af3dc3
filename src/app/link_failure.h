#pragma once

#include <string_view>

#include "link/gauge_link.h"

namespace cw::app {

// Why the last transaction failed, in the status bar's words. A failed adapter exchange leaves
// the link status of the transaction before it, so the adapter is looked for once more first:
// an unplugged one then reads "USB Disconnected" rather than "USB Connected".
std::string_view LinkFailureText(link::GaugeLink& link);

}  // namespace cw::app
