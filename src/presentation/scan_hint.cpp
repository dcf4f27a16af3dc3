#include "presentation/scan_hint.h"

#include <algorithm>

namespace cw::presentation {

bool NeedsScanHint(const monitor::RegisterTable& table) {
  return std::none_of(
      monitor::kScanTables.begin(), monitor::kScanTables.end(), [&](monitor::TableId id) {
        const auto rows = table.rows(id);
        return std::any_of(rows.begin(), rows.end(),
                           [](const monitor::SbsRegisterDef& row) { return row.scan; });
      });
}

}  // namespace cw::presentation
