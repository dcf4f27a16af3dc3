#pragma once

#include "monitor/register_table.h"

namespace cw::presentation {

// The SBS page starts with no row ticked, so nothing is read until the user asks: while no row
// of tables A to C has its Scan tick, the page says how to start.
bool NeedsScanHint(const monitor::RegisterTable& table);

}  // namespace cw::presentation
