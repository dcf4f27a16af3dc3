#pragma once

#include <algorithm>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/parse.h"

// The little a records store asks of a SQL database, so that one store serves SQLite and
// PostgreSQL alike: statements with "?" parameters, rows of text read by column name,
// transactions, and the few phrases in which the two differ.
namespace cw::production {

using SqlValue = std::variant<std::nullptr_t, std::int64_t, std::string>;

// One row of a result, its values (as text) read by the names the statement gave its columns.
struct SqlRow {
  std::shared_ptr<const std::vector<std::string>> columns;  // shared by a result's rows
  std::vector<std::optional<std::string>> values;           // nothing: NULL

  // A name the statement has no column of is a fault of the statement: it throws (and ends the
  // program) rather than read as NULL.
  const std::optional<std::string>& Value(std::string_view column) const {
    return values.at(
        static_cast<std::size_t>(std::ranges::find(*columns, column) - columns->begin()));
  }
  // NULL reads as "".
  std::string Text(std::string_view column) const { return Value(column).value_or(""); }
  // Nothing for NULL and for anything but a whole number.
  std::optional<std::int64_t> Int(std::string_view column) const {
    const auto number = Value(column) ? common::ParseWholeInteger(*Value(column))
                                      : std::unexpected(common::NumberError::kNotANumber);
    return number ? std::optional(*number) : std::nullopt;
  }
};

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
  std::string_view count_tables;  // how many tables the database (or its schema) holds: "tables"
  std::string_view adopt;         // readies a connection to records found or made, or empty
};

enum class Transaction { kWrite, kRead };

// One connection. Not for two threads at once: the store serialises its calls.
class SqlDatabase {
 public:
  virtual ~SqlDatabase() = default;
  virtual const SqlDialect& dialect() const = 0;
  // One statement; "?" marks each parameter. Never BEGIN, COMMIT or ROLLBACK: those are the
  // calls below, so that the connection knows whether it is inside a transaction.
  virtual SqlResult<std::vector<SqlRow>> Query(std::string_view sql,
                                               std::span<const SqlValue> parameters) = 0;
  // Every Query between Begin and Commit (or Rollback) is one transaction.
  SqlResult<void> Begin(Transaction kind) {
    return Mark(kind == Transaction::kWrite ? dialect().begin_write : dialect().begin_read, true);
  }
  SqlResult<void> Commit() { return Mark("COMMIT", false); }
  SqlResult<void> Rollback() { return Mark("ROLLBACK", false); }
  // Where the records are, for messages: a file, or a server without its password.
  virtual std::string Location() const = 0;
  // Why what this connection writes to is no longer what its location names (a file deleted or
  // replaced after it was opened); nothing while it still is.
  virtual std::optional<std::string> Replaced() const { return std::nullopt; }

 protected:
  // From the moment Begin sent its statement, whatever became of it, until Commit or Rollback.
  bool in_transaction() const { return in_transaction_; }

 private:
  // Sends the statement that begins or ends a transaction: the connection is `inside` one
  // afterwards, whatever became of the statement.
  SqlResult<void> Mark(std::string_view sql, bool inside) {
    auto done = Query(sql, {});
    in_transaction_ = inside;
    if (!done) return std::unexpected(std::move(done.error()));
    return {};
  }
  bool in_transaction_ = false;
};

}  // namespace cw::production
