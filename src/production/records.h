#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "production/recipe.h"

// What the records store keeps: one run per pack on a station, the steps of each run, and the
// serial numbers issued. Times are UTC to the millisecond.
namespace cw::production {

using TimePoint = std::chrono::system_clock::time_point;

// How a run or a step ended. A run "running" is under way, or its station stopped without a
// word (power, a crash, kill -9) and has not opened the records since; the next station on that
// host that opens them finds its process gone and closes the run as "interrupted".
enum class RunResult { kRunning, kPass, kFail, kStopped, kInterrupted };
inline constexpr std::array<std::string_view, 5> kRunResultNames = {"running", "pass", "fail",
                                                                    "stopped", "interrupted"};
inline constexpr std::string_view ResultName(RunResult result) {
  return kRunResultNames[static_cast<std::size_t>(result)];
}
std::optional<RunResult> ResultNamed(std::string_view name);

struct FileHash {
  std::string path;  // as the recipe names it
  std::string sha256;
  bool operator==(const FileHash&) const = default;
};

// What a station knows when it starts a pack.
struct RunStart {
  std::string station;
  std::string host;
  std::string operator_name;
  std::string adapter_serial;
  std::string recipe_name;
  std::string recipe_sha256;
  std::vector<FileHash> files;
  TimePoint started_at;
  bool simulated = false;       // the pack is one of the simulated set, not a real one
  std::int64_t process_id = 0;  // of the station that runs it, to tell a run under way from
                                // one whose station died
};
// The recipe's part of a run's start: its name, its SHA-256 and those of its files.
RunStart RunStartFor(const Recipe& recipe);

// One attempt at one step of a run.
struct StepRecord {
  int index = 0;  // the order of the step records of a run, from 1; given by the store
  std::string step;
  int attempt = 1;
  RunResult result = RunResult::kPass;
  std::string failure;
  std::string cause;         // the failure's kind ("gauge_not_responding", ...), or empty
  std::string measurements;  // a JSON document, or empty
  TimePoint started_at;
  TimePoint ended_at;
  std::int64_t duration_ms() const;
  bool operator==(const StepRecord&) const = default;
};

struct RunEnd {
  RunResult result = RunResult::kPass;
  std::string failed_step;  // the step the pack failed at, for a failed run
  std::string failure;
  std::string cause;  // the failure's kind, for a run that did not pass
  TimePoint ended_at;
};

// A serial range as a recipe gives it. The store keeps one cursor per range.
struct SerialRange {
  std::string parameter;
  std::int64_t start = 0;
  std::int64_t end = 0;
  std::int64_t step = 1;
};
SerialRange SerialRangeOf(const SerialStep& step);

struct RunRecord {
  std::int64_t id = 0;
  RunStart start;
  std::optional<std::int64_t> device_type;
  std::optional<std::int64_t> firmware_version;
  std::string serial_parameter;
  std::optional<std::int64_t> pack_serial;
  // The SBS serial number the pack carried when it came on: when the records issued that number
  // to an earlier run, this run is a rework of that run's pack.
  std::optional<std::int64_t> arrived_serial;
  RunResult result = RunResult::kRunning;
  std::string failed_step;
  std::string failure;
  std::string cause;
  std::optional<TimePoint> ended_at;
  std::vector<StepRecord> steps;  // filled when asked for
  std::optional<std::int64_t> duration_ms() const;
};

// A serial number the store has issued and what became of its pack: its run's result. The
// number of an interrupted run is void: it may or may not sit in a pack, and is never issued
// again.
struct IssuedSerial {
  std::string parameter;
  std::int64_t number = 0;
  std::int64_t run_id = 0;
  RunResult state = RunResult::kRunning;
};

// Which runs to read. Runs come in the order they started.
struct RunFilter {
  std::optional<TimePoint> since;
  std::optional<TimePoint> until;  // runs started before this
  std::optional<std::string> station;
  std::optional<std::int64_t> serial;  // runs that were issued this number or came with it
  std::optional<RunResult> result;
  std::optional<std::size_t> last;  // only the latest this many
};

}  // namespace cw::production
