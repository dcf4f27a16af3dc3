#include "production/step_runners.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <ctime>

#include "app/workbench.h"
#include "common/bytes.h"
#include "dataflash/data_flash_session.h"
#include "dataflash/file_compare.h"
#include "firmware/fs_player.h"
#include "firmware/gauge_update.h"
#include "link/command_codes.h"
#include "link/link_status.h"
#include "production/messages.h"
#include "production/recipe_values.h"
#include "production/verify_masks.h"

namespace cw::production {

StepOutcome Failed(common::ErrorKind cause, std::string failure, nlohmann::json measurements) {
  return {RunResult::kFail, std::move(failure), std::move(measurements), cause};
}

StepOutcome StoppedOr(const StepContext& context, common::ErrorKind cause, std::string failure) {
  if (context.stop.stop_requested()) {
    return {RunResult::kStopped, {}, nlohmann::json::object(), common::ErrorKind::kStopped};
  }
  return Failed(cause, std::move(failure));
}

common::ErrorKind LinkCause(const StepContext& context) {
  return link::LinkErrorKind(context.setup.bench.link().link_status());
}

StepOutcome RunStep(StepKind kind, const StepContext& context) {
  switch (kind) {
    case StepKind::kFirmware:
      return RunFirmware(context);
    case StepKind::kConstants:
      return RunConstants(context);
    case StepKind::kCalibrate:
      return RunCalibrate(context);
    case StepKind::kSerial:
      return RunSerial(context);
    case StepKind::kDate:
      return RunDate(context);
    case StepKind::kVerify:
      return RunVerify(context);
    case StepKind::kCheck:
      return RunCheck(context);
    case StepKind::kSeal:
      return RunSeal(context);
  }
  return Failed(common::ErrorKind::kFailed, std::string(messages::kNoReason));
}

namespace {

std::string Reason(const StepContext& context, const common::Outcome& outcome) {
  return FailureReason(outcome, context.setup.messages, messages::kNoReason);
}

common::Error ScriptEnd(const StepContext& context, const firmware::FsPlayReport& report) {
  switch (report.end) {
    case firmware::FsPlayEnd::kWriteFailed:
      return {LinkCause(context), std::string("the gauge did not take a write")};
    case firmware::FsPlayEnd::kReadFailed:
      return {LinkCause(context), std::string("the gauge did not answer a compare")};
    case firmware::FsPlayEnd::kMismatch:
      return {common::ErrorKind::kMismatch,
              fmt::format("the gauge answered {} where {} was expected", common::ToHex(report.read),
                          common::ToHex(report.expected))};
    default:
      return {common::ErrorKind::kRefused, std::string(messages::kScriptRefused)};
  }
}

// An FS script played on the lane's link: the firmware step's update script or the constants
// step's.
StepOutcome PlayScript(const StepContext& context, const firmware::FsScript& script,
                       StepKind kind) {
  const PackRunSetup& setup = context.setup;
  firmware::FsPlayer player(setup.bench.link(), setup.messages, setup.progress);
  const auto played = player.Play(script, context.stop);
  const firmware::FsPlayReport& report = played.detail;
  nlohmann::json measurements = {
      {"lines", report.lines}, {"steps", report.steps}, {"steps_done", report.steps_done}};
  if (report.end == firmware::FsPlayEnd::kDone) return {RunResult::kPass, {}, measurements};
  if (report.end == firmware::FsPlayEnd::kStopped) {
    return {RunResult::kStopped, {}, measurements};
  }
  measurements["failed_line"] = report.stopped_at;
  const common::Error end = ScriptEnd(context, report);
  return Failed(end.kind,
                fmt::format("the {} script failed at its line {}: {}", StepName(kind),
                            report.stopped_at, end.message),
                measurements);
}

// The recipe's image through the gauge's boot loader, on the lane's thread. A stop ends the
// update at its next record.
StepOutcome UpdateFirmware(const StepContext& context) {
  const PackRunSetup& setup = context.setup;
  app::Workbench& bench = setup.bench;
  firmware::UpdateBar bar;
  std::string status;
  const auto updated = firmware::UpdateGauge(
      bench.link(), setup.prepared.firmware, bench.constants(), context.stop,
      [&](const firmware::UpdateStep& step) {
        status = step.status;
        bar.Take(step);
        setup.progress.Report(bar.percent, bar.counter, bar.percent == 0 || bar.percent == 100);
      });
  nlohmann::json measurements = {{"image", setup.prepared.recipe.firmware->file.path.string()},
                                 {"status", status}};
  if (updated) return {RunResult::kPass, {}, measurements};
  const common::Error& error = updated.error();
  if (error.kind == common::ErrorKind::kStopped) {
    // Where the update stopped and what the pack holds: in its boot loader, the next run of the
    // station reflashes it.
    return {RunResult::kStopped,
            fmt::format("stopped by the operator during firmware: {}", error.message), measurements,
            error.kind};
  }
  StepOutcome outcome =
      StoppedOr(context, error.kind, fmt::format("the firmware update failed: {}", error.message));
  outcome.measurements = std::move(measurements);
  return outcome;
}

// One data flash value written with the Read All before it, and read back.
StepOutcome SetParameter(const StepContext& context, const dataflash::ParamDef& row,
                         const std::string& text, nlohmann::json measurements) {
  dataflash::DataFlashSession& flash = context.setup.bench.data_flash();
  const auto index = dataflash::FindParam(row.name);
  const dataflash::ValueSetting set = flash.SetValue(*index, text, context.stop);
  if (set.stopped) return {RunResult::kStopped, {}, measurements};
  measurements["holds"] = set.holds ? nlohmann::json(*set.holds) : nlohmann::json();
  if (!set.edit.done()) {
    return Failed(
        LinkCause(context),
        fmt::format("\"{}\" could not be set to {}: {}", row.name, text, Reason(context, set.edit)),
        measurements);
  }
  if (set.holds != text) {
    return Failed(common::ErrorKind::kMismatch,
                  fmt::format("\"{}\" was set to {} but the gauge holds \"{}\"", row.name, text,
                              set.holds.value_or(std::string(messages::kVerifyMissingValue))),
                  measurements);
  }
  return {RunResult::kPass, {}, measurements};
}

CalendarDate Today() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

std::string ValueText(const std::optional<std::string>& value) {
  return value.value_or(std::string(messages::kVerifyMissingValue));
}

}  // namespace

StepOutcome RunFirmware(const StepContext& context) {
  const auto& script = context.setup.material.firmware_script;
  return script ? PlayScript(context, *script, StepKind::kFirmware) : UpdateFirmware(context);
}

StepOutcome RunConstants(const StepContext& context) {
  const RecipeMaterial& material = context.setup.material;
  if (material.constants_script) {
    return PlayScript(context, *material.constants_script, StepKind::kConstants);
  }
  const dataflash::AfiLoadResult loaded =
      context.setup.bench.data_flash().LoadAfiValuesToGauge(*material.constants, context.stop);
  if (loaded.outcome.done()) {
    return {RunResult::kPass,
            {},
            {{"file", context.setup.prepared.recipe.constants->file.path.string()}}};
  }
  return StoppedOr(
      context, LinkCause(context),
      fmt::format("the golden constants were not written: {}", Reason(context, loaded.outcome)));
}

StepOutcome RunSerial(const StepContext& context) {
  const PackRunSetup& setup = context.setup;
  const SerialStep& step = *setup.prepared.recipe.serial;
  const dataflash::ParamDef* row = SerialParameter(step);
  if (row == nullptr) {
    return Failed(common::ErrorKind::kRefused,
                  fmt::format("no data flash value is named \"{}\"", step.parameter));
  }
  const auto serial = setup.records.AllocateSerial(context.run, SerialRangeOf(step));
  if (!serial) {
    // An exhausted range fails the pack in the store's own words (the recipe needs a new
    // range); anything else is the records failing.
    const StoreError& error = serial.error();
    if (error.problem == StoreProblem::kRangeExhausted) {
      return Failed(common::ErrorKind::kRefused, error.message);
    }
    return Failed(common::ErrorKind::kRecordsStore,
                  fmt::format(messages::kRecordsLost, setup.records.Location(), error.message));
  }
  setup.report.PackSerial(*serial);
  const std::string text = SerialText(*row, *serial);
  return SetParameter(context, *row, text,
                      {{"serial", *serial}, {"parameter", row->name}, {"text", text}});
}

StepOutcome RunDate(const StepContext& context) {
  const DateStep& step = *context.setup.prepared.recipe.date;
  const std::string text = ManufactureDateText(step.date.value_or(Today()));
  const auto index = dataflash::FindParam(MaskParameters(VerifyMask::kDate).front());
  const dataflash::ParamDef& row = dataflash::kParams[*index];
  return SetParameter(context, row, text, {{"parameter", row.name}, {"date", text}});
}

StepOutcome RunVerify(const StepContext& context) {
  const PackRunSetup& setup = context.setup;
  dataflash::DataFlashSession& flash = setup.bench.data_flash();
  const common::Outcome read = [&] {
    const dataflash::FlashTransfer::StopScope stoppable(flash.transfer(), context.stop);
    return flash.ReadAll();
  }();
  if (!read) {
    return StoppedOr(
        context, LinkCause(context),
        fmt::format("the constants could not be read back: {}", Reason(context, read)));
  }
  const dataflash::DataFlashView view = flash.View();
  const dataflash::AfiValues gauge = dataflash::GaugeValues(view.values, view.image);
  const auto differences =
      VerifyDifferences(*setup.prepared.golden, gauge, view.image, setup.material.masked);
  nlohmann::json listed = nlohmann::json::array();
  std::vector<std::string> named;
  for (const dataflash::KeyDifference& difference : differences) {
    listed.push_back({{"key", difference.key},
                      {"golden", ValueText(difference.file_value)},
                      {"gauge", ValueText(difference.other_value)}});
    named.push_back(fmt::format("{} (gauge {}, golden {})", difference.key,
                                ValueText(difference.other_value),
                                ValueText(difference.file_value)));
  }
  // What the pack holds of its own (its serial number, date, calibration, life data), as read
  // back: what its record keeps of it.
  nlohmann::json own = nlohmann::json::object();
  for (const std::string_view name : setup.material.masked) {
    const auto index = dataflash::FindParam(name);
    if (index && gauge.rows[*index]) own[std::string(name)] = *gauge.rows[*index];
  }
  nlohmann::json measurements = {
      {"differences", listed}, {"masked", setup.material.masked.size()}, {"pack_values", own}};
  if (differences.empty()) return {RunResult::kPass, {}, measurements};
  return Failed(common::ErrorKind::kMismatch,
                fmt::format("{} values differ from the golden file: {}", differences.size(),
                            dataflash::FirstNames(named)),
                measurements);
}

StepOutcome RunSeal(const StepContext& context) {
  const common::Outcome sealed = context.setup.bench.subcmd().RunSubcommand(link::kSealSubcommand);
  if (sealed) return {RunResult::kPass, {}, {{"sealed", true}}};
  return Failed(LinkCause(context),
                fmt::format("the pack was not sealed: {}", Reason(context, sealed)),
                {{"sealed", false}});
}

}  // namespace cw::production
