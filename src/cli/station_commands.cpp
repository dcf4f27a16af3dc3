#include "cli/station_commands.h"

#include <fmt/format.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/messages.h"
#include "cli/production_commands.h"
#include "cli/station_display.h"
#include "cli/station_references.h"
#include "production/station.h"

namespace cw::cli {
namespace {

namespace text = messages::station;

// How long the display waits for a change before it looks anyway (the live line's progress).
constexpr auto kRedrawAtLeastEvery = std::chrono::milliseconds(250);
// The live lines are redrawn at most this often: a firmware step changes thousands of times.
constexpr auto kLiveFrame = std::chrono::milliseconds(100);

struct StationRunOptions {
  std::string recipe;
  std::string adapters = "all";
  std::string operator_name;
  std::string station;
  std::string records;
  std::vector<std::string> references;
  int records_wait_s = 120;
  bool loop = false;
};

std::vector<std::string> AdapterSerials(const std::string& adapters) {
  std::vector<std::string> serials;
  if (adapters == "all") return serials;
  std::istringstream list(adapters);
  for (std::string serial; std::getline(list, serial, ',');) {
    if (!serial.empty()) serials.push_back(serial);
  }
  return serials;
}

// Wakes the display when the station changes; the station calls it on lane threads.
class ChangeSignal {
 public:
  void Notify() {
    {
      std::lock_guard lock(mutex_);
      changed_ = true;
    }
    wake_.notify_one();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, kRedrawAtLeastEvery, [this] { return changed_; });
    changed_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool changed_ = false;
};

void PrintSummary(const production::StationView& view, const std::string& records) {
  const auto& counters = view.counters;
  fmt::print("{}\n",
             fmt::format("{} pass, {} fail, {} stopped; yield {}", counters.passed, counters.failed,
                         counters.stopped,
                         counters.yield_percent ? fmt::format("{:.1f} %", *counters.yield_percent)
                                                : std::string(text::kNoYield)));
  // Every pack that did not pass, with what it holds now: a line that stops or loses an
  // adapter needs to know which packs to rework.
  for (const production::LaneView& lane : view.lanes) {
    std::string_view pattern;
    switch (lane.phase) {
      case production::LanePhase::kFail:
        pattern = "  {} (serial {}): failed at {}: {}";
        break;
      case production::LanePhase::kStopped:
        pattern = "  {} (serial {}): stopped at {}: {}";
        break;
      case production::LanePhase::kGone:
        if (!lane.run_id) continue;
        pattern = "  {} (serial {}): unplugged at {}: {}";
        break;
      default:
        continue;
    }
    fmt::print("{}\n", fmt::format(fmt::runtime(pattern), lane.adapter_serial,
                                   lane.pack_serial ? std::to_string(*lane.pack_serial)
                                                    : std::string(text::kNoSerial),
                                   lane.step ? production::StepName(*lane.step) : text::kNoStep,
                                   lane.failure));
  }
  fmt::print("{}\n", fmt::format("records: {}", records));
}

int ExitCodeOf(const production::StationCounters& counters) {
  const bool all_passed = counters.passed > 0 && counters.failed == 0 && counters.stopped == 0;
  return all_passed ? kExitSuccess : kExitFailed;
}

int RunStation(const StationRunOptions& options, CommandContext& context) {
  int exit_code = kExitFailed;
  app::AdapterHost* host = context.OpenHost(exit_code);
  if (host == nullptr) return exit_code;
  const auto prepared = ReadyRecipe(options.recipe, host->constants());
  if (!prepared) return kExitFailed;
  const production::Recipe& recipe = prepared->recipe;
  auto references = ParseReferences(options.references, recipe);
  if (!references) {
    fmt::print(stderr, "{}\n", references.error());
    return kExitUsage;
  }
  if (const auto missing = MissingReferences(*references, recipe);
      !missing.empty() && ::isatty(STDIN_FILENO) != 1) {
    fmt::print(
        stderr, "{}\n",
        fmt::format(
            "the recipe asks for these references for each pack: {}; give them with --reference "
            "NAME=VALUE (on a terminal they are asked for each pack)",
            missing));
    return kExitUsage;
  }

  const std::stop_token stop =
      context.HonourStop(CommandContext::StopIs::kInterruption, text::kStopping);
  const bool live = StdoutIsTerminal();
  StationDisplay display(recipe.Steps(), live);
  production::StationOptions station_options;
  station_options.station = options.station;
  station_options.operator_name = options.operator_name;
  if (station_options.operator_name.empty()) {
    if (const char* user = std::getenv("USER")) station_options.operator_name = user;
  }
  station_options.adapters = AdapterSerials(options.adapters);
  station_options.loop = options.loop;
  station_options.records_hold = std::chrono::seconds(options.records_wait_s);
  station_options.ask_references =
      ReferenceSource(recipe, std::move(*references), stop,
                      [&display](const std::function<void()>& ask) { display.Aside(ask); });
  auto opened = production::OpenStation(context.SharedHost(), prepared, options.records,
                                        std::move(station_options));
  const auto& records = opened ? opened->records : opened.error().records;
  if (records && records->Created()) {
    fmt::print(stderr, "{}\n", fmt::format(text::kRecordsMade, records->Location()));
  }
  if (!opened) {
    fmt::print(stderr, "{}\n", opened.error().message);
    return kExitFailed;
  }
  production::Station& running = *opened->station;
  ChangeSignal changes;
  const auto subscription = running.changes().Subscribe([&changes] { changes.Notify(); });
  // A stop asked before this line (a signal while the station opened its adapters) calls it at
  // once.
  const std::stop_callback on_stop(stop, [&running] { running.RequestStop(); });

  running.StartAll();
  for (;;) {
    changes.Wait();
    const production::StationView view = running.View();
    display.Show(view);
    if (!view.running) break;
    if (live) std::this_thread::sleep_for(kLiveFrame);
  }
  running.WaitUntilIdle();
  const production::StationView view = running.View();
  display.Show(view);
  PrintSummary(view, running.records().Location());
  return ExitCodeOf(view.counters);
}

}  // namespace

void AddStationRunCommand(CLI::App& station, CommandContext& context, int& exit_code) {
  auto options = std::make_shared<StationRunOptions>();
  auto* run = station.add_subcommand(
      "run",
      std::string(
          "Run a recipe on the pack behind every adapter at once, and keep a record of each pack"));
  run->add_option("RECIPE", options->recipe, "the recipe (.toml)")->required();
  run->add_option("--adapters", options->adapters,
                  "all (the default), or the adapters' serial numbers separated by commas");
  run->add_option("--operator", options->operator_name,
                  "who runs the line, for the records (default: $USER)");
  run->add_option("--station", options->station,
                  "the station's id in the records (default: the host name)");
  run->add_option("--records", options->records,
                  "the records: a file, or postgresql://... (default: the user's data folder)");
  run->add_option("--reference", options->references,
                  "a reference the recipe asks for each pack, as NAME=VALUE (cell1..cell4 and "
                  "pack in mV, current in mA, ts1..ts4 in °C); repeat for each. On a terminal, "
                  "the ones not given are asked for each pack")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  run->add_option("--records-wait", options->records_wait_s,
                  "how long a pack is held, in seconds, while the records refuse a write before "
                  "its run fails for them (default 120)")
      ->transform(WholeNumberIn(0, 3600));
  run->add_flag("--loop", options->loop,
                "after each pack, wait for the next one on that adapter and run again, until "
                "Ctrl-C");
  run->callback([=, &context, &exit_code] { exit_code = RunStation(*options, context); });
}

}  // namespace cw::cli
