// Any text as a production recipe: the reader never crashes, and what it returns holds together:
// a refusal names at least one problem, each with words and a line of the text; an accepted
// recipe names a step, and every file it names has a path and a SHA-256 of 64 hex digits.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "production/recipe.h"

namespace {

// Random bytes are seldom TOML; recipe lines put together at random reach the step readers.
constexpr std::array<std::string_view, 40> kFragments = {
    "name = \"line\"\n",
    "[gauge]\n",
    "device_type = 0x0714\n",
    "firmware_version = { min = 0x0100, max = 0x01FF }\n",
    "[steps.firmware]\n",
    "image = \"files/pack.bin\"\n",
    "script = \"files/update.fs\"\n",
    "sha256 = \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\"\n",
    "sha256 = \"abc\"\n",
    "retries = 2\n",
    "retries = -1\n",
    "[steps.constants]\n",
    "afi = \"files/golden.afi\"\n",
    "[steps.calibrate]\n",
    "board_offset = true\n",
    "cells_mv = [3700, 3700, 3700, \"ask\"]\n",
    "cells_mv = [1e308, \"ask\"]\n",
    "pack_mv = 14800\n",
    "current_ma = -2000\n",
    "temperatures_c = { ts1 = 25.0, ts2 = \"ask\" }\n",
    "tolerance = { cell_mv = 5, current_ma = 0 }\n",
    "[steps.serial]\n",
    "start = 1\n",
    "end = 9223372036854775807\n",
    "step = 0\n",
    "parameter = \"Serial Number\"\n",
    "[steps.date]\n",
    "value = 2024-05-17\n",
    "value = \"today\"\n",
    "[steps.verify]\n",
    "masks = [\"calibration\", \"serial\", \"date\", \"lifetime\"]\n",
    "golden = \"files/golden.afi\"\n",
    "[steps.check]\n",
    "limits = [ { register = \"Voltage\", min = 12000, max = 17000 } ]\n",
    "clear = [\"Safety Status\", \"PF Status\"]\n",
    "[steps.seal]\n",
    "[steps.polish]\n",
    "[[steps]]\n",
    "= \"\n",
    "\"\\u0000\" = 1\n",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses between the bytes as they are and the bytes as picks of fragments.
  std::string text;
  for (std::size_t i = 1; i < size; ++i) {
    if ((data[0] & 1) != 0) {
      text += static_cast<char>(data[i]);
    } else {
      text += kFragments[data[i] % kFragments.size()];
    }
  }
  const auto recipe = cw::production::ParseRecipe(text, "/line");
  const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
  if (!recipe) {
    if (recipe.error().empty()) __builtin_trap();
    for (const auto& problem : recipe.error()) {
      if (problem.line < 0 || problem.line > lines || problem.text.empty()) __builtin_trap();
    }
    return 0;
  }
  if (recipe->Steps().empty()) __builtin_trap();
  for (const auto* file : recipe->Files()) {
    if (file->path.empty() || file->sha256.size() != 64) __builtin_trap();
    if (file->line < 1 || file->line > lines) __builtin_trap();
  }
  return 0;
}
