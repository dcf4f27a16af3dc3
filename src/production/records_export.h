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

// "0x0714": the gauge's own words (device type, firmware version) as every view shows them;
// empty for nothing.
std::string HexWord(const std::optional<std::int64_t>& word);

// Each run that is its pack's first: a pack that comes on carrying the number the records issued
// to an earlier run (its SBS serial number) is a rework of that run's pack. `runs` in the order
// they started; the flags in the same order.
std::vector<bool> FirstRuns(std::span<const RunRecord> runs);

// How a recipe fared on a station: its runs by result, its packs and how many passed at their
// first run, and what the failed runs failed at.
struct StepCount {
  std::string step;
  std::int64_t count = 0;
  bool operator==(const StepCount&) const = default;
};
struct FailureCount {
  std::string step;
  std::string cause;  // empty: a run recorded before causes were kept
  std::int64_t count = 0;
  bool operator==(const FailureCount&) const = default;
};
struct RecipeYield {
  std::string recipe_name;
  std::string recipe_sha256;
  std::string station;
  std::int64_t runs = 0;
  std::int64_t passed = 0;
  std::int64_t failed = 0;
  std::int64_t stopped = 0;               // stopped by the operator: no verdict on the pack
  std::int64_t interrupted = 0;           // its station died under it: no verdict either
  std::int64_t running = 0;               // never finished (or still running)
  std::int64_t packs = 0;                 // first runs with a verdict
  std::int64_t first_pass = 0;            // of them, the packs that passed
  std::vector<StepCount> first_failures;  // in the order the steps run
  std::vector<FailureCount> failures;     // by step and cause, the most first
  TimePoint first_start{};
  std::optional<TimePoint> last_end;
  // Passed packs of those that got a verdict, in percent; nothing before any verdict.
  std::optional<double> yield_percent() const;
  // Packs that passed at their first run, of the packs, in percent; nothing before any.
  std::optional<double> first_pass_percent() const;
  // Runs with a verdict per hour from the first start to the last end; nothing before one.
  std::optional<double> packs_per_hour() const;
};
// One row per recipe version (name and SHA-256) and station, in the order each was first run.
std::vector<RecipeYield> SummariseYield(std::span<const RunRecord> runs);
// Every run in one row, whatever its recipe and station (a shift's runs); the first run's names.
std::optional<RecipeYield> SummariseAll(std::span<const RunRecord> runs);
std::string YieldJson(std::span<const RecipeYield> yields);

}  // namespace cw::production
