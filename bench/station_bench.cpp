// The production station on the real clock: the example recipe (firmware image, constants,
// calibration, serial, date, verify, check, seal) on one simulated pack, then on four at once,
// each lane with its own worker and link. Lanes that never wait on each other give a ratio of
// about 1.0; the goal is at most 1.15.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "app/adapter_host.h"
#include "app/device_string.h"
#include "production/prepared_recipe.h"
#include "production/records_store.h"
#include "production/station.h"

namespace {

using namespace cw;

struct Outcome {
  double seconds = 0;
  production::StationCounters counters;
  std::string problem;
};

// One station run of every pack of a fresh set of `packs`, timed from the start to the last pack.
Outcome RunPacks(int packs, std::shared_ptr<const production::PreparedRecipe> recipe,
                 const std::string& records) {
  Outcome outcome;
  auto host = app::AdapterHost::Create(*app::ParseDeviceString(fmt::format("sim:packs={}", packs)),
                                       common::ProductConstants{});
  if (!host) {
    outcome.problem = host.error().message;
    return outcome;
  }
  auto store = production::OpenRecordsStore(records, production::OpenMode::kCreate);
  if (!store) {
    outcome.problem = store.error().message;
    return outcome;
  }
  production::StationOptions options;
  options.station = "bench";
  auto station = production::Station::Create(*host, std::move(recipe), std::move(*store), options);
  if (!station) {
    outcome.problem = station.error();
    return outcome;
  }
  const auto start = std::chrono::steady_clock::now();
  (*station)->StartAll();
  (*station)->WaitUntilIdle();
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.counters = (*station)->View().counters;
  return outcome;
}

void StationOneAndFourPacks(benchmark::State& state) {
  auto recipe = production::LoadRecipe(CELLWARDEN_EXAMPLE_RECIPE);
  if (!recipe) {
    state.SkipWithError(recipe.error().front().text.c_str());
    return;
  }
  auto prepared = production::PrepareRecipe(std::move(*recipe), common::ProductConstants{});
  if (!prepared) {
    state.SkipWithError(prepared.error().front().text.c_str());
    return;
  }
  const auto shared = std::make_shared<const production::PreparedRecipe>(std::move(*prepared));
  const auto folder =
      std::filesystem::temp_directory_path() / fmt::format("cw-station-bench-{}", ::getpid());
  std::filesystem::create_directories(folder);
  for (auto _ : state) {
    const Outcome one = RunPacks(1, shared, (folder / "one.sqlite").string());
    const Outcome four = RunPacks(4, shared, (folder / "four.sqlite").string());
    if (!one.problem.empty() || !four.problem.empty()) {
      state.SkipWithError((one.problem + four.problem).c_str());
      break;
    }
    state.counters["one_pack_s"] = one.seconds;
    state.counters["four_packs_s"] = four.seconds;
    state.counters["passed"] = one.counters.passed + four.counters.passed;
    fmt::print(
        "the example recipe: one pack {:.2f} s, four packs at once {:.2f} s, four / one = {:.3f} "
        "(goal at most 1.15); {} of 5 packs passed\n",
        one.seconds, four.seconds, four.seconds / one.seconds,
        one.counters.passed + four.counters.passed);
  }
  std::filesystem::remove_all(folder);
}

BENCHMARK(StationOneAndFourPacks)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
