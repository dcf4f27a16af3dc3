// The records store on both databases: every test runs on a SQLite file, and on PostgreSQL when
// scripts/with-postgres has started a server (ctest's production.postgres).
#include "production/records_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "production/postgres_database.h"
#include "production/sqlite_database.h"
#include "records_fixture.h"

namespace cw::production {
namespace {

using test::FillSampleRecords;
using test::SampleStart;

enum class Backend { kSqlite, kPostgres };

std::vector<Backend> Backends() {
  std::vector<Backend> backends{Backend::kSqlite};
  if (!test::PostgresServerUrl().empty()) backends.push_back(Backend::kPostgres);
  return backends;
}

class RecordsStoreTest : public testing::TestWithParam<Backend> {
 protected:
  RecordsStoreTest() {
    if (GetParam() == Backend::kPostgres) {
      database_.emplace();
      location_ = database_->url();
    } else {
      location_ = folder_.File("records/line.sqlite");
    }
  }

  std::unique_ptr<RecordsStore> Open() {
    auto store = OpenRecordsStore(location_, OpenMode::kCreate);
    EXPECT_TRUE(store) << store.error().message;
    return store ? std::move(*store) : nullptr;
  }

  // A connection of its own, beside the store's, for what no store method does.
  std::unique_ptr<SqlDatabase> Raw() {
    auto database = GetParam() == Backend::kPostgres ? OpenPostgresDatabase(location_)
                                                     : OpenSqliteDatabase(location_, false);
    EXPECT_TRUE(database) << database.error();
    return database ? std::move(*database) : nullptr;
  }

