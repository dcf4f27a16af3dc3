#include "production/sqlite_database.h"

#include <fmt/format.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include "production/messages.h"

namespace cw::production {
namespace {

constexpr SqlDialect kSqliteDialect{
    // Takes the write lock at once: two connections can never both read a serial cursor and
    // then both write it.
    .begin_write = "BEGIN IMMEDIATE",
    // Takes no lock until the first read; in WAL mode writers go on beside it.
    .begin_read = "BEGIN",
    .id_column = "INTEGER PRIMARY KEY",
    .schema_lock = "",  // BEGIN IMMEDIATE already holds every other writer off
    .count_tables = "SELECT COUNT(*) AS tables FROM sqlite_master WHERE type = 'table'",
    // Readers never wait for a writer. Set only once the file is known to be records: a file of
    // another program is not changed.
    .adopt = "PRAGMA journal_mode = WAL",
};

// The file a connection has open, to notice it deleted or replaced under the station.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{status.st_dev, status.st_ino};
}

struct StatementCloser {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

class SqliteDatabase final : public SqlDatabase {
 public:
  SqliteDatabase(sqlite3* db, std::filesystem::path path)
      : db_(db), path_(std::move(path)), identity_(IdentityOf(path_)) {}
  ~SqliteDatabase() override { sqlite3_close_v2(db_); }

  const SqlDialect& dialect() const override { return kSqliteDialect; }
  std::string Location() const override { return path_.string(); }

  std::optional<std::string> Replaced() const override {
    const auto now = IdentityOf(path_);
    if (now && now == identity_) return std::nullopt;
    return fmt::format(fmt::runtime(now ? "the records file {} was replaced by another file while "
                                          "the station had it open: nothing "
                                          "more is written to it"
                                        : "the records file {} was deleted while the station had "
                                          "it open: nothing more is written "
                                          "to it"),
                       path_.string());
  }

  SqlResult<std::vector<SqlRow>> Query(std::string_view sql,
                                       std::span<const SqlValue> parameters) override {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &raw, nullptr) !=
        SQLITE_OK) {
      return Error(sqlite3_errcode(db_));
    }
    std::unique_ptr<sqlite3_stmt, StatementCloser> statement(raw);
    for (std::size_t i = 0; i < parameters.size(); ++i) {
      const int index = static_cast<int>(i + 1);
      const int bound = std::visit(
          [&](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::nullptr_t>) {
              return sqlite3_bind_null(raw, index);
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
              return sqlite3_bind_int64(raw, index, value);
            } else {
              return sqlite3_bind_text(raw, index, value.data(), static_cast<int>(value.size()),
                                       SQLITE_TRANSIENT);
            }
          },
          parameters[i]);
      if (bound != SQLITE_OK) return Error(bound);
    }
    auto columns = std::make_shared<std::vector<std::string>>();
    for (int column = 0; column < sqlite3_column_count(raw); ++column) {
      columns->emplace_back(sqlite3_column_name(raw, column));
    }
    std::vector<SqlRow> rows;
    for (;;) {
      const int stepped = sqlite3_step(raw);
      if (stepped == SQLITE_DONE) return rows;
      if (stepped != SQLITE_ROW) return Error(sqlite3_extended_errcode(db_));
      SqlRow& row = rows.emplace_back(columns);
      for (int column = 0; column < static_cast<int>(columns->size()); ++column) {
        if (sqlite3_column_type(raw, column) == SQLITE_NULL) {
          row.values.emplace_back();
        } else {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, column));
          row.values.emplace_back(
              std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(raw, column))));
        }
      }
    }
  }

 private:
  std::unexpected<SqlError> Error(int code) const {
    // Only a constraint can fail a write that holds the write lock: a number someone else took.
    return std::unexpected(SqlError{(code & 0xFF) == SQLITE_CONSTRAINT, sqlite3_errmsg(db_)});
  }

  sqlite3* db_;
  std::filesystem::path path_;
  std::optional<FileIdentity> identity_;
};

}  // namespace

std::expected<std::unique_ptr<SqlDatabase>, std::string> OpenSqliteDatabase(
    const std::filesystem::path& path, bool create) {
  std::error_code error;
  if (!create && !std::filesystem::exists(path, error)) {
    return std::unexpected(fmt::format(
        "no records at {}: a station run makes them (or name them with --records)", path.string()));
  }
  if (std::filesystem::is_directory(path, error)) {
    return std::unexpected(fmt::format("{} is a folder, not a records file", path.string()));
  }
  sqlite3* db = nullptr;
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    std::string why = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close_v2(db);
    return std::unexpected(fmt::format(messages::kRecordsUnopenable, path.string(), why));
  }
  sqlite3_busy_timeout(db, kSqliteBusyTimeoutMs);
  auto database = std::make_unique<SqliteDatabase>(db, path);
  for (const std::string_view pragma : {"PRAGMA synchronous = FULL", "PRAGMA foreign_keys = ON"}) {
    if (auto done = database->Query(pragma, {}); !done) {
      return std::unexpected(
          fmt::format(messages::kRecordsUnopenable, path.string(), done.error().message));
    }
  }
  return database;
}

}  // namespace cw::production
