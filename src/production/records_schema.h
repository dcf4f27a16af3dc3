#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "production/sql_database.h"

// The tables of the records, as statements for one database's dialect.
//
// runs           one row per pack on a station, from its start to its end
// steps          one row per attempt at a step of a run
// serial_ranges  one row per serial range a recipe has used: parameter, first, last, step and
//                the next number to try
// serials        every number issued, unique per parameter across all ranges, with its run and
//                what became of the pack
// schema_version the layout's version, one row
//
// and views for a dashboard, the same in both databases (docs/user-guide.md has their queries):
// runs_per_hour      runs, passes and failures per hour (UTC), station and recipe
// first_runs         each pack's first run: runs whose pack did not come back from an earlier run
// first_pass_yield   per station and recipe version, packs and how many passed at their first run
// failures_by_cause  failed runs per station, recipe, failing step and kind of failure
namespace cw::production {

// The statements that create the current layout on an empty database, in order.
std::vector<std::string> SchemaStatements(const SqlDialect& dialect);

// The parameter the gauge shows as its SBS serial number: a pack that comes on carrying a number
// the records issued for it is a rework of that number's run.
inline constexpr std::string_view kSbsSerialParameter = "Serial Number";

}  // namespace cw::production