  // Ends every other connection to the database and waits (at most 10 s) until the server has.
  void DropTheOtherConnections() {
    auto raw = Raw();
    ASSERT_TRUE(raw);
    const auto dropped = raw->Query(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
        "current_database() AND pid <> pg_backend_pid()",
        {});
    ASSERT_TRUE(dropped) << dropped.error().message;
    ASSERT_FALSE(dropped->empty());
    for (int poll = 0; poll < 1000; ++poll) {
      const auto left = raw->Query(
          "SELECT COUNT(*) AS backends FROM pg_stat_activity WHERE datname = current_database() "
          "AND pid <> pg_backend_pid()",
          {});
      ASSERT_TRUE(left);
      if (left->at(0).Int("backends") == 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    FAIL() << "the server kept the other connections";
  }

  test::ScratchFolder folder_;
  std::optional<test::ScratchDatabase> database_;
  std::string location_;
};

TEST_P(RecordsStoreTest, KeepsEveryRunAndStepAsWritten) {
  auto store = Open();
  ASSERT_TRUE(store);
  FillSampleRecords(*store);
  // A second store on the same records reads what the first wrote.
  auto reader = Open();
  const auto failed = reader->Run(2);
  ASSERT_TRUE(failed) << failed.error().message;
  EXPECT_EQ(failed->start.station, "line-1");
  EXPECT_EQ(failed->start.operator_name, "Mei");
  EXPECT_EQ(failed->start.adapter_serial, "A1");
  EXPECT_EQ(failed->start.files, (std::vector<FileHash>{{"golden.afi", std::string(64, 'b')}}));
  EXPECT_EQ(failed->device_type, 0x0714);
  EXPECT_EQ(failed->firmware_version, 0x0102);
  EXPECT_EQ(failed->pack_serial, 1001);
  EXPECT_EQ(failed->result, RunResult::kFail);
  EXPECT_EQ(failed->failed_step, "verify");
  EXPECT_EQ(failed->start.started_at, SampleStart("A1", 60).started_at);
  EXPECT_EQ(failed->duration_ms(), 10'000);
  ASSERT_EQ(failed->steps.size(), 3u);
  EXPECT_EQ(failed->steps[0].step, "constants");
  EXPECT_EQ(failed->steps[2].index, 3);
  EXPECT_EQ(failed->steps[2].attempt, 2);
  EXPECT_EQ(failed->steps[2].result, RunResult::kFail);
  EXPECT_NE(failed->steps[2].measurements.find("CUV Threshold"), std::string::npos);
  EXPECT_EQ(failed->steps[2].duration_ms(), 1000);
}

TEST_P(RecordsStoreTest, FiltersRunsBySinceResultAndLast) {
  auto store = Open();
  ASSERT_TRUE(store);
  FillSampleRecords(*store);
  const auto ids = [&](const RunFilter& filter) {
    std::vector<std::int64_t> found;
    if (auto runs = store->Runs(filter, false)) {
      for (const RunRecord& run : *runs) found.push_back(run.id);
    }
    return found;
  };
  EXPECT_EQ(ids({}), (std::vector<std::int64_t>{1, 2, 3}));
  EXPECT_EQ(ids({.since = SampleStart("", 60).started_at}), (std::vector<std::int64_t>{2, 3}));
  EXPECT_EQ(ids({.result = RunResult::kFail}), (std::vector<std::int64_t>{2}));
  EXPECT_EQ(ids({.result = RunResult::kPass, .last = 1}), (std::vector<std::int64_t>{3}));
}

TEST_P(RecordsStoreTest, IssuesEachSerialOnceAndKeepsWhatBecameOfIt) {
  auto store = Open();
  ASSERT_TRUE(store);
  const SerialRange range{"Serial Number", 100, 110, 5};
  std::vector<std::int64_t> runs;
  for (int i = 0; i < 3; ++i) runs.push_back(*store->BeginRun(SampleStart("A", i)));
  EXPECT_EQ(store->AllocateSerial(runs[0], range), 100);
  // A retried serial step keeps its run's number.
  EXPECT_EQ(store->AllocateSerial(runs[0], range), 100);
  EXPECT_EQ(store->AllocateSerial(runs[1], range), 105);
  ASSERT_TRUE(store->FinishRun(runs[1], {RunResult::kFail, "verify", "differs", {}}));
  EXPECT_EQ(store->AllocateSerial(runs[2], range), 110);
  const auto fourth = store->BeginRun(SampleStart("A", 4));
  const auto exhausted = store->AllocateSerial(*fourth, range);
  ASSERT_FALSE(exhausted);
  EXPECT_EQ(exhausted.error().problem, StoreProblem::kRangeExhausted);
  EXPECT_NE(exhausted.error().message.find("100..110"), std::string::npos);

  // A new range over the old one skips what was issued, the failed pack's number included.
  EXPECT_EQ(store->AllocateSerial(*fourth, {"Serial Number", 95, 200, 5}), 95);
  const auto fifth = store->BeginRun(SampleStart("A", 5));
  EXPECT_EQ(store->AllocateSerial(*fifth, {"Serial Number", 95, 200, 5}), 115);

  const auto issued = store->IssuedSerials("Serial Number");
  ASSERT_TRUE(issued);
  std::vector<std::pair<std::int64_t, RunResult>> states;
  for (const IssuedSerial& serial : *issued) states.emplace_back(serial.number, serial.state);
  EXPECT_EQ(states, (std::vector<std::pair<std::int64_t, RunResult>>{{95, RunResult::kRunning},
                                                                     {100, RunResult::kRunning},
                                                                     {105, RunResult::kFail},
                                                                     {110, RunResult::kRunning},
                                                                     {115, RunResult::kRunning}}));
}

TEST_P(RecordsStoreTest, ConcurrentStationsNeverShareASerialNumber) {
  constexpr int kStations = 4;
  constexpr int kPacksEach = 25;
  std::vector<std::vector<std::int64_t>> issued(kStations);
  {
    std::vector<std::jthread> stations;
    for (int station = 0; station < kStations; ++station) {
      stations.emplace_back([&, station] {
        // Each station has its own connection, as a separate process would.
        auto store = Open();
        if (!store) return;
        for (int pack = 0; pack < kPacksEach; ++pack) {
          const auto run = store->BeginRun(SampleStart("S" + std::to_string(station), pack));
          if (!run) continue;
          if (auto number = store->AllocateSerial(*run, {"Serial Number", 1, 1000, 1})) {
            issued[station].push_back(*number);
          } else {
            ADD_FAILURE() << number.error().message;
          }
        }
      });
    }
  }
  std::vector<std::int64_t> all;
  for (const auto& numbers : issued) all.insert(all.end(), numbers.begin(), numbers.end());
  std::ranges::sort(all);
  ASSERT_EQ(all.size(), std::size_t{kStations * kPacksEach});
  // Unique and without a gap: every allocation took the next number.
  for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i], static_cast<std::int64_t>(i + 1));
}

TEST_P(RecordsStoreTest, RefusesRecordsOfANewerLayoutAndUnknownRuns) {
  {
    auto store = Open();
    ASSERT_TRUE(store);
    for (const auto& failed : {store->AddStep(42, {}), store->FinishRun(42, {}),
                               store->RecordGauge(42, 1, 2, std::nullopt)}) {
      ASSERT_FALSE(failed);
      EXPECT_EQ(failed.error().problem, StoreProblem::kNoSuchRun);
    }
    const auto missing = store->Run(42);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().problem, StoreProblem::kNoSuchRun);
  }
  auto raw = Raw();
  ASSERT_TRUE(raw);
  ASSERT_TRUE(raw->Query("UPDATE schema_version SET version = 99", {}));
  const auto newer = OpenRecordsStore(location_, OpenMode::kExisting);
  ASSERT_FALSE(newer);
  EXPECT_EQ(newer.error().problem, StoreProblem::kNewerSchema);
  EXPECT_NE(newer.error().message.find("layout 99"), std::string::npos);
}

TEST_P(RecordsStoreTest, AStationConnectsAgainWhenTheServerDroppedItBetweenPacks) {
  if (GetParam() != Backend::kPostgres) GTEST_SKIP() << "a records file has no connection to lose";
  auto store = Open();
  ASSERT_TRUE(store);
  DropTheOtherConnections();
  const auto run = store->BeginRun(SampleStart("A", 0));
  ASSERT_TRUE(run) << run.error().message;
  EXPECT_EQ(store->AllocateSerial(*run, {"Serial Number", 1, 9, 1}), 1);
}

// Inside a transaction a lost connection is not made again: the rest of the transaction would
// run on the new one statement by statement, each committed on its own. Once it is rolled back,
// the next statement connects again.
TEST_P(RecordsStoreTest, AConnectionLostInsideATransactionIsMadeAgainOnlyAfterIt) {
  if (GetParam() != Backend::kPostgres) GTEST_SKIP() << "a records file has no connection to lose";
  auto station = Raw();
  ASSERT_TRUE(station);
  constexpr std::string_view kOne = "SELECT 1 AS one";
  ASSERT_TRUE(station->Begin(Transaction::kWrite));
  DropTheOtherConnections();
  EXPECT_FALSE(station->Query(kOne, {}));
  EXPECT_FALSE(station->Commit());
  (void)station->Rollback();
  const auto again = station->Query(kOne, {});
  ASSERT_TRUE(again) << again.error().message;
  EXPECT_EQ(again->at(0).Int("one"), 1);
}

// Values are read by the names the statement gives its columns, NULL kept apart from "".
TEST_P(RecordsStoreTest, ReadsValuesByColumnName) {
  ASSERT_TRUE(Open());
  auto raw = Raw();
  ASSERT_TRUE(raw);
  const auto rows =
      raw->Query("SELECT NULL AS missing, '' AS empty, '-12' AS number, '12a' AS word, ? AS given",
                 std::vector<SqlValue>{std::int64_t{7}});
  ASSERT_TRUE(rows) << rows.error().message;
  ASSERT_EQ(rows->size(), 1u);
  const SqlRow& row = rows->front();
  EXPECT_EQ(row.Value("missing"), std::nullopt);
  EXPECT_EQ(row.Value("empty"), "");
  EXPECT_EQ(row.Text("missing"), "");
  EXPECT_EQ(row.Int("number"), -12);
  EXPECT_EQ(row.Int("word"), std::nullopt);
  EXPECT_EQ(row.Int("missing"), std::nullopt);
  EXPECT_EQ(row.Text("given"), "7");
}

// A station killed mid-run leaves its runs open; the next station on that host closes those
// whose process is gone, their serial numbers with them, and leaves live ones and other hosts'.
TEST_P(RecordsStoreTest, RunsOfADeadStationAreClosedAsInterrupted) {
  auto store = Open();
  ASSERT_TRUE(store);
  const auto start = [](std::string host, std::int64_t pid) {
    RunStart run = SampleStart("A", static_cast<int>(pid));
    run.host = std::move(host);
    run.process_id = pid;
    return run;
  };
  const std::vector<std::int64_t> runs = {*store->BeginRun(start("line-1", 101)),
                                          *store->BeginRun(start("line-1", 102)),
                                          *store->BeginRun(start("line-2", 101))};
  ASSERT_EQ(store->AllocateSerial(runs[0], {"Serial Number", 1, 9, 1}), 1);
  const auto closed =
      store->CloseAbandonedRuns("line-1", [](std::int64_t pid) { return pid == 102; });
  ASSERT_TRUE(closed) << closed.error().message;
  EXPECT_EQ(*closed, 1);
  const std::vector<RunResult> expected = {RunResult::kInterrupted, RunResult::kRunning,
                                           RunResult::kRunning};
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const auto run = store->Run(runs[i]);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->result, expected[i]) << i;
  }
  EXPECT_NE(store->Run(runs[0])->failure.find("ended without closing the run"), std::string::npos);
  const auto issued = store->IssuedSerials("Serial Number");
  ASSERT_TRUE(issued && issued->size() == 1u);
  EXPECT_EQ(issued->front().state, RunResult::kInterrupted);
  // Its number is never issued again.
  EXPECT_EQ(store->AllocateSerial(runs[1], {"Serial Number", 1, 9, 1}), 2);
}

