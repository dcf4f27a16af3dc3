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
  arrived_serial BIGINT,
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
      // The views are made again with each layout: DROP, then CREATE, as both databases take it.
      "DROP VIEW IF EXISTS failures_by_cause",
      "DROP VIEW IF EXISTS first_pass_yield",
      "DROP VIEW IF EXISTS first_runs",
      "DROP VIEW IF EXISTS runs_per_hour",
      R"(CREATE VIEW runs_per_hour AS
SELECT substr(started_at, 1, 13) || ':00:00Z' AS hour, station, recipe_name,
  COUNT(*) AS runs,
  SUM(CASE WHEN result = 'pass' THEN 1 ELSE 0 END) AS passed,
  SUM(CASE WHEN result = 'fail' THEN 1 ELSE 0 END) AS failed
FROM runs GROUP BY substr(started_at, 1, 13), station, recipe_name)",
      fmt::format(R"(CREATE VIEW first_runs AS
SELECT r.* FROM runs r WHERE r.arrived_serial IS NULL OR NOT EXISTS (
  SELECT 1 FROM runs e WHERE e.id < r.id AND e.pack_serial = r.arrived_serial
    AND e.serial_parameter = '{}'))",
                  kSbsSerialParameter),
      R"(CREATE VIEW first_pass_yield AS
SELECT station, recipe_name, recipe_sha256, COUNT(*) AS packs,
  SUM(CASE WHEN result = 'pass' THEN 1 ELSE 0 END) AS first_pass,
  100.0 * SUM(CASE WHEN result = 'pass' THEN 1 ELSE 0 END) / COUNT(*) AS first_pass_percent
FROM first_runs WHERE result IN ('pass', 'fail')
GROUP BY station, recipe_name, recipe_sha256)",
      R"(CREATE VIEW failures_by_cause AS
SELECT station, recipe_name, failed_step AS step, COALESCE(cause, 'unknown') AS cause,
  COUNT(*) AS failures
FROM runs WHERE result = 'fail'
GROUP BY station, recipe_name, failed_step, COALESCE(cause, 'unknown'))",
  };
}

}  // namespace cw::production
