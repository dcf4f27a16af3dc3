#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The little a records store asks of a SQL database, so that one store serves SQLite and
// PostgreSQL alike: statements with "?" parameters, rows of text, and the few phrases in which
// the two differ.
namespace cw::production {

using SqlValue = std::variant<std::nullptr_t, std::int64_t, std::string>;
using SqlRow = std::vector<std::optional<std::string>>;  // nothing: NULL

struct SqlError {
  // Another connection took the same row or number first; the transaction may be tried again.
  bool conflict = false;
  std::string message;
};

template <typename T>
using SqlResult = std::expected<T, SqlError>;

// Where the two databases differ.
struct SqlDialect {
  std::string_view begin_write;   // starts a transaction that will write
  std::string_view begin_read;    // starts one that reads from one moment of the records
  std::string_view id_column;     // an id column numbered by the database
  std::string_view schema_lock;   // serialises schema changes between connections, or empty
  std::string_view count_tables;  // how many tables the database (or its schema) holds
  std::string_view adopt;         // readies a connection to records found or made, or empty
};

// One connection. Not for two threads at once: the store serialises its calls.
class SqlDatabase {
 public:
  virtual ~SqlDatabase() = default;
  virtual const SqlDialect& dialect() const = 0;
  // One statement; "?" marks each parameter. The rows it returns, every value as text.
  virtual SqlResult<std::vector<SqlRow>> Query(std::string_view sql,
                                               std::span<const SqlValue> parameters) = 0;
  // Where the records are, for messages: a file, or a server without its password.
  virtual std::string Location() const = 0;
  // Why what this connection writes to is no longer what its location names (a file deleted or
  // replaced after it was opened); nothing while it still is.
  virtual std::optional<std::string> Replaced() const { return std::nullopt; }
};

}  // namespace cw::production
