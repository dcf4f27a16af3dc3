// Firmware tools: building one image and writing one full update script. The full update on
// both adapters is measured by firmware_transport_bench.
#include <benchmark/benchmark.h>

#include <memory>

#include "firmware/firmware_image.h"
#include "firmware/fs_script.h"

namespace {

using namespace cw;

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

BENCHMARK(BuildImage)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteUpdateScript)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
