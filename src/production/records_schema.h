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
namespace cw::production {

// The statements that create the current layout on an empty database, in order.
std::vector<std::string> SchemaStatements(const SqlDialect& dialect);

}  // namespace cw::production
