#include "production/recipe_values.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "app/calibration.h"
#include "common/printf_format.h"
#include "dataflash/parameter_table.h"
#include "monitor/register_table.h"
#include "production/messages.h"

namespace cw::production {
namespace {

template <typename... Args>
void Add(RecipeProblems& problems, int line, std::string_view text, const Args&... args) {
  problems.push_back({line, fmt::format(fmt::runtime(text), args...)});
}

void CheckStepOrder(const Recipe& recipe, RecipeProblems& problems) {
  const std::vector<StepKind> steps = recipe.Steps();
  for (std::size_t i = 1; i < steps.size(); ++i) {
    const StepCommon& earlier = recipe.Common(steps[i - 1]);
    const StepCommon& later = recipe.Common(steps[i]);
    if (earlier.line > later.line) {
      Add(problems, later.line,
          "[steps.{}] must come after [steps.{}]: the steps are written in the order they run",
          StepName(steps[i]), StepName(steps[i - 1]));
    }
  }
}

bool HoldsWholeNumber(const dataflash::ParamDef& row) {
  const bool integer_type = row.type == dataflash::kTypeByte || row.type == dataflash::kTypeWord ||
                            row.type == dataflash::kTypeByteUnchecked ||
                            row.type == dataflash::kTypeDword;
  const bool plain =
      row.conversion == dataflash::kConvPlain0 || row.conversion == dataflash::kConvPlain;
  return integer_type && plain && row.address() != dataflash::kManufactureDateAddress;
}

// What a row of each type holds; the table's limits narrow it further.
std::pair<std::int64_t, std::int64_t> SerialBounds(const dataflash::ParamDef& row) {
  if (row.type == dataflash::kTypeDword) return {0, 0xFFFFFFFF};
  if (row.type == dataflash::kTypeByteUnchecked) return {0, 0xFF};
  return {std::max<std::int64_t>(row.minimum, 0), row.maximum};
}

void CheckSerial(const SerialStep& step, RecipeProblems& problems) {
  const dataflash::ParamDef* row = SerialParameter(step);
  if (row == nullptr) return Add(problems, step.line, messages::kUnknownParameter, step.parameter);
  if (!HoldsWholeNumber(*row))
    return Add(problems, step.line,
               "the serial number goes into \"{}\", which holds no whole number", step.parameter);
  if (step.step < 1)
    Add(problems, step.line, "the serial step must be 1 or more, not {}", step.step);
  if (step.start > step.end) {
    return Add(problems, step.line, "the serial range is empty: start {} is above end {}",
               step.start, step.end);
  }
  const auto [low, high] = SerialBounds(*row);
  if (step.start < low || step.end > high) {
    Add(problems, step.line, "the serial range {}..{} does not fit \"{}\", which holds {} to {}",
        step.start, step.end, step.parameter, low, high);
  }
}

void CheckReadings(const CheckStep& step, RecipeProblems& problems) {
  if (step.limits.empty() && step.clear.empty())
    Add(problems, step.line, "[steps.check] checks nothing: give \"limits\", \"clear\" or both");
  const monitor::RegisterTable registers;
  const auto known = [&](std::string_view name, int line) {
    const monitor::SbsRegisterDef* row = registers.FindRow(name);
    if (row == nullptr) {
      Add(problems, line, "\"{}\" is not an SBS register (names as on the SBS page)", name);
    } else if (row->is_text()) {
      Add(problems, line, "\"{}\" is a text, it has no limits", name);
    }
  };
  std::vector<std::string_view> seen;
  for (const ReadingLimit& limit : step.limits) {
    known(limit.register_name, limit.line);
    if (std::ranges::find(seen, limit.register_name) != seen.end()) {
      Add(problems, limit.line, "\"{}\" has limits twice", limit.register_name);
    }
    seen.push_back(limit.register_name);
    if (!limit.minimum && !limit.maximum) {
      Add(problems, limit.line, "the limit of \"{}\" needs \"min\", \"max\" or both",
          limit.register_name);
    } else if (limit.minimum && limit.maximum && *limit.minimum > *limit.maximum) {
      Add(problems, limit.line, "the limits of \"{}\" are empty: min {} is above max {}",
          limit.register_name, *limit.minimum, *limit.maximum);
    }
  }
  for (const std::string& name : step.clear) known(name, step.line);
}

}  // namespace

void CheckCalibrate(const CalibrateStep& step, RecipeProblems& problems) {
  const bool any_sensor =
      std::ranges::any_of(step.temperatures_c, [](const auto& t) { return t.has_value(); });
  if (!step.board_offset && step.cells_mv.empty() && !step.current_ma && !any_sensor) {
    Add(problems, step.line,
        "[steps.calibrate] calibrates nothing: give board_offset, cells_mv, current_ma or "
        "temperatures_c");
  }
  double sum = 0;
  bool all_given = true;
  for (std::size_t i = 0; i < step.cells_mv.size(); ++i) {
    const auto& value = step.cells_mv[i].value;
    all_given = all_given && value.has_value();
    if (!value) continue;
    sum += *value;
    if (*value < 1 || *value > app::kMaxCellMv || *value != std::floor(*value)) {
      Add(problems, step.line, "cell {} reference {} mV is no cell voltage (1 to {} mV)", i + 1,
          *value, app::kMaxCellMv);
    }
  }
  if (!step.cells_mv.empty() && all_given && sum <= 5000) {
    Add(problems, step.line,
        "the cell references add up to {} mV; a calibration needs more than 5000 mV", sum);
  }
  if (step.pack_mv && step.pack_mv->value &&
      (*step.pack_mv->value < 1 || *step.pack_mv->value > kMaxPackMv)) {
    Add(problems, step.line, "pack reference {} mV is no pack voltage (1 to {} mV)",
        *step.pack_mv->value, kMaxPackMv);
  }
  if (step.current_ma && step.current_ma->value &&
      (*step.current_ma->value >= 0 || *step.current_ma->value < app::kMinCurrentMa ||
       *step.current_ma->value != std::floor(*step.current_ma->value))) {
    Add(problems, step.line,
        "current reference {} mA must be a discharge: below 0 and at least {} mA",
        *step.current_ma->value, app::kMinCurrentMa);
  }
  for (std::size_t i = 0; i < step.temperatures_c.size(); ++i) {
    const auto& sensor = step.temperatures_c[i];
    if (!sensor || !sensor->value) continue;
    if (*sensor->value < app::kMinReferenceCelsius || *sensor->value > app::kMaxReferenceCelsius) {
      Add(problems, step.line, "TS{} reference {} °C is outside {} to {} °C", i + 1, *sensor->value,
          app::kMinReferenceCelsius, app::kMaxReferenceCelsius);
    }
  }
}

void CheckRecipeValues(const Recipe& recipe, RecipeProblems& problems) {
  const std::vector<StepKind> steps = recipe.Steps();
  if (steps.empty()) Add(problems, 0, messages::kNoSteps);
  CheckStepOrder(recipe, problems);
  const GaugeExpectation& gauge = recipe.gauge;
  if (gauge.firmware_min && gauge.firmware_max && *gauge.firmware_min > *gauge.firmware_max) {
    Add(problems, 0, "the firmware version range is empty: min 0x{:04X} is above max 0x{:04X}",
        *gauge.firmware_min, *gauge.firmware_max);
  }
  if (recipe.serial) CheckSerial(*recipe.serial, problems);
  if (recipe.date && recipe.date->date && !IsGaugeDate(*recipe.date->date)) {
    const CalendarDate& date = *recipe.date->date;
    Add(problems, recipe.date->line, "{}-{}-{} is no date a gauge can hold (1980 to 2107)",
        date.year, date.month, date.day);
  }
  if (recipe.verify && !recipe.verify->golden && (!recipe.constants || recipe.constants->script)) {
    Add(problems, recipe.verify->line,
        "[steps.verify] needs \"golden\" (an .afi and its \"sha256\") when [steps.constants] plays "
        "a "
        "script");
  }
  if (recipe.calibrate) CheckCalibrate(*recipe.calibrate, problems);
  if (recipe.check) CheckReadings(*recipe.check, problems);
}

const dataflash::ParamDef* SerialParameter(const SerialStep& step) {
  const auto row = dataflash::FindParam(step.parameter);
  return row ? &dataflash::kParams[*row] : nullptr;
}

std::string SerialText(const dataflash::ParamDef& row, std::int64_t number) {
  return common::FormatPrintf(row.format, static_cast<unsigned int>(number));
}

std::string ManufactureDateText(const CalendarDate& date) {
  return fmt::format("{}-{}-{}", date.year, date.month, date.day);
}

bool IsGaugeDate(const CalendarDate& date) {
  if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > 31) return false;
  const std::chrono::year_month_day day{std::chrono::year(date.year),
                                        std::chrono::month(static_cast<unsigned>(date.month)),
                                        std::chrono::day(static_cast<unsigned>(date.day))};
  return day.ok() && date.year >= kFirstDateYear && date.year <= kLastDateYear;
}

}  // namespace cw::production
