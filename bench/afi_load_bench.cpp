// Reading a constants file of about 1 MB, in the shapes that cost the reader most: every key
// written with other blanks than its parameter's name (each found by its folded form), thousands
// of keys no parameter has, and one line of a megabyte. Target in a Release build: well under a
// second each.
#include <benchmark/benchmark.h>

#include <string>

#include "dataflash/afi_file.h"
#include "dataflash/parameter_table.h"

namespace {

using namespace cw::dataflash;

constexpr std::size_t kFileBytes = 1 << 20;

std::string BlankedKey(std::string_view name) {
  std::string key;
  for (char c : name) {
    if (c != ' ') key += c;
  }
  return key;
}

std::string ManyUnknownKeys() {
  std::string text = "[FlashData]\n";
  for (const ParamDef& row : kParams) text += BlankedKey(row.name) + "=1\n";
  for (std::size_t i = 0; text.size() < kFileBytes; ++i)
    text += "Unknown Key " + std::to_string(i) + "=7\n";
  return text;
}

std::string OneLongLine() {
  std::string text = "[FlashData]\n";
  for (const ParamDef& row : kParams) text += std::string(row.name) + "=1\n";
  text += "Device Name=" + std::string(kFileBytes, 'x') + "\n";
  return text;
}

void Load(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    const auto reader = AfiReader::FromText(text);
    if (!reader) {
      state.SkipWithError("the file was refused");
      return;
    }
    benchmark::DoNotOptimize(ReadAfiValues(*reader));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void UnknownKeys(benchmark::State& state) { Load(state, ManyUnknownKeys()); }
void LongLine(benchmark::State& state) { Load(state, OneLongLine()); }

BENCHMARK(UnknownKeys)->Unit(benchmark::kMillisecond);
BENCHMARK(LongLine)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
