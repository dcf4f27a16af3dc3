#pragma once

#include <expected>
#include <memory>
#include <string>
#include <string_view>

#include "production/sql_database.h"

namespace cw::production {

// "postgresql://..." or "postgres://...": the records are on a PostgreSQL server.
bool IsPostgresUrl(std::string_view location);

// A connection to the server the URL names (libpq's URL form: user, password, host or socket
// folder, port, database, options). The server's notices are not printed.
std::expected<std::unique_ptr<SqlDatabase>, std::string> OpenPostgresDatabase(
    const std::string& url);

}  // namespace cw::production
