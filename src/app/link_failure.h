#pragma once

#include <string_view>

#include "link/gauge_link.h"

namespace cw::app {

// Why the last transaction failed, in the status bar's words. The adapter is looked for once
// more first: an adapter that stopped answering because it was unplugged then reads "USB
// Disconnected", and a one-shot exchange that left the status as it was is named for what it is.
std::string_view LinkFailureText(link::GaugeLink& link);

}  // namespace cw::app
