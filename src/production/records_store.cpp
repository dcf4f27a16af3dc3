#include "production/records_store.h"

#include <fmt/format.h>

#include <cctype>

#include "production/messages.h"
#include "production/postgres_database.h"
#include "production/sql_records_store.h"
#include "production/sqlite_database.h"

namespace cw::production {
namespace {

// A scheme and "//", or a PostgreSQL scheme mistyped ("postgresql:/db", "postgres:db"): never a
// file to make.
bool LooksLikeUrl(std::string_view location) {
  if (location.find("://") != std::string_view::npos) return true;
  std::string lower(location.substr(0, std::string_view("postgres").size()));
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower == "postgres" && location.find(':') != std::string_view::npos &&
         location.find('/') > location.find(':');
}

}  // namespace

std::optional<std::string> RecordsLocation(std::string_view named, bool simulated,
                                           const char* xdg_data_home, const char* home) {
  if (!named.empty()) return std::string(named);
  // The base directory rules: a relative XDG_DATA_HOME is ignored.
  std::filesystem::path folder;
  if (xdg_data_home != nullptr && std::filesystem::path(xdg_data_home).is_absolute()) {
    folder = xdg_data_home;
  } else if (home != nullptr && home[0] != '\0') {
    folder = std::filesystem::path(home) / ".local" / "share";
  } else {
    return std::nullopt;
  }
  return (folder / "cellwarden" / (simulated ? "simulated-records.sqlite" : "records.sqlite"))
      .string();
}

StoreResult<std::unique_ptr<RecordsStore>> OpenRecordsStore(std::string_view location,
                                                            OpenMode mode) {
  const auto unavailable = [](std::string message) {
    return std::unexpected(StoreError{StoreProblem::kUnavailable, std::move(message)});
  };
  std::expected<std::unique_ptr<SqlDatabase>, std::string> database;
  if (LooksLikeUrl(location) && !IsPostgresUrl(location)) {
    return std::unexpected(
        StoreError{StoreProblem::kNotRecords,
                   fmt::format("{} is no records location: a PostgreSQL URL begins postgresql:// "
                               "(postgresql://user@host/database), a file name needs no scheme",
                               location)});
  }
  if (IsPostgresUrl(location)) {
    database = OpenPostgresDatabase(std::string(location));
  } else {
    const std::filesystem::path path(location);
    std::error_code error;
    if (mode == OpenMode::kCreate && path.has_parent_path() &&
        !std::filesystem::is_directory(path.parent_path(), error)) {
      std::filesystem::create_directories(path.parent_path(), error);
      if (error) {
        return unavailable(fmt::format("the folder {} cannot be made: {}",
                                       path.parent_path().string(), error.message()));
      }
    }
    database = OpenSqliteDatabase(path, mode == OpenMode::kCreate);
  }
  if (!database) return unavailable(std::move(database.error()));
  return SqlRecordsStore::Open(std::move(*database), mode);
}

}  // namespace cw::production
