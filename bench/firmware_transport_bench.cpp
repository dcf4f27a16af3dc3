// One full firmware update of the simulated pack's own image, on the HID and on the bulk
// adapter, on the real clock. Printed per transport: the wall time, the sum of the waits the
// update protocol and the adapter's transport call for (every wait of the link: poll waits,
// settle times, the bulk turnaround), their ratio, and the waits per record. The ratio shows what
// the host and the simulated pack add to the waits; target: under 1.05 on both.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

#include "bench_support.h"
#include "common/front_end.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_tool.h"
#include "firmware/update_job.h"
#include "sim/gauge_memory.h"

namespace {

using namespace cw;

// What a fresh simulated pack holds, as the image that would put it there.
common::Bytes DefaultPackImage(const common::ProductConstants& constants) {
  const sim::GaugeMemory memory = sim::DefaultGaugeMemory(constants);
  auto code = std::make_unique<firmware::CodeImage>();
  firmware::DataAreaImage data{};
  std::copy_n(memory.code.begin(), code->size(), code->begin());
  std::copy_n(memory.data.begin(), data.size(), data.begin());
  return firmware::BuildFirmwareImage(*code, data, constants);
}

void FullUpdate(benchmark::State& state, sim::SimAdapters transport, const char* name) {
  bench::MandatedWaitClock clock;
  bench::SimLink sim(clock, transport);
  const auto path = std::filesystem::temp_directory_path() /
                    fmt::format("cw_firmware_transport_bench_{}.bin", name);
  const common::Bytes image = DefaultPackImage(sim.options.constants);
  if (!sim.ready() || !firmware::WriteWholeFile(path, common::ByteView(image))) {
    state.SkipWithError("the simulated pack did not answer");
    return;
  }
  cw::test::CountingScanPause scan;
  cw::test::CountingMainUiLock main_ui;
  firmware::FirmwareTool tool(sim.link, sim.messages, scan, main_ui, sim.options.constants);
  tool.Load(path);
  for (auto _ : state) {
    clock.Reset();
    const auto start = std::chrono::steady_clock::now();
    tool.update().Start();
    tool.WaitUntilIdle();
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
    const auto waits = static_cast<double>(clock.mandated().count());
    const auto records = static_cast<double>(firmware::kImageRecordCount);
    const bool failed = tool.update().View().failed;
    state.counters["wall_ms"] = wall.count();
    state.counters["waits_ms"] = waits;
    state.counters["failed"] = failed ? 1 : 0;
    fmt::print(
        "{:4} update{}: wall {:.3f} s, waits {:.3f} s, wall / waits = {:.4f} "
        "(target under 1.05), waits per record {:.2f} ms\n",
        name, failed ? " FAILED" : "", wall.count() / 1000, waits / 1000, wall.count() / waits,
        waits / records);
  }
  std::filesystem::remove(path);
}

BENCHMARK_CAPTURE(FullUpdate, hid, sim::SimAdapters::kHid, "hid")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(FullUpdate, bulk, sim::SimAdapters::kBulk, "bulk")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
