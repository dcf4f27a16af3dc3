#include "records_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>

#include "production/postgres_database.h"

namespace cw::test {
namespace {

std::atomic<int> scratch_count{0};

production::TimePoint BaseTime() {
  return production::TimePoint{} + std::chrono::seconds(1'715'940'000);  // 2024-05-17
}

}  // namespace

ScratchFolder::ScratchFolder() {
  path_ = std::filesystem::temp_directory_path() /
          ("cw-production-" + std::to_string(::getpid()) + "-" + std::to_string(++scratch_count));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string PostgresServerUrl() {
  const char* url = std::getenv("CW_POSTGRES_URL");
  return url != nullptr ? url : "";
}

ScratchDatabase::ScratchDatabase() {
  const std::string server = PostgresServerUrl();
  const std::size_t database_at = server.find("/postgres?");
  if (database_at == std::string::npos) {
    ADD_FAILURE() << "CW_POSTGRES_URL is not the URL scripts/with-postgres gives: " << server;
    return;
  }
  name_ = "cw_test_" + std::to_string(::getpid()) + "_" + std::to_string(++scratch_count);
  auto admin = production::OpenPostgresDatabase(server);
  if (!admin) {
    ADD_FAILURE() << admin.error();
    return;
  }
  if (auto made = (*admin)->Query("CREATE DATABASE " + name_, {}); !made) {
    ADD_FAILURE() << made.error().message;
    return;
  }
  url_ = server.substr(0, database_at + 1) + name_ + server.substr(database_at + 9);
}

ScratchDatabase::~ScratchDatabase() {
  if (url_.empty()) return;
  if (auto admin = production::OpenPostgresDatabase(PostgresServerUrl())) {
    (void)(*admin)->Query("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)", {});
  }
}

production::RunStart SampleStart(std::string adapter, int seconds) {
  production::RunStart start;
  start.station = "line-1";
  start.host = "bench-pc";
  start.operator_name = "Mei";
  start.adapter_serial = std::move(adapter);
  start.recipe_name = "pack-line";
  start.recipe_sha256 = std::string(64, 'a');
  start.files = {{"golden.afi", std::string(64, 'b')}};
  start.started_at = BaseTime() + std::chrono::seconds(seconds);
  return start;
}

void FillSampleRecords(production::RecordsStore& store) {
  using production::RunResult;
  const production::SerialRange range{"Serial Number", 1000, 1999, 1};
  for (int pack = 0; pack < 3; ++pack) {
    const auto start = SampleStart("A" + std::to_string(pack), pack * 60);
    const auto run = store.BeginRun(start);
    ASSERT_TRUE(run) << run.error().message;
    ASSERT_TRUE(store.RecordGauge(*run, 0x0714, 0x0102, 1));
    ASSERT_TRUE(store.AllocateSerial(*run, range));
    const auto at = [&](int second) { return start.started_at + std::chrono::seconds(second); };
    ASSERT_TRUE(
        store.AddStep(*run, {0, "constants", 1, RunResult::kPass, "", "", "", at(0), at(4)}));
    const bool fails = pack == 1;
    for (int attempt = 1; attempt <= (fails ? 2 : 1); ++attempt) {
      ASSERT_TRUE(store.AddStep(
          *run,
          {0, "verify", attempt, fails ? RunResult::kFail : RunResult::kPass,
           fails ? "\"CUV Threshold\" reads 2600, the golden file holds 2500" : "",
           fails ? "mismatch" : "",
           fails ? R"({"differences":[{"key":"CUV Threshold","gauge":"2600","golden":"2500"}]})"
                 : R"({"differences":[]})",
           at(4 + attempt), at(5 + attempt)}));
    }
    production::RunEnd end{fails ? RunResult::kFail : RunResult::kPass, fails ? "verify" : "",
                           fails ? "the constants differ from the golden file" : "",
                           fails ? "mismatch" : "", at(10)};
    ASSERT_TRUE(store.FinishRun(*run, end));
  }
}

}  // namespace cw::test
