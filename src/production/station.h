#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/front_end.h"
#include "production/prepared_recipe.h"
#include "production/records.h"
#include "production/records_store.h"

namespace cw::app {
class AdapterHost;
class Workbench;
}  // namespace cw::app

// A production station: one recipe run on the pack behind each of several adapters at once. Each
// adapter is a lane with its own Workbench (link, bus lock, sessions) and its own worker thread;
// lanes share nothing but the recipe (read-only) and the records store, so a failing or slow
// pack never holds up another. The command line and the Production window are two views of
// this one object: every rule of a run (the steps, their retries, the records, the serial
// numbers, when a pack is there) is here, and the front ends read View() and call the commands.
namespace cw::production {

// The references a recipe leaves to each pack (Reference::asked()), as the operator or the
// fixture gives them once the pack is on the station. Only the asked ones are read.
struct AskedReferences {
  std::vector<double> cells_mv;
  std::optional<double> pack_mv;
  std::optional<double> current_ma;
  std::array<std::optional<double>, 4> temperatures_c;
};

// Where one lane stands.
enum class LanePhase {
  kIdle,            // nothing run yet, or a run ended and the front end has not started another
  kWaitingForPack,  // --loop: the last pack is still on, or no pack answers yet
  kRunning,
  kPass,     // the last run passed: every step done, the pack sealed if the recipe seals
  kFail,     // the last run failed at `step`, for `failure`
  kStopped,  // the last run was stopped at a safe point before its end
  kGone,     // the adapter was unplugged; its lane stays for its history
};

// One lane at one moment, for a live line or a tile.
struct LaneView {
  std::string adapter_serial;  // the adapter's serial number (what --adapters names)
  std::string adapter_label;   // what picks it on the command line ("hid:888800000002")
  LanePhase phase = LanePhase::kIdle;
  std::optional<std::int64_t> run_id;       // the current or last run in the records
  std::optional<std::int64_t> pack_serial;  // once the serial step gave one
  std::optional<StepKind> step;             // the running step, or the one the run failed at
  int step_number = 0;                      // 1-based, of step_count
  int step_count = 0;
  int attempt = 0;        // of the running step, from 1
  int step_percent = -1;  // progress of the running step; -1 while unknown
  std::string failure;    // kFail: what went wrong, in words an operator can act on
  std::string activity;   // what the step does right now ("writing page 12 of 31")
  TimePoint run_started_at{};
  std::optional<TimePoint> run_ended_at;
  int passed = 0;  // runs of this lane since the station started
  int failed = 0;
};

struct StationCounters {
  int passed = 0;
  int failed = 0;
  int stopped = 0;
  // Passed over passed + failed, in percent; nothing before the first finished run.
  std::optional<double> yield_percent;
  // Finished runs (passed + failed) per hour since the first run started; nothing before one
  // finished.
  std::optional<double> packs_per_hour;
};

struct StationView {
  std::vector<LaneView> lanes;  // in the order the adapters were first seen
  StationCounters counters;
  bool running = false;         // any lane runs or waits for a pack
  bool stop_requested = false;  // Stop was asked and a lane has not reached its safe point yet
};

struct StationOptions {
  std::string station;        // the station's id in the records (default: the host name)
  std::string operator_name;  // who runs the line
  // The adapters to run on, by serial number; empty: every adapter attached now. A name no
  // attached adapter has is refused by Create.
  std::vector<std::string> adapters;
  // After each run a lane waits for its pack to be taken off and the next one to answer, and
  // runs again, until Stop.
  bool loop = false;
  // Asked on the lane's worker thread when the recipe leaves references to each pack; it may
  // wait for the operator. Nothing (or a stop) ends the run as stopped before calibration. Asked
  // again at each further attempt of the step, so that a wrong reference can be put right.
  std::function<std::optional<AskedReferences>(const LaneView& lane)> ask_references;
  // How long a lane holds a pack at its safe point while the records refuse a write (a lock held
  // by another program, a full disk, the server down), trying again each second, before the run
  // fails for its records.
  std::chrono::seconds records_hold{120};
  // Workbenches the front end already holds (the desktop program's main window): a lane on one
  // of their adapters uses it instead of opening a second link. The front end keeps its own use
  // of it (scan, pages) off the bus while the station runs.
  std::vector<app::Workbench*> lent;
};

class Station {
 public:
  // A lane for each adapter chosen, each with its Workbench started and its worker waiting.
  // Nothing is run yet. Refused (with why) for an adapter named that is not attached, and for no
  // adapter at all.
  static std::expected<std::unique_ptr<Station>, std::string> Create(
      std::shared_ptr<app::AdapterHost> host, std::shared_ptr<const PreparedRecipe> recipe,
      std::shared_ptr<RecordsStore> records, StationOptions options);
  // Stops every lane at its safe point and waits for it (front ends call RequestStop first and
  // wait for View().running to go false, so that this never waits on the bus).
  ~Station();
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // A run on every lane that is not running (in loop mode each lane then carries on by itself).
  void StartAll();
  // A run on one lane, if it is not running (the tile's Restart). False for an unknown or gone
  // lane.
  bool StartLane(const std::string& adapter_serial);
  // Every lane stops at its next safe point (between two steps, records, pages or lines; never
  // inside a flash write); a run stopped before its end is recorded as stopped. Returns at once.
  void RequestStop();
  // Blocks until no lane runs or waits: for front ends without an event loop.
  void WaitUntilIdle();
  // Looks for adapters plugged in or pulled since the last look, on a worker (returns at once):
  // a new one gets a lane (idle), a missing one turns kGone.
  void RefreshAdapters();

  StationView View() const;
  // Something in View() changed; called on lane threads, must not block.
  common::Observers<>& changes();
  const PreparedRecipe& recipe() const;
  RecordsStore& records();

 private:
  class Impl;
  explicit Station(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Why no station opened.
enum class StationProblem {
  kNoDataFolder,  // no records named, and no data folder for the default ones
  kRecords,       // the records cannot be opened
  kStation,       // the records opened, the station did not (Station::Create said why)
};

struct StationRefusal {
  StationProblem problem = StationProblem::kStation;
  std::string message;
  std::shared_ptr<RecordsStore> records;  // kStation: the records, perhaps made by this opening
};

struct OpenedStation {
  std::shared_ptr<Station> station;
  std::shared_ptr<RecordsStore> records;  // Created(): made by this opening
};

using StationOpening = std::expected<OpenedStation, StationRefusal>;

// How every front end opens a station: the records at `records` (when empty, the user's default
// file, the simulated packs' own on a simulated host), made when missing, and a station on them
// that runs `recipe`.
StationOpening OpenStation(std::shared_ptr<app::AdapterHost> host,
                           std::shared_ptr<const PreparedRecipe> recipe, std::string_view records,
                           StationOptions options);

}  // namespace cw::production
