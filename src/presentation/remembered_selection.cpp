#include "presentation/remembered_selection.h"

#include <algorithm>

namespace cw::presentation {
namespace {

bool Named(const std::vector<std::string>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

RowTicks CurrentTicks(const monitor::RegisterTable& table) {
  RowTicks ticks;
  for (monitor::TableId id : monitor::kScanTables) {
    for (const monitor::SbsRegisterDef& row : table.rows(id)) {
      if (row.scan) ticks.scanned.emplace_back(row.name);
      if (row.log) ticks.logged.emplace_back(row.name);
    }
  }
  return ticks;
}

void RestoreTicks(monitor::SbsSession& session, const monitor::RegisterTable& table,
                  const RowTicks& ticks) {
  for (monitor::TableId id : monitor::kScanTables) {
    const auto rows = table.rows(id);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const monitor::RowRef ref{id, i};
      const bool log = Named(ticks.logged, rows[i].name);
      const bool scan = log || Named(ticks.scanned, rows[i].name);
      if (log && !rows[i].log) {
        session.ToggleLog(ref);
      } else if (scan && !rows[i].scan) {
        session.ToggleScan(ref);
      }
    }
  }
}

}  // namespace cw::presentation
