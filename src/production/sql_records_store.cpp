#include "production/sql_records_store.h"

#include <fmt/format.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <random>

#include "production/messages.h"
#include "production/records_schema.h"
#include "production/records_time.h"

namespace cw::production {
namespace {

using TransactionError = SqlRecordsStore::TransactionError;
template <typename T>
using TransactionResult = SqlRecordsStore::TransactionResult<T>;

// A transaction that lost a race to another connection is tried again this often; each try
// waits only for the other's transaction, which takes milliseconds.
constexpr int kTransactionAttempts = 20;
// The largest number a range may reach: far past any parameter, far from overflow.
constexpr std::int64_t kMaxSerialNumber = std::int64_t{1} << 53;

template <typename... Args>
std::unexpected<TransactionError> Fail(StoreProblem problem, std::string_view text,
                                       const Args&... args) {
  return std::unexpected(
      TransactionError{false, {problem, fmt::format(fmt::runtime(text), args...)}});
}

TimePoint Time(const std::optional<std::string>& text) {
  return text ? ParseUtc(*text).value_or(TimePoint{}) : TimePoint{};
}

RunResult Result(const std::string& name) {
  return ResultNamed(name).value_or(RunResult::kRunning);
}

std::string FilesJson(const std::vector<FileHash>& files) {
  nlohmann::json json = nlohmann::json::array();
  for (const FileHash& file : files) json.push_back({{"path", file.path}, {"sha256", file.sha256}});
  // A path is bytes, not always UTF-8: such a byte is kept as U+FFFD rather than failing the run.
  return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::vector<FileHash> FilesFromJson(const std::string& text) {
  std::vector<FileHash> files;
  const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
  if (!json.is_array()) return files;
  for (const nlohmann::json& item : json) {
    if (!item.is_object()) continue;
    files.push_back({item.value("path", ""), item.value("sha256", "")});
  }
  return files;
}

RunRecord RunFromRow(const SqlRow& row) {
  RunRecord run;
  run.id = row.Int("id").value_or(0);
  run.start = {row.Text("station"),
               row.Text("host"),
               row.Text("operator_name"),
               row.Text("adapter_serial"),
               row.Text("recipe_name"),
               row.Text("recipe_sha256"),
               FilesFromJson(row.Text("files")),
               Time(row.Value("started_at"))};
  run.device_type = row.Int("device_type");
  run.firmware_version = row.Int("firmware_version");
  run.serial_parameter = row.Text("serial_parameter");
  run.pack_serial = row.Int("pack_serial");
  run.arrived_serial = row.Int("arrived_serial");
  run.result = Result(row.Text("result"));
  run.failed_step = row.Text("failed_step");
  run.failure = row.Text("failure");
  run.cause = row.Text("cause");
  if (row.Value("ended_at")) run.ended_at = Time(row.Value("ended_at"));
  run.start.simulated = row.Int("simulated").value_or(0) != 0;
  return run;
}

StepRecord StepFromRow(const SqlRow& row) {
  StepRecord step;
  step.index = static_cast<int>(row.Int("step_index").value_or(0));
  step.step = row.Text("step");
  step.attempt = static_cast<int>(row.Int("attempt").value_or(0));
  step.result = Result(row.Text("result"));
  step.failure = row.Text("failure");
  step.cause = row.Text("cause");
  step.measurements = row.Text("measurements");
  step.started_at = Time(row.Value("started_at"));
  step.ended_at = Time(row.Value("ended_at"));
  return step;
}

SqlValue OrNull(const std::string& text) {
  if (text.empty()) return nullptr;
  return text;
}

// The first number of `range` at or after `next` that is not among `issued` (ascending).
std::int64_t FirstFree(const SerialRange& range, std::int64_t next,
                       const std::vector<std::int64_t>& issued) {
  std::int64_t candidate = next;
  for (const std::int64_t number : issued) {
    if (number > candidate) break;
    if (number == candidate) candidate += range.step;
  }
  return candidate;
}

// An id no other store has: a store that was deleted and made again, or a backup put back over
// another, is told from the records a station opened.
std::string NewStoreId() {
  std::random_device random;
  std::string id;
  for (int i = 0; i < 4; ++i) id += fmt::format("{:08x}", random());
  return id;
}

}  // namespace

SqlRecordsStore::SqlRecordsStore(std::unique_ptr<SqlDatabase> database)
    : database_(std::move(database)) {}

StoreResult<std::unique_ptr<RecordsStore>> SqlRecordsStore::Open(
    std::unique_ptr<SqlDatabase> database, OpenMode mode) {
  std::unique_ptr<SqlRecordsStore> store(new SqlRecordsStore(std::move(database)));
  if (auto prepared = store->PrepareSchema(mode); !prepared) {
    return std::unexpected(prepared.error());
  }
  return store;
}

std::string SqlRecordsStore::Location() const { return database_->Location(); }

TransactionResult<std::vector<SqlRow>> SqlRecordsStore::Query(
    std::string_view sql, std::initializer_list<SqlValue> parameters) {
  return Query(sql, std::span(parameters.begin(), parameters.size()));
}

TransactionResult<std::vector<SqlRow>> SqlRecordsStore::Query(
    std::string_view sql, std::span<const SqlValue> parameters) {
  auto rows = database_->Query(sql, parameters);
  if (!rows) return std::unexpected(Failure(rows.error()));
  return std::move(*rows);
}

TransactionError SqlRecordsStore::Failure(const SqlError& error) const {
  return {error.conflict,
          {StoreProblem::kFailed,
           fmt::format(fmt::runtime("the records at {}: {}"), Location(), error.message)}};
}

template <typename Work>
auto SqlRecordsStore::InTransaction(Transaction kind, Work&& work)
    -> StoreResult<typename decltype(work())::value_type> {
  const bool writes = kind == Transaction::kWrite;
  if (writes) {
    if (auto replaced = database_->Replaced()) {
      return std::unexpected(StoreError{StoreProblem::kReplaced, std::move(*replaced)});
    }
  }
  for (int attempt = 1;; ++attempt) {
    decltype(work()) done = std::unexpected(TransactionError{});
    if (auto begun = database_->Begin(kind); !begun) {
      done = std::unexpected(Failure(begun.error()));
    } else if (auto same = writes ? SameRecords() : TransactionResult<void>{}; !same) {
      done = std::unexpected(same.error());
    } else {
      done = work();
    }
    if (done) {
      auto committed = database_->Commit();
      if (committed) {
        if constexpr (std::is_void_v<typename decltype(work())::value_type>) {
          return {};
        } else {
          return std::move(*done);
        }
      }
      done = std::unexpected(Failure(committed.error()));
    }
    // After a failed statement SQLite may have ended the transaction itself: a failing
    // ROLLBACK then changes nothing.
    (void)database_->Rollback();
    if (!done.error().conflict || attempt == kTransactionAttempts) {
      return std::unexpected(done.error().error);
    }
  }
}

StoreResult<void> SqlRecordsStore::PrepareSchema(OpenMode mode) {
  std::lock_guard lock(mutex_);
  const SqlDialect& dialect = database_->dialect();
  auto version = Query("SELECT version FROM schema_version");
  if (!version) {
    // No records here: an empty database may become them, anything else is left alone.
    auto tables = Query(dialect.count_tables);
    if (!tables) return std::unexpected(tables.error().error);
    const bool holds_tables = tables->at(0).Int("tables").value_or(0) > 0;
    // Another station may have made the records between the two looks.
    if (holds_tables) version = Query("SELECT version FROM schema_version");
    if (!version && holds_tables) {
      return std::unexpected(
          StoreError{StoreProblem::kNotRecords, fmt::format(messages::kNotRecords, Location())});
    }
    if (mode == OpenMode::kExisting) {
      return std::unexpected(StoreError{
          StoreProblem::kNotRecords,
          fmt::format(
              "{} holds no records yet: a station run makes them (or name them with --records)",
              Location())});
    }
  }
  if (!dialect.adopt.empty()) {
    if (auto adopted = Query(dialect.adopt); !adopted) {
      return std::unexpected(adopted.error().error);
    }
  }
  // Records already in this layout are opened without a write, so a records file a station
  // only reads (an audit copy) may be read-only.
  if (!version || version->empty() || version->front().Int("version") != kRecordsSchemaVersion) {
    if (auto made = InTransaction(Transaction::kWrite, [&]() { return CreateSchema(); }); !made)
      return made;
  }
  return ReadStoreId();
}

StoreResult<void> SqlRecordsStore::ReadStoreId() {
  auto id = Query("SELECT store_id FROM store_info");
  if (!id) return std::unexpected(id.error().error);
  if (!id->empty()) store_id_ = id->front().Text("store_id");
  return {};
}

SqlRecordsStore::TransactionResult<void> SqlRecordsStore::SameRecords() {
  if (store_id_.empty()) return {};  // still being made
  auto id = Query("SELECT store_id FROM store_info");
  if (!id) return std::unexpected(id.error());
  const std::string now = id->empty() ? std::string("none") : id->front().Text("store_id");
  if (now == store_id_) return {};
  return Fail(
      StoreProblem::kReplaced,
      "the records at {} are not the ones the station opened (store {}, now {}): nothing more is "
      "written to them",
      Location(), store_id_, now);
}

SqlRecordsStore::TransactionResult<void> SqlRecordsStore::CreateSchema() {
  const SqlDialect& dialect = database_->dialect();
  if (!dialect.schema_lock.empty()) {
    if (auto locked = Query(dialect.schema_lock); !locked) return std::unexpected(locked.error());
  }
  if (auto table = Query("CREATE TABLE IF NOT EXISTS schema_version (version BIGINT NOT NULL)");
      !table) {
    return std::unexpected(table.error());
  }
  auto version = Query("SELECT version FROM schema_version");
  if (!version) return std::unexpected(version.error());
  const bool fresh = version->empty();
  const std::int64_t found = fresh ? 0 : version->front().Int("version").value_or(0);
  if (found > kRecordsSchemaVersion) {
    return Fail(StoreProblem::kNewerSchema, messages::kNewerSchema, Location(), found,
                kRecordsSchemaVersion);
  }
  if (found == kRecordsSchemaVersion) return {};  // another connection made it meanwhile
  // Layout 2 adds whether a run's pack was simulated, the process that runs it, and the store's
  // id; the runs of layout 1 were real packs of unknown processes. Layout 3 adds the kind of a
  // failure to runs and steps; earlier failures have none. Layout 4 adds the serial number a
  // pack came with, and the views over the runs.
  std::vector<std::string> statements;
  if (!fresh && found < 2) {
    statements = {"ALTER TABLE runs ADD COLUMN simulated BIGINT NOT NULL DEFAULT 0",
                  "ALTER TABLE runs ADD COLUMN owner_pid BIGINT"};
  }
  if (!fresh && found < 3) {
    statements.push_back("ALTER TABLE runs ADD COLUMN cause TEXT");
    statements.push_back("ALTER TABLE steps ADD COLUMN cause TEXT");
  }
  if (!fresh && found < 4)
    statements.push_back("ALTER TABLE runs ADD COLUMN arrived_serial BIGINT");
  for (std::string& statement : SchemaStatements(dialect)) {
    statements.push_back(std::move(statement));
  }
  for (const std::string& statement : statements) {
    if (auto done = Query(statement); !done) return std::unexpected(done.error());
  }
  auto noted = Query(fresh ? "INSERT INTO schema_version (version) VALUES (?)"
                           : "UPDATE schema_version SET version = ?",
                     {std::int64_t{kRecordsSchemaVersion}});
  if (!noted) return std::unexpected(noted.error());
  // The store's id is made with the table that holds it, once.
  if (fresh || found < 2) {
    auto id = Query("INSERT INTO store_info (store_id, created_at) VALUES (?, ?)",
                    {NewStoreId(), FormatUtc(std::chrono::system_clock::now())});
    if (!id) return std::unexpected(id.error());
  }
  created_ = fresh;
  return {};
}

StoreResult<void> SqlRecordsStore::CheckWritable() {
  std::lock_guard lock(mutex_);
  return InTransaction(Transaction::kWrite, [&]() -> TransactionResult<void> {
    if (auto touched = Query("UPDATE store_info SET store_id = store_id"); !touched) {
      return std::unexpected(touched.error());
    }
    return {};
  });
}

StoreResult<std::int64_t> SqlRecordsStore::SerialsLeft(const SerialRange& range) {
  if (range.step < 1 || range.start > range.end) return 0;
  std::lock_guard lock(mutex_);
  return InTransaction(Transaction::kRead, [&]() -> TransactionResult<std::int64_t> {
    auto cursor = Query(
        "SELECT next_number FROM serial_ranges WHERE parameter = ? AND first_number = ? "
        "AND last_number = ? AND step = ?",
        {range.parameter, range.start, range.end, range.step});
    if (!cursor) return std::unexpected(cursor.error());
    const std::int64_t next =
        cursor->empty() ? range.start : cursor->front().Int("next_number").value_or(range.start);
    if (next > range.end) return 0;
    // Numbers of other ranges of the same parameter on this one's grid are taken too.
    auto taken = Query(
        "SELECT COUNT(*) AS taken FROM serials WHERE parameter = ? AND number >= ? AND number <= ? "
        "AND (number - ?) % ? = 0",
        {range.parameter, next, range.end, range.start, range.step});
    if (!taken) return std::unexpected(taken.error());
    return (range.end - next) / range.step + 1 - taken->at(0).Int("taken").value_or(0);
  });
}

StoreResult<int> SqlRecordsStore::CloseAbandonedRuns(
    std::string_view host, const std::function<bool(std::int64_t)>& alive) {
  std::lock_guard lock(mutex_);
  return InTransaction(Transaction::kWrite, [&]() -> TransactionResult<int> {
    auto running = Query(
        "SELECT id, owner_pid, station FROM runs WHERE result = ? AND host = ? AND owner_pid IS "
        "NOT NULL",
        {std::string(ResultName(RunResult::kRunning)), std::string(host)});
    if (!running) return std::unexpected(running.error());
    const std::string interrupted(ResultName(RunResult::kInterrupted));
    int closed = 0;
    for (const SqlRow& row : *running) {
      const std::int64_t run = row.Int("id").value_or(0);
      if (alive(row.Int("owner_pid").value_or(0))) continue;
      const std::string failure = fmt::format(
          "interrupted: the station ({} on {}) ended without closing the run (killed, crashed or "
          "powered off)",
          row.Text("station"), std::string(host));
      auto run_closed = Query("UPDATE runs SET result = ?, failure = ? WHERE id = ?",
                              {interrupted, failure, run});
      if (!run_closed) return std::unexpected(run_closed.error());
      auto serial_closed =
          Query("UPDATE serials SET state = ? WHERE run_id = ?", {interrupted, run});
      if (!serial_closed) return std::unexpected(serial_closed.error());
      ++closed;
    }
    return closed;
  });
}

StoreResult<std::int64_t> SqlRecordsStore::BeginRun(const RunStart& start) {
  std::lock_guard lock(mutex_);
  return InTransaction(Transaction::kWrite, [&]() -> TransactionResult<std::int64_t> {
    auto rows = Query(
        "INSERT INTO runs (station, host, operator_name, adapter_serial, recipe_name, "
        "recipe_sha256, files, result, started_at, simulated, owner_pid) VALUES (?, ?, ?, ?, ?, "
        "?, ?, ?, ?, ?, ?) RETURNING id",
        {start.station, start.host, start.operator_name, start.adapter_serial, start.recipe_name,
         start.recipe_sha256, FilesJson(start.files), std::string(ResultName(RunResult::kRunning)),
         FormatUtc(start.started_at), std::int64_t{start.simulated ? 1 : 0},
         start.process_id != 0 ? SqlValue(start.process_id) : SqlValue(nullptr)});
    if (!rows) return std::unexpected(rows.error());
    return rows->at(0).Int("id").value_or(0);
  });
}

StoreResult<void> SqlRecordsStore::RecordGauge(std::int64_t run, std::uint16_t device_type,
                                               std::uint16_t firmware_version,
                                               std::optional<std::int64_t> arrived_serial) {
  std::lock_guard lock(mutex_);
  return InTransaction(Transaction::kWrite, [&]() -> TransactionResult<void> {
    const SqlValue arrived = arrived_serial ? SqlValue(*arrived_serial) : SqlValue(nullptr);
    auto rows = Query(
        "UPDATE runs SET device_type = ?, firmware_version = ?, arrived_serial = ? WHERE id = ? "
        "RETURNING id",
        {std::int64_t{device_type}, std::int64_t{firmware_version}, arrived, run});
    if (!rows) return std::unexpected(rows.error());
    if (rows->empty()) return Fail(StoreProblem::kNoSuchRun, messages::kNoSuchRun, run, Location());
    return {};
  });
}

StoreResult<std::int64_t> SqlRecordsStore::AllocateSerial(std::int64_t run,
                                                          const SerialRange& range) {
  if (range.step < 1 || range.start < 0 || range.start > range.end ||
      range.end > kMaxSerialNumber) {
    return std::unexpected(StoreError{StoreProblem::kFailed,
                                      fmt::format(fmt::runtime("{}..{} step {} is no serial range"),
                                                  range.start, range.end, range.step)});
  }
  std::lock_guard lock(mutex_);
  return InTransaction(Transaction::kWrite, [&]() { return AllocateIn(run, range); });
}

SqlRecordsStore::TransactionResult<std::int64_t> SqlRecordsStore::AllocateIn(
    std::int64_t run, const SerialRange& range) {
  auto owner = Query("SELECT serial_parameter, pack_serial FROM runs WHERE id = ?", {run});
  if (!owner) return std::unexpected(owner.error());
  if (owner->empty()) return Fail(StoreProblem::kNoSuchRun, messages::kNoSuchRun, run, Location());
  if (const auto held = owner->front().Int("pack_serial")) {
    // The run asks again (a retried step): it keeps its number.
    const std::string parameter = owner->front().Text("serial_parameter");
    if (parameter == range.parameter) return *held;
    return Fail(StoreProblem::kFailed, "run {} already has the serial number {} of \"{}\"", run,
                *held, parameter);
  }
  const std::string now = FormatUtc(std::chrono::system_clock::now());
  auto created = Query(
      "INSERT INTO serial_ranges (parameter, first_number, last_number, step, next_number, "
      "created_at) VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT DO NOTHING",
      {range.parameter, range.start, range.end, range.step, range.start, now});
  if (!created) return std::unexpected(created.error());
  // An update that changes nothing, for its row lock: on PostgreSQL a second station's
  // allocation from the same range waits here until this transaction ends, then reads the
  // cursor this one left.
  auto cursor = Query(
      "UPDATE serial_ranges SET next_number = next_number WHERE parameter = ? AND "
      "first_number = ? AND last_number = ? AND step = ? RETURNING id, next_number",
      {range.parameter, range.start, range.end, range.step});
  if (!cursor) return std::unexpected(cursor.error());
  const std::int64_t range_id = cursor->at(0).Int("id").value_or(0);
  const std::int64_t next = cursor->at(0).Int("next_number").value_or(range.start);
  // Numbers of other ranges of the same parameter inside this one are skipped, so a changed
  // range never issues a number again.
  auto taken = Query(
      "SELECT number FROM serials WHERE parameter = ? AND number >= ? AND number <= ? "
      "ORDER BY number",
      {range.parameter, next, range.end});
  if (!taken) return std::unexpected(taken.error());
  std::vector<std::int64_t> issued;
  for (const SqlRow& row : *taken) issued.push_back(row.Int("number").value_or(0));
  const std::int64_t number = FirstFree(range, next, issued);
  if (number > range.end) {
    return Fail(StoreProblem::kRangeExhausted, messages::kRangeExhausted, range.start, range.end,
                range.step, range.parameter);
  }
  if (auto issued_row =
          Query("INSERT INTO serials (parameter, number, range_id, run_id, state, issued_at) "
                "VALUES (?, ?, ?, ?, ?, ?)",
                {range.parameter, number, range_id, run,
                 std::string(ResultName(RunResult::kRunning)), now});
      !issued_row) {
    return std::unexpected(issued_row.error());
  }
  if (auto moved = Query("UPDATE serial_ranges SET next_number = ? WHERE id = ?",
                         {number + range.step, range_id});
      !moved) {
    return std::unexpected(moved.error());
  }
  if (auto owned = Query("UPDATE runs SET serial_parameter = ?, pack_serial = ? WHERE id = ?",
                         {range.parameter, number, run});
      !owned) {
    return std::unexpected(owned.error());
  }
  return number;
}

StoreResult<void> SqlRecordsStore::AddStep(std::int64_t run, const StepRecord& step) {
  std::lock_guard lock(mutex_);
  return InTransaction(Transaction::kWrite, [&]() -> TransactionResult<void> {
    auto last = Query(
        "SELECT (SELECT COUNT(*) FROM runs WHERE id = ?) AS runs, "
        "(SELECT COALESCE(MAX(step_index), 0) FROM steps WHERE run_id = ?) AS last_step",
        {run, run});
    if (!last) return std::unexpected(last.error());
    if (last->at(0).Int("runs").value_or(0) == 0) {
      return Fail(StoreProblem::kNoSuchRun, messages::kNoSuchRun, run, Location());
    }
    auto added = Query(
        "INSERT INTO steps (run_id, step_index, step, attempt, result, failure, cause, "
        "measurements, started_at, ended_at, duration_ms) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        {run, last->at(0).Int("last_step").value_or(0) + 1, step.step, std::int64_t{step.attempt},
         std::string(ResultName(step.result)), OrNull(step.failure), OrNull(step.cause),
         OrNull(step.measurements), FormatUtc(step.started_at), FormatUtc(step.ended_at),
         step.duration_ms()});
    if (!added) return std::unexpected(added.error());
    return {};
  });
}

StoreResult<void> SqlRecordsStore::FinishRun(std::int64_t run, const RunEnd& end) {
  std::lock_guard lock(mutex_);
  return InTransaction(Transaction::kWrite, [&]() -> TransactionResult<void> {
    auto started = Query("SELECT started_at FROM runs WHERE id = ?", {run});
    if (!started) return std::unexpected(started.error());
    if (started->empty())
      return Fail(StoreProblem::kNoSuchRun, messages::kNoSuchRun, run, Location());
    const auto duration = std::chrono::duration_cast<std::chrono::milliseconds>(
        end.ended_at - Time(started->front().Value("started_at")));
    const std::string result(ResultName(end.result));
    auto finished = Query(
        "UPDATE runs SET result = ?, failed_step = ?, failure = ?, cause = ?, ended_at = ?, "
        "duration_ms = ? WHERE id = ?",
        {result, OrNull(end.failed_step), OrNull(end.failure), OrNull(end.cause),
         FormatUtc(end.ended_at), std::int64_t{duration.count()}, run});
    if (!finished) return std::unexpected(finished.error());
    auto serial = Query("UPDATE serials SET state = ? WHERE run_id = ?", {result, run});
    if (!serial) return std::unexpected(serial.error());
    return {};
  });
}

SqlRecordsStore::TransactionResult<std::vector<RunRecord>> SqlRecordsStore::ReadRuns(
    const RunFilter& filter, std::optional<std::int64_t> only) {
  std::string sql = "SELECT * FROM runs WHERE 1 = 1";
  std::vector<SqlValue> parameters;
  if (only) {
    sql += " AND id = ?";
    parameters.push_back(*only);
  }
  if (filter.since) {
    sql += " AND started_at >= ?";
    parameters.push_back(FormatUtc(*filter.since));
  }
  if (filter.until) {
    sql += " AND started_at < ?";
    parameters.push_back(FormatUtc(*filter.until));
  }
  if (filter.station) {
    sql += " AND station = ?";
    parameters.push_back(*filter.station);
  }
  if (filter.serial) {
    sql += " AND (pack_serial = ? OR arrived_serial = ?)";
    parameters.push_back(*filter.serial);
    parameters.push_back(*filter.serial);
  }
  if (filter.result) {
    sql += " AND result = ?";
    parameters.push_back(std::string(ResultName(*filter.result)));
  }
  sql += " ORDER BY id DESC";
  if (filter.last) {
    sql += " LIMIT ?";
    parameters.push_back(static_cast<std::int64_t>(*filter.last));
  }
  auto rows = Query(sql, parameters);
  if (!rows) return std::unexpected(rows.error());
  std::vector<RunRecord> runs;
  for (auto row = rows->rbegin(); row != rows->rend(); ++row) runs.push_back(RunFromRow(*row));
  return runs;
}

SqlRecordsStore::TransactionResult<void> SqlRecordsStore::ReadSteps(std::vector<RunRecord>& runs) {
  if (runs.empty()) return {};
  auto rows = Query(
      "SELECT * FROM steps WHERE run_id >= ? AND run_id <= ? "
      "ORDER BY run_id, step_index",
      {runs.front().id, runs.back().id});
  if (!rows) return std::unexpected(rows.error());
  auto run = runs.begin();
  for (const SqlRow& row : *rows) {
    const std::int64_t run_id = row.Int("run_id").value_or(0);
    while (run != runs.end() && run->id < run_id) ++run;
    if (run == runs.end()) break;
    if (run->id == run_id) run->steps.push_back(StepFromRow(row));
  }
  return {};
}

StoreResult<std::vector<RunRecord>> SqlRecordsStore::Runs(const RunFilter& filter,
                                                          bool with_steps) {
  std::lock_guard lock(mutex_);
  // One transaction, so the steps belong to the same moment as the runs.
  return InTransaction(Transaction::kRead, [&]() -> TransactionResult<std::vector<RunRecord>> {
    auto runs = ReadRuns(filter, std::nullopt);
    if (!runs) return runs;
    if (with_steps) {
      if (auto steps = ReadSteps(*runs); !steps) return std::unexpected(steps.error());
    }
    return runs;
  });
}

StoreResult<RunRecord> SqlRecordsStore::Run(std::int64_t run) {
  std::lock_guard lock(mutex_);
  return InTransaction(Transaction::kRead, [&]() -> TransactionResult<RunRecord> {
    auto runs = ReadRuns({}, run);
    if (!runs) return std::unexpected(runs.error());
    if (runs->empty()) return Fail(StoreProblem::kNoSuchRun, messages::kNoSuchRun, run, Location());
    if (auto steps = ReadSteps(*runs); !steps) return std::unexpected(steps.error());
    return std::move(runs->front());
  });
}

StoreResult<std::vector<IssuedSerial>> SqlRecordsStore::IssuedSerials(std::string_view parameter) {
  std::lock_guard lock(mutex_);
  constexpr std::string_view kColumns = "SELECT parameter, number, run_id, state FROM serials";
  auto rows = parameter.empty()
                  ? Query(fmt::format("{} ORDER BY parameter, number", kColumns))
                  : Query(fmt::format("{} WHERE parameter = ? ORDER BY number", kColumns),
                          {std::string(parameter)});
  if (!rows) return std::unexpected(rows.error().error);
  std::vector<IssuedSerial> serials;
  for (const SqlRow& row : *rows) {
    serials.push_back({row.Text("parameter"), row.Int("number").value_or(0),
                       row.Int("run_id").value_or(0), Result(row.Text("state"))});
  }
  return serials;
}

}  // namespace cw::production
