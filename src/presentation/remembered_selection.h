#pragma once

#include <string>
#include <vector>

#include "monitor/register_table.h"
#include "monitor/sbs_session.h"

namespace cw::presentation {

// The SBS page's Scan and Log ticks by row name, kept from one run to the next when the user
// asks for it (the start otherwise has no row ticked).
struct RowTicks {
  std::vector<std::string> scanned;
  std::vector<std::string> logged;
};

RowTicks CurrentTicks(const monitor::RegisterTable& table);
// Ticks the named rows through the page's own rules (a logged row is scanned too); names that
// are no row of tables A to C (a later version's table) are passed over.
void RestoreTicks(monitor::SbsSession& session, const monitor::RegisterTable& table,
                  const RowTicks& ticks);

}  // namespace cw::presentation
