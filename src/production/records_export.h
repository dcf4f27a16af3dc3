#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "production/records.h"

// The records as others read them: CSV for a spreadsheet, JSON for a program (docs/json.md holds
// the shapes), and the yield of each recipe. The records store reads; these only write.
namespace cw::production {

// One row per run; the first line names the columns.
std::string RunsCsv(std::span<const RunRecord> runs);
// One row per attempt at a step, with the run and pack it belongs to.
std::string StepsCsv(std::span<const RunRecord> runs);

// {"runs": [...]}; each run carries its "steps" when `with_steps`.
std::string RunsJson(std::span<const RunRecord> runs, bool with_steps);
// One run with its steps.
std::string RunJson(const RunRecord& run);

// {"serials": [{"parameter", "number", "run", "state"}, ...]}: every number issued.
std::string SerialsJson(std::span<const IssuedSerial> serials);

// How a recipe fared: its runs by result, and the step at which each failed pack failed first.
struct StepCount {
  std::string step;
  std::int64_t count = 0;
  bool operator==(const StepCount&) const = default;
};
struct RecipeYield {
  std::string recipe_name;
  std::string recipe_sha256;
  std::int64_t runs = 0;
  std::int64_t passed = 0;
  std::int64_t failed = 0;
  std::int64_t stopped = 0;               // stopped by the operator: no verdict on the pack
  std::int64_t interrupted = 0;           // its station died under it: no verdict either
  std::int64_t running = 0;               // never finished (or still running)
  std::vector<StepCount> first_failures;  // in the order the steps run
  // Passed packs of those that got a verdict, in percent; nothing before any verdict.
  std::optional<double> yield_percent() const;
};
// One row per recipe version (name and SHA-256), in the order each was first run.
std::vector<RecipeYield> SummariseYield(std::span<const RunRecord> runs);
std::string YieldJson(std::span<const RecipeYield> yields);

}  // namespace cw::production
