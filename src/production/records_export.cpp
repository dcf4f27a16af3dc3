#include "production/records_export.h"

#include <fmt/format.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>

#include "monitor/csv_text.h"
#include "production/records_schema.h"
#include "production/records_time.h"

namespace cw::production {
namespace {

using nlohmann::json;

std::string OptionalNumber(const std::optional<std::int64_t>& number) {
  return number ? std::to_string(*number) : std::string();
}

json OrNull(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }

// A spreadsheet runs a cell that begins with one of these as a formula: a name typed by an
// operator or a message is never to become one. The quote makes the cell plain text.
std::string PlainCell(std::string text) {
  if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos) {
    text.insert(text.begin(), '\'');
  }
  return text;
}

// Stored names may hold any bytes (a records file from elsewhere, an old version): bytes that are
// no UTF-8 are shown as U+FFFD instead of ending the program.
std::string Dump(const json& document) {
  return document.dump(2, ' ', false, json::error_handler_t::replace);
}

template <typename T>
json OrNull(const std::optional<T>& value) {
  return value ? json(*value) : json(nullptr);
}

// A step's measurements are a JSON document the station wrote; a text that is none (a records
// file edited by hand) is passed on as text rather than lost.
json Measurements(const std::string& text) {
  if (text.empty()) return nullptr;
  json parsed = json::parse(text, nullptr, false);
  return parsed.is_discarded() ? json(text) : parsed;
}

json StepJson(const StepRecord& step) {
  return {{"index", step.index},
          {"step", step.step},
          {"attempt", step.attempt},
          {"result", ResultName(step.result)},
          {"failure", OrNull(step.failure)},
          {"cause", OrNull(step.cause)},
          {"measurements", Measurements(step.measurements)},
          {"started_at", FormatUtc(step.started_at)},
          {"ended_at", FormatUtc(step.ended_at)},
          {"duration_ms", step.duration_ms()}};
}

json RunObject(const RunRecord& run, bool with_steps) {
  json files = json::array();
  for (const FileHash& file : run.start.files) {
    files.push_back({{"path", file.path}, {"sha256", file.sha256}});
  }
  json serial = nullptr;
  if (run.pack_serial) serial = {{"parameter", run.serial_parameter}, {"number", *run.pack_serial}};
  json object = {
      {"id", run.id},
      {"station", run.start.station},
      {"host", run.start.host},
      {"operator", run.start.operator_name},
      {"adapter_serial", run.start.adapter_serial},
      {"recipe",
       {{"name", run.start.recipe_name}, {"sha256", run.start.recipe_sha256}, {"files", files}}},
      {"device_type", OrNull(run.device_type)},
      {"firmware_version", OrNull(run.firmware_version)},
      {"serial", serial},
      {"arrived_serial", OrNull(run.arrived_serial)},
      {"result", ResultName(run.result)},
      {"failed_step", OrNull(run.failed_step)},
      {"failure", OrNull(run.failure)},
      {"cause", OrNull(run.cause)},
      {"started_at", FormatUtc(run.start.started_at)},
      {"ended_at", run.ended_at ? json(FormatUtc(*run.ended_at)) : json(nullptr)},
      {"duration_ms", OrNull(run.duration_ms())},
      {"simulated", run.start.simulated}};
  if (with_steps) {
    json steps = json::array();
    for (const StepRecord& step : run.steps) steps.push_back(StepJson(step));
    object["steps"] = std::move(steps);
  }
  return object;
}

// Where a step stands in the running order; names no recipe has go last.
std::size_t StepOrder(std::string_view step) {
  return static_cast<std::size_t>(std::ranges::find(kStepNames, step) - kStepNames.begin());
}

}  // namespace

