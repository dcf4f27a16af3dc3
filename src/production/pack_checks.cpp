// The steps that measure the pack: calibrate (and the readings it is judged by) and check.
#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cmath>

#include "app/calibration.h"
#include "app/workbench.h"
#include "monitor/monitor_session.h"
#include "monitor/value_conversion.h"
#include "production/messages.h"
#include "production/step_runners.h"

namespace cw::production {

RegisterReadings ReadRegisters(app::Workbench& bench, std::span<const std::string> names) {
  monitor::ScanEngine& engine = bench.monitor().engine();
  const auto named = [&](std::string_view name) {
    return std::ranges::find(names, name) != names.end();
  };
  // The rows' Scan ticks are the SBS page's own (a lent Workbench shows them): they come back
  // as they were once the rows are read.
  std::vector<bool> ticks;
  bool static_rows = false;
  engine.WithTable([&](monitor::RegisterTable& table) {
    for (const monitor::TableId id : monitor::kScanTables) {
      for (monitor::SbsRegisterDef& row : table.rows(id)) {
        ticks.push_back(row.scan);
        row.scan = named(row.name);
      }
    }
    for (const monitor::SbsRegisterDef& row : table.rows(monitor::TableId::kD)) {
      static_rows = static_rows || named(row.name);
    }
  });
  engine.ScanPass();
  if (static_rows) engine.RefreshStaticData();
  const monitor::RegisterTable table = engine.Snapshot();
  engine.WithTable([&](monitor::RegisterTable& table_now) {
    std::size_t i = 0;
    for (const monitor::TableId id : monitor::kScanTables) {
      for (monitor::SbsRegisterDef& row : table_now.rows(id)) row.scan = ticks[i++];
    }
  });

  RegisterReadings readings;
  for (const std::string& name : names) {
    const monitor::SbsRegisterDef* row = table.FindRow(name);
    if (row == nullptr || !table.Current(*row)) {
      readings[name] = {};
      continue;
    }
    readings[name] = {monitor::NumericValue(*row), row->raw_value};
  }
  return readings;
}

namespace {

constexpr std::string_view kCellVoltagePrefix = "Cell Voltage ";

struct Target {
  std::string name;  // the register that must read the reference
  double reference = 0;
  double tolerance = 0;
};

bool AnyAsked(const CalibrateStep& step) {
  const auto asked = [](const std::optional<Reference>& reference) {
    return reference && reference->asked();
  };
  return std::ranges::any_of(step.cells_mv, &Reference::asked) || asked(step.pack_mv) ||
         asked(step.current_ma) || std::ranges::any_of(step.temperatures_c, asked);
}

// The calibration's input and the readings it is judged by, from the recipe's references and
// the asked ones; the name of a reference asked for and not given otherwise.
struct CalibrationTargets {
  app::CalibrationInput input;
  std::vector<Target> targets;
  std::optional<std::string> missing;
};

CalibrationTargets TargetsOf(const CalibrateStep& step, const AskedReferences& asked) {
  CalibrationTargets out;
  const CalibrationTolerance& tolerance = step.tolerance;
  const auto resolve = [&](const Reference& reference, std::optional<double> given,
                           std::string name, double within) -> std::optional<double> {
    const std::optional<double> value = reference.value ? reference.value : given;
    if (!value) {
      if (!out.missing) out.missing = name;
      return std::nullopt;
    }
    out.targets.push_back({std::move(name), *value, within});
    return value;
  };
  for (std::size_t i = 0; i < step.cells_mv.size() && i < out.input.cell_mv.size(); ++i) {
    const auto given = i < asked.cells_mv.size() ? std::optional(asked.cells_mv[i]) : std::nullopt;
    if (const auto mv =
            resolve(step.cells_mv[i], given, fmt::format("{}{}", kCellVoltagePrefix, i + 1),
                    tolerance.cell_mv)) {
      out.input.calibrate_voltage = true;
      out.input.cell_mv[i] = static_cast<std::uint32_t>(std::lround(*mv));
    }
  }
  if (step.pack_mv) resolve(*step.pack_mv, asked.pack_mv, "Pack Voltage", tolerance.pack_mv);
  if (step.current_ma) {
    if (const auto ma =
            resolve(*step.current_ma, asked.current_ma, "Current", tolerance.current_ma)) {
      out.input.calibrate_current = true;
      out.input.current_ma = static_cast<std::int32_t>(std::lround(*ma));
    }
  }
  for (std::size_t i = 0; i < step.temperatures_c.size(); ++i) {
    if (!step.temperatures_c[i]) continue;
    if (const auto celsius =
            resolve(*step.temperatures_c[i], asked.temperatures_c[i],
                    fmt::format("TS{} Temperature", i + 1), tolerance.temperature_c)) {
      out.input.calibrate_ts[i] = true;
      out.input.ts_celsius[i] = static_cast<float>(*celsius);
    }
  }
  return out;
}

// The cells whose correction (reference less reading, before calibration) lies further than
// `skew` from the median correction of the cells: a wrong reference or a bad contact, which
// calibration would turn into a pack that passes its own check against the same wrong value.
std::vector<std::string> SkewedCells(const std::vector<Target>& targets,
                                     const RegisterReadings& before, double skew) {
  struct Correction {
    const Target* target;
    double reading;
  };
  std::vector<Correction> cells;
  for (const Target& target : targets) {
    const std::optional<double> reading = before.at(target.name).value;
    if (target.name.starts_with(kCellVoltagePrefix) && reading)
      cells.push_back({&target, *reading});
  }
  if (cells.size() < 2) return {};
  std::vector<double> corrections;
  for (const Correction& cell : cells) corrections.push_back(cell.target->reference - cell.reading);
  std::ranges::sort(corrections);
  const std::size_t middle = corrections.size() / 2;
  const double median = corrections.size() % 2 == 1
                            ? corrections[middle]
                            : (corrections[middle - 1] + corrections[middle]) / 2;
  std::vector<std::string> skewed;
  for (const Correction& cell : cells) {
    const double correction = cell.target->reference - cell.reading;
    if (std::abs(correction - median) > skew) {
      skewed.push_back(fmt::format(
          "{} reads {:g} mV before calibration against a reference of {:g} mV: a correction of "
          "{:+g} mV "
          "where the cells need {:+g} mV, more than the {:g} mV apart the recipe allows; check "
          "that "
          "reference and the cell's contact (nothing was written)",
          cell.target->name, cell.reading, cell.target->reference, correction, median, skew));
    }
  }
  return skewed;
}

std::vector<std::string> NamesOf(const std::vector<Target>& targets) {
  std::vector<std::string> names;
  for (const Target& target : targets) names.push_back(target.name);
  return names;
}

std::string Joined(const std::vector<std::string>& problems) {
  return fmt::format("{}", fmt::join(problems, "; "));
}

}  // namespace

StepOutcome RunCalibrate(const StepContext& context) {
  const PackRunSetup& setup = context.setup;
  const CalibrateStep& step = *setup.prepared.recipe.calibrate;
  AskedReferences asked;
  if (AnyAsked(step)) {
    setup.report.Activity(std::string("waiting for the references"));
    std::optional<AskedReferences> given;
    if (setup.ask_references) given = setup.ask_references();
    if (!given || context.stop.stop_requested()) {
      return {RunResult::kStopped, std::string("no references were given for the calibration"),
              nlohmann::json::object(), common::ErrorKind::kStopped};
    }
    asked = std::move(*given);
  }
  const CalibrationTargets planned = TargetsOf(step, asked);
  if (planned.missing) {
    return Failed(
        common::ErrorKind::kRefused,
        fmt::format("the reference for {} was asked for and not given", *planned.missing));
  }

  if (!step.cells_mv.empty()) {
    const RegisterReadings before = ReadRegisters(setup.bench, NamesOf(planned.targets));
    if (const auto skewed = SkewedCells(planned.targets, before, step.max_cell_skew_mv);
        !skewed.empty()) {
      return Failed(common::ErrorKind::kOutOfLimits, Joined(skewed));
    }
  }

  app::Calibration& calibration = setup.bench.calibration();
  if (step.board_offset) {
    const common::Outcome offset = calibration.CalibrateBoardOffset();
    if (!offset) {
      return Failed(LinkCause(context),
                    fmt::format("the board offset calibration failed: {}",
                                FailureReason(offset, setup.messages, messages::kNoReason)));
    }
  }
  const app::CalibrationInput& input = planned.input;
  if (input.calibrate_voltage || input.calibrate_current ||
      std::ranges::any_of(input.calibrate_ts, std::identity{})) {
    const common::Outcome calibrated = calibration.Calibrate(input);
    if (!calibrated) {
      return Failed(LinkCause(context),
                    fmt::format("the calibration failed: {}",
                                FailureReason(calibrated, setup.messages, messages::kNoReason)));
    }
  }

  const RegisterReadings readings = ReadRegisters(setup.bench, NamesOf(planned.targets));
  nlohmann::json listed = nlohmann::json::array();
  std::vector<std::string> problems;
  for (const Target& target : planned.targets) {
    const std::optional<double> reading = readings.at(target.name).value;
    listed.push_back({{"register", target.name},
                      {"reference", target.reference},
                      {"reading", reading ? nlohmann::json(*reading) : nlohmann::json()},
                      {"tolerance", target.tolerance}});
    if (!reading) {
      problems.push_back(fmt::format(messages::kReadingUnread, target.name));
    } else if (std::abs(*reading - target.reference) > target.tolerance) {
      problems.push_back(fmt::format(
          "{} reads {:g} after the calibration, {:g} from the reference {:g} (tolerance {:g})",
          target.name, *reading, *reading - target.reference, target.reference, target.tolerance));
    }
  }
  nlohmann::json measurements = {{"board_offset", step.board_offset}, {"readings", listed}};
  if (problems.empty()) return {RunResult::kPass, {}, measurements};
  return Failed(common::ErrorKind::kOutOfLimits, Joined(problems), measurements);
}

StepOutcome RunCheck(const StepContext& context) {
  const CheckStep& step = *context.setup.prepared.recipe.check;
  std::vector<std::string> names;
  for (const ReadingLimit& limit : step.limits) names.push_back(limit.register_name);
  names.insert(names.end(), step.clear.begin(), step.clear.end());
  const RegisterReadings readings = ReadRegisters(context.setup.bench, names);

  nlohmann::json values = nlohmann::json::object();
  nlohmann::json limits = nlohmann::json::object();
  std::vector<std::string> problems;
  for (const ReadingLimit& limit : step.limits) {
    const std::optional<double> value = readings.at(limit.register_name).value;
    values[limit.register_name] = value ? nlohmann::json(*value) : nlohmann::json();
    limits[limit.register_name] = {
        {"min", limit.minimum ? nlohmann::json(*limit.minimum) : nlohmann::json()},
        {"max", limit.maximum ? nlohmann::json(*limit.maximum) : nlohmann::json()}};
    if (!value) {
      problems.push_back(fmt::format(messages::kReadingUnread, limit.register_name));
    } else if (limit.minimum && *value < *limit.minimum) {
      problems.push_back(fmt::format("{} reads {:g}, below its minimum {:g}", limit.register_name,
                                     *value, *limit.minimum));
    } else if (limit.maximum && *value > *limit.maximum) {
      problems.push_back(fmt::format("{} reads {:g}, above its maximum {:g}", limit.register_name,
                                     *value, *limit.maximum));
    }
  }
  for (const std::string& name : step.clear) {
    const std::optional<std::int64_t> raw = readings.at(name).raw;
    values[name] = raw ? nlohmann::json(*raw) : nlohmann::json();
    if (!raw) {
      problems.push_back(fmt::format(messages::kReadingUnread, name));
    } else if (*raw != 0) {
      problems.push_back(
          fmt::format("{} reads 0x{:X}: a safety or permanent-failure flag is set", name, *raw));
    }
  }
  nlohmann::json measurements = {{"readings", values}, {"limits", limits}};
  if (problems.empty()) return {RunResult::kPass, {}, measurements};
  return Failed(common::ErrorKind::kOutOfLimits, Joined(problems), measurements);
}

}  // namespace cw::production