TEST_P(RecordsStoreTest, CountsTheSerialNumbersLeftInARange) {
  auto store = Open();
  ASSERT_TRUE(store);
  const SerialRange range{"Serial Number", 10, 20, 5};  // 10, 15, 20
  EXPECT_EQ(store->SerialsLeft(range), 3);
  const auto run = store->BeginRun(SampleStart("A", 0));
  ASSERT_EQ(store->AllocateSerial(*run, range), 10);
  EXPECT_EQ(store->SerialsLeft(range), 2);
  // A number another range of the same parameter issued is taken here too.
  const auto other = store->BeginRun(SampleStart("B", 0));
  ASSERT_EQ(store->AllocateSerial(*other, {"Serial Number", 15, 15, 1}), 15);
  EXPECT_EQ(store->SerialsLeft(range), 1);
  EXPECT_TRUE(store->CheckWritable());
}

// What a dashboard asks of the records of several stations, answered by the views on the
// records themselves. Line 1 reworks a pack that failed (it comes back carrying its number);
// line 2 fails one of three packs.
TEST_P(RecordsStoreTest, TheViewsGiveFirstPassYieldPerStationAndFailuresByCause) {
  auto store = Open();
  ASSERT_TRUE(store);
  const SerialRange range{"Serial Number", 1000, 1999, 1};
  const auto pack = [&](const std::string& station, int seconds, RunResult result,
                        std::optional<std::int64_t> arrived, const std::string& step,
                        const std::string& cause) {
    RunStart start = SampleStart("A", seconds);
    start.station = station;
    const auto run = store->BeginRun(start);
    ASSERT_TRUE(run);
    ASSERT_TRUE(store->RecordGauge(*run, 0x0714, 0x0102, arrived));
    ASSERT_TRUE(store->AllocateSerial(*run, range));
    ASSERT_TRUE(store->FinishRun(
        *run, {result, step, cause.empty() ? "" : "failed", cause, start.started_at}));
  };
  pack("line-1", 0, RunResult::kFail, 1, "check", "out_of_limits");  // gets 1000
  pack("line-1", 60, RunResult::kPass, 1000, "", "");                // the same pack again
  pack("line-1", 120, RunResult::kPass, 1, "", "");
  pack("line-2", 180, RunResult::kPass, 1, "", "");
  pack("line-2", 240, RunResult::kFail, 1, "verify", "mismatch");
  pack("line-2", 300, RunResult::kPass, std::nullopt, "", "");

  auto raw = Raw();
  ASSERT_TRUE(raw);
  const auto yield = raw->Query(
      "SELECT station, packs, first_pass, first_pass_percent FROM first_pass_yield "
      "ORDER BY station",
      {});
  ASSERT_TRUE(yield) << yield.error().message;
  ASSERT_EQ(yield->size(), 2u);
  const std::tuple<std::string, int, int, double> expected[] = {{"line-1", 2, 1, 50.0},
                                                                {"line-2", 3, 2, 66.67}};
  for (std::size_t i = 0; i < 2; ++i) {
    const auto& [station, packs, first_pass, percent] = expected[i];
    EXPECT_EQ((*yield)[i].Text("station"), station);
    EXPECT_EQ((*yield)[i].Int("packs"), packs);
    EXPECT_EQ((*yield)[i].Int("first_pass"), first_pass);
    EXPECT_NEAR(std::stod((*yield)[i].Text("first_pass_percent")), percent, 0.01);
  }
  const auto causes = raw->Query(
      "SELECT station, step, cause, failures FROM failures_by_cause ORDER BY station", {});
  ASSERT_TRUE(causes) << causes.error().message;
  ASSERT_EQ(causes->size(), 2u);
  EXPECT_EQ((*causes)[0].Text("step") + "/" + (*causes)[0].Text("cause"), "check/out_of_limits");
  EXPECT_EQ((*causes)[1].Text("step") + "/" + (*causes)[1].Text("cause"), "verify/mismatch");
  const auto hours =
      raw->Query("SELECT SUM(runs) AS runs, MIN(hour) AS hour FROM runs_per_hour", {});
  ASSERT_TRUE(hours) << hours.error().message;
  EXPECT_EQ(hours->at(0).Int("runs"), 6);
  EXPECT_TRUE(hours->at(0).Text("hour").ends_with(":00:00Z")) << hours->at(0).Text("hour");
}

