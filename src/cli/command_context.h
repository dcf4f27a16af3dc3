#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/workbench.h"
#include "cli/command_output.h"
#include "cli/console.h"
#include "common/signal_stop.h"

namespace cw::cli {

// Exit codes of every command.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// A CLI11 check for a typed argument: the whole text must pass `accepts`, else the usage error
// names the argument, repeats the text and says what `rule` it breaks (exit 2).
CLI::Validator WholeArgument(std::string_view rule, std::function<bool(std::string_view)> accepts);

// The largest count an option holds: a range that ends here is open ("1 or more").
inline constexpr std::int64_t kNoUpperLimit = std::numeric_limits<int>::max();
// A whole decimal number from `min` to `max` (an int option), checked whole: "010" is ten,
// "0x10", "1e3" and "1.5" are no whole numbers. The usage error gives the range as a person
// writes it ("from 10 to 60000", "of 1 or more"), never the limits of a double.
// Given to transform(), not check(): the option then takes the number as read here, where its
// own conversion would read "010" as octal.
CLI::Validator WholeNumberIn(std::int64_t min, std::int64_t max = kNoUpperLimit);

// The global options, filled by the parser and read by every command.
struct GlobalOptions {
  std::string device = "auto";
  bool sim = false;
  std::string sim_state;
  std::string pid;
  std::optional<std::string> serial_prefix;
  bool trace = false;
};

// Everything a device command needs: the workbench opened from the global options.
class CommandContext {
 public:
  explicit CommandContext(const GlobalOptions& options) : options_(options) {
    messages_.SetProgressBar(&progress_.bar());
  }

  // Builds and starts the workbench; on failure prints why and returns null, and `exit_code`
  // tells the caller how to end (usage error for a bad option, failure otherwise).
  app::Workbench* OpenWorkbench(int& exit_code);
  // The same without opening the adapter, for commands that work on files only (they still
  // take the product constants and the tool objects from the workbench).
  app::Workbench* OpenOffline(int& exit_code);
  // A started workbench on the simulated pack whatever --device names: the one --device or
  // --sim-state describes when it is simulated, else a fresh one (a dry run).
  app::Workbench* OpenSimulated(int& exit_code);
  // The process's adapters without opening any, for commands that look at all of them.
  app::AdapterHost* OpenHost(int& exit_code);
  // The host OpenHost made, for objects that keep it (a production station).
  std::shared_ptr<app::AdapterHost> SharedHost() const { return host_; }
  // What a survey of the adapters looks for: the product's ids with --pid and --serial-prefix.
  link::SurveySettings SurveySettings() const;
  // Ends the command: the simulated pack's state file, when there is one, is saved now so that a
  // failed save fails the command (exit 1) instead of losing the change without a word. Returns
  // the exit code to give.
  int Finish(int exit_code);
  StderrMessageSink& messages() { return messages_; }
  ConsoleProgressSink& progress() { return progress_; }
  // Ctrl-C and SIGTERM. A command that stops at safe points calls HonourStop before its work and
  // hands the token to it; a signal then stops that work instead of ending the process, and
  // Finish ends with 130 or 143 once the state is saved. For the live commands that run until
  // Ctrl-C (scan, watch, log) the signal is their usual end: their exit code stays their own.
  enum class StopIs { kInterruption, kUsualEnd };
  // `notice`: what the first Ctrl-C prints.
  std::stop_token HonourStop(
      StopIs stop = StopIs::kInterruption,
      std::string_view notice =
          "Stopping: the current step is being finished first (a flash write is never cut).");
  CommandOutput& output() { return output_; }

 private:
  app::Workbench* Create(int& exit_code, bool simulated_only = false);
  // `exit_code`, or the status of the signal that stopped an interrupted command.
  int ExitStatus(int exit_code) const;
  // Create, then Start: null when an adapter was named that is not there.
  app::Workbench* Started(int& exit_code, bool simulated_only);
  // The workbench options the global options give (with `simulated_only`, a simulated pack
  // whatever --device names); null after printing why they are wrong.
  const app::WorkbenchOptions* Options(int& exit_code, bool simulated_only);
  app::AdapterHost* OpenHost(int& exit_code, bool simulated_only);

  const GlobalOptions& options_;
  // First: it blocks the signals before any thread starts, and outlives the workbench's threads.
  common::SignalStop stop_;
  StopIs stop_is_ = StopIs::kInterruption;
  StderrMessageSink messages_;
  StderrTraceSink trace_;
  ConsoleProgressSink progress_;
  CommandOutput output_;
  std::optional<app::WorkbenchOptions> workbench_options_;
  std::shared_ptr<app::AdapterHost> host_;
  std::unique_ptr<app::Workbench> workbench_;
};

}  // namespace cw::cli