std::string RunsCsv(std::span<const RunRecord> runs) {
  std::string csv = monitor::CsvLine(std::vector<std::string>{
      "id", "station", "host", "operator", "adapter_serial", "recipe_name", "recipe_sha256",
      "device_type", "firmware_version", "serial_parameter", "pack_serial", "result", "failed_step",
      "failure", "started_at", "ended_at", "duration_ms", "simulated", "cause"});
  for (const RunRecord& run : runs) {
    csv += monitor::CsvLine(std::vector<std::string>{
        std::to_string(run.id), PlainCell(run.start.station), PlainCell(run.start.host),
        PlainCell(run.start.operator_name), PlainCell(run.start.adapter_serial),
        PlainCell(run.start.recipe_name), run.start.recipe_sha256, HexWord(run.device_type),
        HexWord(run.firmware_version), PlainCell(run.serial_parameter),
        OptionalNumber(run.pack_serial), std::string(ResultName(run.result)),
        PlainCell(run.failed_step), PlainCell(run.failure), FormatLocalIso(run.start.started_at),
        run.ended_at ? FormatLocalIso(*run.ended_at) : std::string(),
        OptionalNumber(run.duration_ms()), run.start.simulated ? "yes" : "no", run.cause});
  }
  return csv;
}

std::string StepsCsv(std::span<const RunRecord> runs) {
  std::string csv = monitor::CsvLine(std::vector<std::string>{
      "run_id", "station", "adapter_serial", "pack_serial", "index", "step", "attempt", "result",
      "failure", "measurements", "started_at", "ended_at", "duration_ms", "cause"});
  for (const RunRecord& run : runs) {
    for (const StepRecord& step : run.steps) {
      csv += monitor::CsvLine(std::vector<std::string>{
          std::to_string(run.id), PlainCell(run.start.station), PlainCell(run.start.adapter_serial),
          OptionalNumber(run.pack_serial), std::to_string(step.index), PlainCell(step.step),
          std::to_string(step.attempt), std::string(ResultName(step.result)),
          PlainCell(step.failure), PlainCell(step.measurements), FormatLocalIso(step.started_at),
          FormatLocalIso(step.ended_at), std::to_string(step.duration_ms()), step.cause});
    }
  }
  return csv;
}

std::string RunsJson(std::span<const RunRecord> runs, bool with_steps) {
  json list = json::array();
  for (const RunRecord& run : runs) list.push_back(RunObject(run, with_steps));
  return Dump(json{{"runs", std::move(list)}});
}

std::string RunJson(const RunRecord& run) { return Dump(RunObject(run, true)); }

std::string SerialsJson(std::span<const IssuedSerial> serials) {
  json list = json::array();
  for (const IssuedSerial& serial : serials) {
    list.push_back({{"parameter", serial.parameter},
                    {"number", serial.number},
                    {"run", serial.run_id},
                    {"state", ResultName(serial.state)}});
  }
  return Dump(json{{"serials", std::move(list)}});
}

std::string HexWord(const std::optional<std::int64_t>& word) {
  return word ? fmt::format("0x{:04X}", *word) : std::string();
}

std::vector<bool> FirstRuns(std::span<const RunRecord> runs) {
  std::vector<bool> first;
  std::set<std::int64_t> issued;
  for (const RunRecord& run : runs) {
    first.push_back(!run.arrived_serial || !issued.contains(*run.arrived_serial));
    if (run.pack_serial && run.serial_parameter == kSbsSerialParameter) {
      issued.insert(*run.pack_serial);
    }
  }
  return first;
}

namespace {

std::optional<double> Percent(std::int64_t part, std::int64_t whole) {
  if (whole == 0) return std::nullopt;
  return 100.0 * static_cast<double>(part) / static_cast<double>(whole);
}

template <typename Count, typename Key>
Count& CountOf(std::vector<Count>& counts, Key&& same, Count fresh) {
  auto found = std::ranges::find_if(counts, same);
  if (found == counts.end()) found = counts.insert(counts.end(), std::move(fresh));
  return *found;
}

}  // namespace

std::optional<double> RecipeYield::yield_percent() const {
  return Percent(passed, passed + failed);
}

std::optional<double> RecipeYield::first_pass_percent() const { return Percent(first_pass, packs); }

std::optional<double> RecipeYield::packs_per_hour() const {
  if (!last_end || passed + failed == 0) return std::nullopt;
  const double hours =
      std::chrono::duration<double, std::ratio<3600>>(*last_end - first_start).count();
  if (hours <= 0) return std::nullopt;
  return static_cast<double>(passed + failed) / hours;
}

