#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <stop_token>
#include <string>

#include "common/error.h"
#include "production/pack_run.h"

// One attempt at one step of a recipe on one pack. Private to the station.
namespace cw::production {

struct StepOutcome {
  RunResult result = RunResult::kPass;
  std::string failure;
  nlohmann::json measurements = nlohmann::json::object();
  // What kind of failure ended it; the records keep it, and the yield counts by it.
  common::ErrorKind cause = common::ErrorKind::kFailed;
};

struct StepContext {
  const PackRunSetup& setup;
  std::int64_t run = 0;
  std::stop_token stop;
};

StepOutcome RunStep(StepKind kind, const StepContext& context);

// One step each, in step_runners.cpp and pack_checks.cpp.
StepOutcome RunFirmware(const StepContext& context);
StepOutcome RunConstants(const StepContext& context);
StepOutcome RunCalibrate(const StepContext& context);
StepOutcome RunSerial(const StepContext& context);
StepOutcome RunDate(const StepContext& context);
StepOutcome RunVerify(const StepContext& context);
StepOutcome RunCheck(const StepContext& context);
StepOutcome RunSeal(const StepContext& context);

StepOutcome Failed(common::ErrorKind cause, std::string failure,
                   nlohmann::json measurements = nlohmann::json::object());
// A step that did not get to its end while a stop was asked for ended at its safe point.
StepOutcome StoppedOr(const StepContext& context, common::ErrorKind cause, std::string failure);
// The kind of a failure the gauge's operations report as an outcome: what the link says of its
// last transaction (the gauge not answering, the adapter gone), else a failure of the step.
common::ErrorKind LinkCause(const StepContext& context);

// An SBS register read from the gauge now: its value in the units the SBS page shows it in, and
// its raw value (what a status register's flags are judged by). Nothing where the read failed.
struct RegisterReading {
  std::optional<double> value;
  std::optional<std::int64_t> raw;
};
using RegisterReadings = std::map<std::string, RegisterReading, std::less<>>;
RegisterReadings ReadRegisters(app::Workbench& bench, std::span<const std::string> names);

}  // namespace cw::production
