#pragma once

#include <expected>
#include <filesystem>
#include <memory>
#include <string>

#include "production/sql_database.h"

namespace cw::production {

// How long a connection waits for another one's write to end before it gives up: a serial
// allocation or a run's end takes milliseconds, so this is only ever reached by a stuck process.
inline constexpr int kSqliteBusyTimeoutMs = 30'000;

// A records file: WAL mode (readers never wait for the writer; many workers and processes on
// one file), full sync (a serial number once issued survives a power cut), foreign keys on.
// `create`: a missing file is made; otherwise it is an error.
std::expected<std::unique_ptr<SqlDatabase>, std::string> OpenSqliteDatabase(
    const std::filesystem::path& path, bool create);

}  // namespace cw::production
