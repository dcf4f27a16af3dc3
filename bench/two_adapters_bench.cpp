// Two simulated adapters driven at once, each by its own worker as a production station drives
// them, on the real clock: the wall time of both together over the wall time of one alone.
// Adapters that never wait on each other give about 1.0.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <chrono>
#include <memory>

#include "app/adapter_host.h"
#include "app/device_string.h"
#include "app/workbench.h"
#include "common/job_worker.h"
#include "sim/sim_pack_set.h"
#include "support/recording_sinks.h"

namespace {

using namespace cw;

constexpr int kReads = 300;

struct Adapter {
  std::unique_ptr<app::Workbench> bench;
  common::JobWorker worker;
  int failures = 0;

  void Post() {
    worker.Post([this](std::stop_token) {
      for (int i = 0; i < kReads; ++i) {
        std::uint16_t value = 0;
        if (!bench->link().ReadWord(0x09, value)) ++failures;
      }
    });
  }
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void TwoAdaptersAtOnce(benchmark::State& state) {
  test::RecordingMessageSink messages;
  auto host =
      app::AdapterHost::Create(*app::ParseDeviceString("sim:packs=2"), common::ProductConstants{});
  if (!host) {
    state.SkipWithError(host.error().message.c_str());
    return;
  }
  Adapter adapters[2];
  for (int pack = 0; pack < 2; ++pack) {
    auto bench =
        app::Workbench::Create(*host, {std::nullopt, sim::PackSerial(pack + 1)}, {}, messages);
    if (!bench || !(*bench)->Start()) {
      state.SkipWithError("a simulated adapter did not open");
      return;
    }
    adapters[pack].bench = std::move(*bench);
  }
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    adapters[0].Post();
    adapters[0].worker.WaitUntilIdle();
    const double one = Seconds(start);

    start = std::chrono::steady_clock::now();
    adapters[0].Post();
    adapters[1].Post();
    adapters[0].worker.WaitUntilIdle();
    adapters[1].worker.WaitUntilIdle();
    const double two = Seconds(start);

    state.counters["one_adapter_s"] = one;
    state.counters["two_adapters_s"] = two;
    state.counters["failures"] = adapters[0].failures + adapters[1].failures;
    fmt::print(
        "{} word reads per adapter: one adapter {:.3f} s, two at once {:.3f} s, "
        "two / one = {:.3f} (goal about 1.0)\n",
        kReads, one, two, two / one);
  }
}

BENCHMARK(TwoAdaptersAtOnce)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
