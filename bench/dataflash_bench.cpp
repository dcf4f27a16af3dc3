// How much Read All and Write All add to the waits the data-flash protocol mandates, against the
// simulated HID adapter (no latency of its own) on the real clock. Target: under 2 %.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <chrono>

#include "bench_support.h"
#include "common/null_sinks.h"
#include "dataflash/data_flash_session.h"
#include "link/bus_lock.h"
#include "link/gauge_link.h"
#include "sim/sim_pack.h"

namespace {

using namespace cw;

using bench::MandatedWaitClock;

enum class Operation { kReadAll, kWriteAll };

void Transfer(benchmark::State& state, Operation operation) {
  MandatedWaitClock clock;
  bench::SimLink sim(clock);
  common::NullProgressSink progress;
  dataflash::DataFlashSession session(sim.link, sim.messages, progress);
  dataflash::AlgorithmArea backup{};
  if (!sim.ready() || !session.ReadAllFlash(backup)) {
    state.SkipWithError("the simulated pack did not answer");
    return;
  }
  for (auto _ : state) {
    clock.Reset();
    const auto start = std::chrono::steady_clock::now();
    const bool ok = (operation == Operation::kReadAll ? session.ReadAllFlash(backup)
                                                      : session.WriteAllFlash(backup))
                        .done();
    const auto measured =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    const double mandated = static_cast<double>(clock.mandated().count());
    const double ratio = measured.count() / mandated;
    state.counters["mandated_ms"] = mandated;
    state.counters["measured_ms"] = measured.count();
    state.counters["failures"] = ok ? 0 : 1;
    fmt::print("{}: measured / mandated = {:.4f} (target under 1.02)\n",
               operation == Operation::kReadAll ? "Read All" : "Write All", ratio);
  }
}

void ReadAll(benchmark::State& state) { Transfer(state, Operation::kReadAll); }
void WriteAll(benchmark::State& state) { Transfer(state, Operation::kWriteAll); }

BENCHMARK(ReadAll)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(WriteAll)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