INSTANTIATE_TEST_SUITE_P(Stores, RecordsStoreTest, testing::ValuesIn(Backends()),
                         [](const auto& info) {
                           return info.param == Backend::kSqlite ? "Sqlite" : "Postgres";
                         });

TEST(RecordsFileTest, ReadingNeverMakesARecordsFile) {
  test::ScratchFolder folder;
  const std::string missing = folder.File("none/records.sqlite");
  const auto store = OpenRecordsStore(missing, OpenMode::kExisting);
  ASSERT_FALSE(store);
  EXPECT_EQ(store.error().problem, StoreProblem::kUnavailable);
  EXPECT_NE(store.error().message.find(missing), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "none"));
  EXPECT_FALSE(OpenRecordsStore(folder.path().string(), OpenMode::kCreate));
}

TEST(RecordsFileTest, DefaultFileFollowsTheDataFolderRules) {
  EXPECT_EQ(RecordsLocation("", false, "/x/data", "/home/mei"),
            "/x/data/cellwarden/records.sqlite");
  EXPECT_EQ(RecordsLocation("", true, "relative", "/home/mei"),
            "/home/mei/.local/share/cellwarden/simulated-records.sqlite");
  EXPECT_EQ(RecordsLocation("", false, nullptr, nullptr), std::nullopt);
  EXPECT_EQ(RecordsLocation("line.sqlite", false, nullptr, nullptr), "line.sqlite");
}