namespace {

void Count(RecipeYield& yield, const RunRecord& run, bool first_run) {
  ++yield.runs;
  const bool verdict = run.result == RunResult::kPass || run.result == RunResult::kFail;
  if (verdict && first_run) {
    ++yield.packs;
    if (run.result == RunResult::kPass) ++yield.first_pass;
  }
  if (verdict && run.ended_at && (!yield.last_end || *run.ended_at > *yield.last_end)) {
    yield.last_end = run.ended_at;
  }
  yield.first_start = std::min(yield.first_start, run.start.started_at);
  switch (run.result) {
    case RunResult::kPass:
      ++yield.passed;
      break;
    case RunResult::kFail:
      ++yield.failed;
      ++CountOf(
            yield.first_failures,
            [&](const StepCount& count) { return count.step == run.failed_step; },
            StepCount{run.failed_step, 0})
            .count;
      ++CountOf(
            yield.failures,
            [&](const FailureCount& count) {
              return count.step == run.failed_step && count.cause == run.cause;
            },
            FailureCount{run.failed_step, run.cause, 0})
            .count;
      break;
    case RunResult::kStopped:
      ++yield.stopped;
      break;
    case RunResult::kInterrupted:
      ++yield.interrupted;
      break;
    case RunResult::kRunning:
      ++yield.running;
      break;
  }
}

void SortCounts(RecipeYield& yield) {
  std::ranges::stable_sort(yield.first_failures, {},
                           [](const StepCount& count) { return StepOrder(count.step); });
  // Largest first; among equals, in running order.
  std::ranges::stable_sort(yield.failures, [](const FailureCount& a, const FailureCount& b) {
    if (a.count != b.count) return a.count > b.count;
    return StepOrder(a.step) < StepOrder(b.step);
  });
}

RecipeYield FreshYield(const RunRecord& run) {
  return {.recipe_name = run.start.recipe_name,
          .recipe_sha256 = run.start.recipe_sha256,
          .station = run.start.station,
          .first_start = run.start.started_at};
}

}  // namespace

std::vector<RecipeYield> SummariseYield(std::span<const RunRecord> runs) {
  std::vector<RecipeYield> yields;
  const std::vector<bool> first_runs = FirstRuns(runs);
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const RunRecord& run = runs[i];
    RecipeYield& yield = CountOf(
        yields,
        [&](const RecipeYield& row) {
          return row.recipe_sha256 == run.start.recipe_sha256 &&
                 row.recipe_name == run.start.recipe_name && row.station == run.start.station;
        },
        FreshYield(run));
    Count(yield, run, first_runs[i]);
  }
  for (RecipeYield& yield : yields) SortCounts(yield);
  return yields;
}

std::optional<RecipeYield> SummariseAll(std::span<const RunRecord> runs) {
  if (runs.empty()) return std::nullopt;
  RecipeYield yield = FreshYield(runs.front());
  const std::vector<bool> first_runs = FirstRuns(runs);
  for (std::size_t i = 0; i < runs.size(); ++i) Count(yield, runs[i], first_runs[i]);
  SortCounts(yield);
  return yield;
}

std::string YieldJson(std::span<const RecipeYield> yields) {
  json list = json::array();
  for (const RecipeYield& yield : yields) {
    json failures = json::array();
    for (const StepCount& count : yield.first_failures) {
      failures.push_back({{"step", OrNull(count.step)}, {"count", count.count}});
    }
    json pareto = json::array();
    for (const FailureCount& count : yield.failures) {
      pareto.push_back(
          {{"step", OrNull(count.step)}, {"cause", OrNull(count.cause)}, {"count", count.count}});
    }
    list.push_back({{"recipe", {{"name", yield.recipe_name}, {"sha256", yield.recipe_sha256}}},
                    {"station", yield.station},
                    {"runs", yield.runs},
                    {"passed", yield.passed},
                    {"failed", yield.failed},
                    {"stopped", yield.stopped},
                    {"interrupted", yield.interrupted},
                    {"running", yield.running},
                    {"yield_percent", OrNull(yield.yield_percent())},
                    {"packs", yield.packs},
                    {"first_pass", yield.first_pass},
                    {"first_pass_percent", OrNull(yield.first_pass_percent())},
                    {"packs_per_hour", OrNull(yield.packs_per_hour())},
                    {"first_failures", std::move(failures)},
                    {"failures", std::move(pareto)}});
  }
  return Dump(json{{"recipes", std::move(list)}});
}

}  // namespace cw::production
