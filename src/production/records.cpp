#include "production/records.h"

#include <algorithm>

namespace cw::production {

std::optional<RunResult> ResultNamed(std::string_view name) {
  const auto found = std::ranges::find(kRunResultNames, name);
  if (found == kRunResultNames.end()) return std::nullopt;
  return static_cast<RunResult>(found - kRunResultNames.begin());
}

RunStart RunStartFor(const Recipe& recipe) {
  RunStart start;
  start.recipe_name = recipe.name;
  start.recipe_sha256 = recipe.sha256;
  for (const RecipeFile* file : recipe.Files()) {
    start.files.push_back({file->path.generic_string(), file->sha256});
  }
  return start;
}

std::int64_t StepRecord::duration_ms() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(ended_at - started_at).count();
}

std::optional<std::int64_t> RunRecord::duration_ms() const {
  if (!ended_at) return std::nullopt;
  return std::chrono::duration_cast<std::chrono::milliseconds>(*ended_at - start.started_at)
      .count();
}

SerialRange SerialRangeOf(const SerialStep& step) {
  return {step.parameter, step.start, step.end, step.step};
}

}  // namespace cw::production
