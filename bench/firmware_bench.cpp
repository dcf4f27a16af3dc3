// Firmware tools: building one image, writing one full update script, and one full update
// against the simulated HID adapter (no latency of its own) on the real clock, printed as the
// ratio of measured time to the waits the protocol mandates. Target: under 1.05.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <chrono>
#include <filesystem>
#include <memory>

#include "bench_support.h"
#include "common/front_end.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_tool.h"
#include "firmware/fs_script.h"
#include "firmware/update_job.h"
#include "link/bus_lock.h"
#include "link/gauge_link.h"
#include "sim/sim_pack.h"

namespace {

using namespace cw;

using bench::MandatedWaitClock;

common::Bytes SampleImage() {
  auto code = std::make_unique<firmware::CodeImage>();
  firmware::DataAreaImage data{};
  for (std::size_t i = 0; i < firmware::kStreamedCodeSize; ++i) {
    (*code)[i] = static_cast<std::uint8_t>(i * 7);
  }
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 3);
  return firmware::BuildFirmwareImage(*code, data, common::ProductConstants{});
}

void BuildImage(benchmark::State& state) {
  auto code = std::make_unique<firmware::CodeImage>();
  firmware::DataAreaImage data{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(firmware::BuildFirmwareImage(*code, data, common::ProductConstants{}));
  }
}

void WriteUpdateScript(benchmark::State& state) {
  const common::Bytes image = SampleImage();
  for (auto _ : state) benchmark::DoNotOptimize(firmware::UpdateScript(image));
}

void FullUpdate(benchmark::State& state) {
  MandatedWaitClock clock;
  bench::SimLink sim(clock);
  auto& link = sim.link;
  auto& messages = sim.messages;
  const auto& options = sim.options;
  const auto path = std::filesystem::temp_directory_path() / "cw_firmware_bench.bin";
  if (!sim.ready() || !firmware::WriteWholeFile(path, common::ByteView(SampleImage()))) {
    state.SkipWithError("the simulated pack did not answer");
    return;
  }
  common::CountingScanPause scan;
  common::CountingMainUiLock main_ui;
  firmware::FirmwareTool tool(link, messages, scan, main_ui, options.constants);
  tool.Load(path);
  for (auto _ : state) {
    clock.Reset();
    const auto start = std::chrono::steady_clock::now();
    tool.update().Start();
    tool.WaitUntilIdle();
    const auto measured =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
    const double mandated = static_cast<double>(clock.mandated().count());
    state.counters["mandated_ms"] = mandated;
    state.counters["measured_ms"] = measured.count();
    state.counters["failures"] = tool.update().View().failed ? 1 : 0;
    fmt::print("Firmware update: measured / mandated = {:.4f} (target under 1.05)\n",
               measured.count() / mandated);
  }
  std::filesystem::remove(path);
}

BENCHMARK(BuildImage)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteUpdateScript)->Unit(benchmark::kMillisecond);
BENCHMARK(FullUpdate)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
