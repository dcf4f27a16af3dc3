// How much the link adds to the waits the adapter protocol mandates: 1,000 locked word reads
// against the simulated HID adapter on the real clock. Target: under 2 % overhead.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <chrono>

#include "bench_support.h"
#include "common/front_end.h"
#include "link/bus_lock.h"
#include "link/gauge_link.h"
#include "sim/sim_pack.h"

namespace {

using namespace cw;

using bench::MandatedWaitClock;

void LockedReadWord(benchmark::State& state) {
  constexpr int kReads = 1000;
  MandatedWaitClock clock;
  bench::SimLink sim(clock);
  auto& link = sim.link;
  if (!sim.ready()) {
    state.SkipWithError("the simulated adapter did not open");
    return;
  }
  for (auto _ : state) {
    clock.Reset();
    const auto start = std::chrono::steady_clock::now();
    int failures = 0;
    for (int i = 0; i < kReads; ++i) {
      std::uint16_t value = 0;
      if (!link.ReadWord(0x09, value)) ++failures;
    }
    const auto measured =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    const double mandated = static_cast<double>(clock.mandated().count());
    const double ratio = measured.count() / mandated;
    state.counters["mandated_ms"] = mandated;
    state.counters["measured_ms"] = measured.count();
    state.counters["overhead_pct"] = (ratio - 1.0) * 100.0;
    state.counters["failures"] = failures;
    fmt::print("measured / mandated = {:.4f} ({:.2f} % overhead, target under 2 %)\n", ratio,
               (ratio - 1.0) * 100.0);
  }
}

BENCHMARK(LockedReadWord)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