// What a user names is opened only when it is this product's records: another program's
// database, an empty file to read and a mistyped URL are refused and left exactly as they were.
TEST(RecordsFileTest, RefusesWhatIsNotRecordsAndLeavesItUntouched) {
  test::ScratchFolder folder;
  const std::string other = folder.File("other.sqlite");
  {
    auto database = OpenSqliteDatabase(other, true);
    ASSERT_TRUE(database);
    ASSERT_TRUE((*database)->Query("CREATE TABLE parts (id INTEGER, name TEXT)", {}));
  }
  const std::string empty = folder.File("empty.sqlite");
  std::ofstream{empty};
  struct Case {
    std::string location;
    OpenMode mode;
    std::string says;
  };
  const std::vector<Case> cases = {
      {other, OpenMode::kCreate, "is not a Cellwarden records store"},
      {other, OpenMode::kExisting, "is not a Cellwarden records store"},
      {empty, OpenMode::kExisting, "holds no records yet"},
      {"postgresql:/broken", OpenMode::kCreate, "is no records location"},
      {"postgres:line", OpenMode::kCreate, "is no records location"},
      {"mysql://host/db", OpenMode::kCreate, "is no records location"},
  };
  const auto bytes = [](const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  };
  const std::string other_bytes = bytes(other);
  for (const Case& c : cases) {
    const auto store = OpenRecordsStore(c.location, c.mode);
    ASSERT_FALSE(store) << c.location;
    EXPECT_EQ(store.error().problem, StoreProblem::kNotRecords) << c.location;
    EXPECT_NE(store.error().message.find(c.says), std::string::npos) << store.error().message;
  }
  EXPECT_EQ(bytes(other), other_bytes);
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);
  EXPECT_FALSE(std::filesystem::exists("postgresql:"));
  EXPECT_FALSE(std::filesystem::exists("postgres:line"));
}

