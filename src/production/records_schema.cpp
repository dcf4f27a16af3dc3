#include "production/records_schema.h"

#include <fmt/format.h>

namespace cw::production {

std::vector<std::string> SchemaStatements(const SqlDialect& dialect) {
  // Times are ISO 8601 UTC text: the same in both databases, readable in any SQL shell, and in
  // order as text.
  return {
      fmt::format(R"(CREATE TABLE IF NOT EXISTS runs (
  id {},
  station TEXT NOT NULL,
  host TEXT NOT NULL,
  operator_name TEXT NOT NULL,
  adapter_serial TEXT NOT NULL,
  recipe_name TEXT NOT NULL,
  recipe_sha256 TEXT NOT NULL,
  files TEXT NOT NULL,
  device_type BIGINT,
  firmware_version BIGINT,
  serial_parameter TEXT,
  pack_serial BIGINT,
  result TEXT NOT NULL,
  failed_step TEXT,
  failure TEXT,
  cause TEXT,
  started_at TEXT NOT NULL,
  ended_at TEXT,
  duration_ms BIGINT,
  simulated BIGINT NOT NULL DEFAULT 0,
  owner_pid BIGINT))",
                  dialect.id_column),
      "CREATE INDEX IF NOT EXISTS runs_started_at ON runs (started_at)",
      fmt::format(R"(CREATE TABLE IF NOT EXISTS steps (
  id {},
  run_id BIGINT NOT NULL REFERENCES runs (id),
  step_index BIGINT NOT NULL,
  step TEXT NOT NULL,
  attempt BIGINT NOT NULL,
  result TEXT NOT NULL,
  failure TEXT,
  cause TEXT,
  measurements TEXT,
  started_at TEXT NOT NULL,
  ended_at TEXT NOT NULL,
  duration_ms BIGINT NOT NULL,
  UNIQUE (run_id, step_index)))",
                  dialect.id_column),
      fmt::format(R"(CREATE TABLE IF NOT EXISTS serial_ranges (
  id {},
  parameter TEXT NOT NULL,
  first_number BIGINT NOT NULL,
  last_number BIGINT NOT NULL,
  step BIGINT NOT NULL,
  next_number BIGINT NOT NULL,
  created_at TEXT NOT NULL,
  UNIQUE (parameter, first_number, last_number, step)))",
                  dialect.id_column),
      R"(CREATE TABLE IF NOT EXISTS serials (
  parameter TEXT NOT NULL,
  number BIGINT NOT NULL,
  range_id BIGINT NOT NULL REFERENCES serial_ranges (id),
  run_id BIGINT NOT NULL REFERENCES runs (id),
  state TEXT NOT NULL,
  issued_at TEXT NOT NULL,
  PRIMARY KEY (parameter, number)))",
      "CREATE INDEX IF NOT EXISTS serials_run_id ON serials (run_id)",
      // One row: the id of these records, made with them.
      R"(CREATE TABLE IF NOT EXISTS store_info (
  store_id TEXT NOT NULL,
  created_at TEXT NOT NULL))",
  };
}

}  // namespace cw::production
