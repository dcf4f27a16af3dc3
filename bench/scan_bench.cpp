// Host work of the scan: one pass over every row of tables A, B and C against the simulated
// pack on a manual clock, so the protocol's own waits cost nothing and what is measured is the
// link, the conversions and the table. Reported per row. Target: under 50 us of CPU per row.
#include <benchmark/benchmark.h>

#include <atomic>

#include "bench_support.h"
#include "common/clock.h"
#include "common/null_sinks.h"
#include "link/bus_lock.h"
#include "link/gauge_link.h"
#include "monitor/scan_engine.h"
#include "sim/sim_pack.h"

namespace {

using namespace cw;

void ScanPassAllRows(benchmark::State& state, sim::SimAdapters transport) {
  common::ManualClock clock;
  bench::SimLink sim(clock, transport);
  auto& link = sim.link;
  common::NullProgressSink progress;
  std::atomic<bool> calibration_busy{false};
  if (!sim.ready()) {
    state.SkipWithError("the simulated adapter did not open");
    return;
  }
  monitor::ScanEngine engine(link, progress, calibration_busy);
  engine.WithTable([](monitor::RegisterTable& table) { table.SetAllScan(true); });
  int rows = 0;
  for (auto _ : state) {
    const monitor::PassResult result = engine.ScanPass();
    if (!result.all_read) {
      state.SkipWithError("a row failed on the simulated pack");
      return;
    }
    rows = result.done;
  }
  state.counters["rows"] = rows;
  // Seconds of CPU per row (the pass time divided by its rows).
  state.counters["cpu_per_row"] = benchmark::Counter(
      rows, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void ScanPassHid(benchmark::State& state) { ScanPassAllRows(state, sim::SimAdapters::kHid); }
void ScanPassBulk(benchmark::State& state) { ScanPassAllRows(state, sim::SimAdapters::kBulk); }

BENCHMARK(ScanPassHid)->Unit(benchmark::kMicrosecond);
BENCHMARK(ScanPassBulk)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