// A records file deleted or replaced under a station takes no more writes: what it writes would
// go nowhere, or into records that are not the ones it opened.
TEST(RecordsFileTest, AFileDeletedOrReplacedUnderTheStoreTakesNoMoreWrites) {
  test::ScratchFolder folder;
  const std::string path = folder.File("records.sqlite");
  for (const bool replace : {false, true}) {
    auto store = OpenRecordsStore(path, OpenMode::kCreate);
    ASSERT_TRUE(store);
    EXPECT_TRUE((*store)->Created());
    ASSERT_TRUE((*store)->BeginRun(SampleStart("A", 0)));
    std::filesystem::remove(path);
    if (replace) ASSERT_TRUE(OpenRecordsStore(path, OpenMode::kCreate));
    const auto refused = (*store)->BeginRun(SampleStart("A", 1));
    ASSERT_FALSE(refused) << replace;
    EXPECT_EQ(refused.error().problem, StoreProblem::kReplaced);
    EXPECT_NE(refused.error().message.find(replace ? "was replaced" : "was deleted"),
              std::string::npos)
        << refused.error().message;
    std::filesystem::remove(path);
  }
}

// Records of an older layout are upgraded in place: their runs kept, the new columns added, the
// store's id made once.
TEST(RecordsFileTest, UpgradesRecordsOfOlderLayouts) {
  const std::string runs_v1 =
      "CREATE TABLE runs (id INTEGER PRIMARY KEY, station TEXT NOT NULL, host TEXT NOT NULL, "
      "operator_name TEXT NOT NULL, adapter_serial TEXT NOT NULL, recipe_name TEXT NOT NULL, "
      "recipe_sha256 TEXT NOT NULL, files TEXT NOT NULL, device_type BIGINT, firmware_version "
      "BIGINT, serial_parameter TEXT, pack_serial BIGINT, result TEXT NOT NULL, failed_step TEXT, "
      "failure TEXT, started_at TEXT NOT NULL, ended_at TEXT, duration_ms BIGINT";
  const std::string steps_v1 =
      "CREATE TABLE steps (id INTEGER PRIMARY KEY, run_id BIGINT NOT NULL, step_index BIGINT NOT "
      "NULL, step TEXT NOT NULL, attempt BIGINT NOT NULL, result TEXT NOT NULL, failure TEXT, "
      "measurements TEXT, started_at TEXT NOT NULL, ended_at TEXT NOT NULL, duration_ms BIGINT "
      "NOT NULL)";
  const std::string run =
      "INSERT INTO runs (station, host, operator_name, adapter_serial, recipe_name, "
      "recipe_sha256, files, result, started_at) VALUES ('s', 'h', 'o', 'a', 'r', 'x', '[]', "
      "'pass', '2026-01-02T03:04:05.000Z')";
  const std::vector<std::vector<std::string>> layouts = {
      {"INSERT INTO schema_version (version) VALUES (1)", runs_v1 + ")", steps_v1, run},
      {"INSERT INTO schema_version (version) VALUES (2)",
       runs_v1 + ", simulated BIGINT NOT NULL DEFAULT 0, owner_pid BIGINT)", steps_v1, run,
       "CREATE TABLE store_info (store_id TEXT NOT NULL, created_at TEXT NOT NULL)",
       "INSERT INTO store_info VALUES ('old-id', '2026-01-01T00:00:00.000Z')"},
  };
  for (std::size_t layout = 0; layout < layouts.size(); ++layout) {
    SCOPED_TRACE(layout + 1);
    test::ScratchFolder folder;
    const std::string path = folder.File("old.sqlite");
    {
      auto database = OpenSqliteDatabase(path, true);
      ASSERT_TRUE(database);
      ASSERT_TRUE((*database)->Query("CREATE TABLE schema_version (version BIGINT NOT NULL)", {}));
      for (const std::string& statement : layouts[layout]) {
        ASSERT_TRUE((*database)->Query(statement, {})) << statement;
      }
    }
    auto store = OpenRecordsStore(path, OpenMode::kExisting);
    ASSERT_TRUE(store) << store.error().message;
    auto runs = (*store)->Runs({}, false);
    ASSERT_TRUE(runs && runs->size() == 1u);
    EXPECT_EQ(runs->front().result, RunResult::kPass);
    EXPECT_FALSE(runs->front().start.simulated);
    EXPECT_EQ(runs->front().cause, "");
    const auto added = (*store)->BeginRun(SampleStart("A", 0));
    ASSERT_TRUE(added);
    StepRecord step{.step = "check",
                    .result = RunResult::kFail,
                    .failure = "too hot",
                    .cause = "out_of_limits"};
    ASSERT_TRUE((*store)->AddStep(*added, step));
    ASSERT_TRUE((*store)->FinishRun(*added, {RunResult::kFail, "check", "too hot", "out_of_limits",
                                             SampleStart("A", 1).started_at}));
    runs = (*store)->Runs({}, true);
    ASSERT_TRUE(runs && runs->size() == 2u);
    EXPECT_EQ(runs->back().cause, "out_of_limits");
    ASSERT_EQ(runs->back().steps.size(), 1u);
    EXPECT_EQ(runs->back().steps[0].cause, "out_of_limits");
    store->reset();
    auto database = OpenSqliteDatabase(path, false);
    ASSERT_TRUE(database);
    const auto ids = (*database)->Query("SELECT COUNT(*) AS ids FROM store_info", {});
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids->at(0).Int("ids"), 1);
    // The views come with the upgrade, over the runs the old layout held too.
    const auto yield = (*database)->Query("SELECT SUM(packs) AS packs FROM first_pass_yield", {});
    ASSERT_TRUE(yield) << yield.error().message;
    EXPECT_EQ(yield->at(0).Int("packs"), 2);
  }
}

}  // namespace
}  // namespace cw::production
