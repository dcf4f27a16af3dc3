#include "production/pack_run.h"

#include <fmt/format.h>

#include <chrono>
#include <thread>
#include <utility>

#include "app/workbench.h"
#include "common/bytes.h"
#include "link/command_codes.h"
#include "link/gauge_link.h"
#include "production/handoff.h"
#include "production/messages.h"
#include "production/step_runners.h"
#include "production/verify_masks.h"

namespace cw::production {

namespace {

constexpr std::uint8_t kDeviceTypeSubcommand = 0x01;
constexpr std::uint8_t kFirmwareVersionSubcommand = 0x02;

std::optional<std::uint16_t> ReadSubcommandWord(link::GaugeLink& link, std::uint8_t subcommand) {
  common::Bytes reply;
  if (!link.ReadSubCmdReply(subcommand, 2, reply)) {
    return std::nullopt;
  }
  const auto data = link::ManufacturerBlockData(reply, subcommand, 2);
  if (!data) return std::nullopt;
  return common::LittleEndianWord((*data)[0], (*data)[1]);
}

std::string_view TextOf(common::ByteView bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::optional<firmware::FsScript> ScriptOf(const common::Bytes& bytes, std::string& problem) {
  firmware::FsCheckReport report = firmware::CheckFsScript(bytes);
  if (!report.clean()) {
    problem = report.problems.empty() ? std::string(messages::kScriptRefused)
                                      : report.problems.front().text;
    return std::nullopt;
  }
  return std::move(report.script);
}

}  // namespace

std::expected<RecipeMaterial, std::string> MaterialOf(const PreparedRecipe& prepared) {
  const Recipe& recipe = prepared.recipe;
  RecipeMaterial material;
  std::string problem;
  if (recipe.firmware && recipe.firmware->script) {
    material.firmware_script = ScriptOf(prepared.firmware, problem);
    if (!material.firmware_script) {
      return std::unexpected(
          fmt::format(messages::kRecipeMaterial, recipe.firmware->file.path.string(), problem));
    }
  }
  if (recipe.constants) {
    const std::string name = recipe.constants->file.path.string();
    if (recipe.constants->script) {
      material.constants_script = ScriptOf(prepared.constants, problem);
      if (!material.constants_script) {
        return std::unexpected(fmt::format(messages::kRecipeMaterial, name, problem));
      }
    } else {
      const auto reader = dataflash::AfiReader::FromText(TextOf(prepared.constants));
      if (!reader) {
        return std::unexpected(fmt::format(messages::kRecipeMaterial, name, reader.error()));
      }
      material.constants = dataflash::ReadAfiValues(*reader);
    }
  }
  material.masked = MaskedNames(recipe);
  return material;
}

bool PackAnswers(link::GaugeLink& link) {
  return ReadGaugeIdentity(link).has_value() || link.WaitsInBootLoader();
}

std::optional<GaugeIdentity> ReadGaugeIdentity(link::GaugeLink& link) {
  const auto device_type = ReadSubcommandWord(link, link::kDeviceTypeSubcommand);
  if (!device_type) return std::nullopt;
  const auto firmware_version = ReadSubcommandWord(link, link::kFirmwareVersionSubcommand);
  if (!firmware_version) return std::nullopt;
  return GaugeIdentity{*device_type, *firmware_version};
}

namespace {

using common::ErrorKind;
using common::ErrorKindName;

TimePoint Now() { return std::chrono::system_clock::now(); }

constexpr auto kRecordsRetryPause = std::chrono::seconds(1);

// One run: the records it writes and where it ends.
class PackRun {
 public:
  PackRun(const PackRunSetup& setup, std::stop_token stop)
      : setup_(setup), stop_(std::move(stop)) {}

  PackRunEnd Run() {
    RunStart start = setup_.start;
    start.started_at = Now();
    const auto run = Persist([&] { return setup_.records.BeginRun(start); });
    if (!run) {
      return {RunResult::kFail, std::nullopt,
              fmt::format("the records at {} cannot take the run ({}): the pack was not touched",
                          setup_.records.Location(), run.error().message),
              ErrorKind::kRecordsStore};
    }
    run_ = *run;
    setup_.report.RunBegun(run_);
    if (!CheckGauge()) return end_;

    const std::vector<StepKind> steps = setup_.prepared.recipe.Steps();
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const StepKind kind = steps[i];
      step_ = kind;
      if (setup_.unplugged) {
        gone_ = true;
        return Finish({RunResult::kFail, kind, std::string(messages::kAdapterUnplugged),
                       ErrorKind::kNoAdapter});
      }
      if (stop_.stop_requested()) {
        return Finish({RunResult::kStopped, kind,
                       fmt::format("stopped by the operator before {}", StepName(kind)),
                       ErrorKind::kStopped});
      }
      const int attempts = setup_.prepared.recipe.Common(kind).retries + 1;
      for (int attempt = 1;; ++attempt) {
        setup_.report.StepBegun(kind, static_cast<int>(i) + 1, attempt);
        setup_.messages.Clear();
        const TimePoint started = Now();
        StepOutcome outcome = RunStep(kind, {setup_, run_, stop_});
        if (outcome.result != RunResult::kPass && AdapterGone()) {
          outcome.result = RunResult::kFail;
          outcome.failure = messages::kAdapterUnplugged;
          outcome.cause = ErrorKind::kNoAdapter;
        }
        if (outcome.result == RunResult::kStopped) {
          outcome.cause = ErrorKind::kStopped;
          if (outcome.failure.empty()) {
            outcome.failure = fmt::format(messages::kStoppedIn, StepName(kind));
          }
        }
        if (!Record(StepName(kind), attempt, outcome, started)) return end_;
        if (outcome.result == RunResult::kPass) {
          // A pack reflashed from its boot loader shows its identity only now.
          if (kind == StepKind::kFirmware && std::exchange(rework_, false) && !CheckGauge()) {
            return end_;
          }
          break;
        }
        if (outcome.result == RunResult::kStopped) {
          return Finish({RunResult::kStopped, kind, outcome.failure, ErrorKind::kStopped});
        }
        if (attempt >= attempts || gone_) {
          return Finish({RunResult::kFail, kind, outcome.failure, outcome.cause});
        }
        if (stop_.stop_requested()) {
          return Finish({RunResult::kStopped, kind,
                         fmt::format(messages::kStoppedIn, StepName(kind)), ErrorKind::kStopped});
        }
      }
    }
    return Finish({RunResult::kPass, std::nullopt, {}});
  }

 private:
  // The gauge's identity against the recipe's, before anything is written: its own step record.
  bool CheckGauge() {
    step_.reset();
    setup_.report.StepBegun(std::nullopt, 0, 1);
    setup_.report.Activity(std::string("reading the gauge's device type"));
    setup_.messages.Clear();
    const TimePoint started = Now();
    StepOutcome outcome;
    const auto identity = ReadGaugeIdentity(setup_.bench.link());
    const GaugeExpectation& expected = setup_.prepared.recipe.gauge;
    if (!identity && setup_.bench.link().WaitsInBootLoader()) {
      // An earlier run (or a hand) left the pack mid-update: the firmware step brings it back,
      // and the gauge is checked again once it has.
      outcome.measurements = nlohmann::json{{"boot_loader", true}};
      if (setup_.prepared.recipe.firmware) {
        rework_ = true;
        setup_.report.Activity(
            std::string("found in the boot loader (an earlier update did not finish): the firmware "
                        "step reflashes it"));
      } else {
        outcome = Failed(ErrorKind::kBootLoader, std::string(messages::kLeftInBootLoader),
                         std::move(outcome.measurements));
      }
    } else if (!identity) {
      outcome = Failed(link::LinkErrorKind(setup_.bench.link().link_status()),
                       fmt::format("the pack on {} does not answer: check that it sits in the "
                                   "fixture and has power ({})",
                                   setup_.adapter_label,
                                   setup_.messages.Reason().empty() ? messages::kNoReason
                                                                    : setup_.messages.Reason()));
    } else {
      // The serial number the pack came with tells a rework (it carries a number an earlier run
      // wrote) from a new pack.
      std::uint16_t serial = 0;
      std::optional<std::int64_t> arrived_serial;
      if (setup_.bench.link().ReadWord(link::kSerialNumberCommand, serial)) arrived_serial = serial;
      outcome.measurements = nlohmann::json{
          {"device_type", identity->device_type},
          {"firmware_version", identity->firmware_version},
          {"arrived_serial", arrived_serial ? nlohmann::json(*arrived_serial) : nlohmann::json()}};
      const auto recorded = Persist([&] {
        return setup_.records.RecordGauge(run_, identity->device_type, identity->firmware_version,
                                          arrived_serial);
      });
      if (!recorded) return LostRecords(recorded.error());
      const auto wrong = [&](std::string failure) {
        outcome =
            Failed(ErrorKind::kWrongGauge, std::move(failure), std::move(outcome.measurements));
      };
      if (identity->device_type != expected.device_type) {
        wrong(
            fmt::format("the gauge is a 0x{:04X}, the recipe expects a 0x{:04X}: this pack does "
                        "not belong on this "
                        "line (nothing was written)",
                        identity->device_type, expected.device_type));
      } else if (expected.firmware_min && identity->firmware_version < *expected.firmware_min) {
        wrong(
            fmt::format("the gauge runs firmware 0x{:04X}, the recipe needs 0x{:04X} or later "
                        "(nothing was written)",
                        identity->firmware_version, *expected.firmware_min));
      } else if (expected.firmware_max && identity->firmware_version > *expected.firmware_max) {
        wrong(
            fmt::format("the gauge runs firmware 0x{:04X}, the recipe takes 0x{:04X} at most "
                        "(nothing was written)",
                        identity->firmware_version, *expected.firmware_max));
      }
    }
    if (outcome.result != RunResult::kPass && AdapterGone()) {
      outcome.failure = messages::kAdapterUnplugged;
      outcome.cause = ErrorKind::kNoAdapter;
    }
    if (!Record(messages::kGaugeStepName, 1, outcome, started)) return false;
    if (outcome.result == RunResult::kPass) return true;
    end_ = Finish({RunResult::kFail, std::nullopt, outcome.failure, outcome.cause});
    return false;
  }

  // A write the records refuse is tried again each second for up to records_hold, the pack
  // held where it is (between two steps: nothing on it is half written), the wait shown on the
  // lane. What the records will never take (a run they do not hold) is not tried again.
  template <typename Call>
  auto Persist(Call&& call) -> decltype(call()) {
    auto result = call();
    const auto started = std::chrono::steady_clock::now();
    while (!result && Transient(result.error().problem)) {
      const auto waited = std::chrono::duration_cast<std::chrono::seconds>(
          std::chrono::steady_clock::now() - started);
      if (waited >= setup_.records_hold || setup_.unplugged) break;
      setup_.report.Activity(fmt::format(
          "held: the records refuse the write ({}); trying again each second, {} s of {} s",
          result.error().message, waited.count(), setup_.records_hold.count()));
      std::this_thread::sleep_for(kRecordsRetryPause);
      result = call();
    }
    return result;
  }

  // A records file deleted or replaced under the station never comes back to this connection:
  // waiting for it would only hold the packs for nothing.
  static bool Transient(StoreProblem problem) {
    return problem == StoreProblem::kUnavailable || problem == StoreProblem::kFailed;
  }

  bool AdapterGone() {
    if (!gone_) {
      gone_ = setup_.unplugged || (setup_.adapter_attached && !setup_.adapter_attached());
    }
    return gone_;
  }

  bool Record(std::string_view step, int attempt, const StepOutcome& outcome, TimePoint started) {
    StepRecord record;
    record.step = std::string(step);
    record.attempt = attempt;
    record.result = outcome.result;
    record.failure = outcome.failure;
    if (outcome.result != RunResult::kPass)
      record.cause = std::string(ErrorKindName(outcome.cause));
    if (!outcome.measurements.empty()) record.measurements = outcome.measurements.dump();
    record.started_at = started;
    record.ended_at = Now();
    const auto added = Persist([&] { return setup_.records.AddStep(run_, record); });
    if (!added) return LostRecords(added.error());
    return true;
  }

  // The records failed: the run fails for it, and its end is written if the store still can.
  // The lane, the summary and the record name the step whose record was lost.
  bool LostRecords(const StoreError& error) {
    end_ = {RunResult::kFail, step_,
            fmt::format(messages::kRecordsLost, setup_.records.Location(), error.message),
            ErrorKind::kRecordsStore};
    const std::string step(step_ ? StepName(*step_) : messages::kGaugeStepName);
    (void)setup_.records.FinishRun(run_, EndOf(end_, step));
    return false;
  }

  PackRunEnd Finish(PackRunEnd end) {
    end.adapter_gone = gone_;
    const std::string step =
        end.step ? std::string(StepName(*end.step))
                 : (end.result == RunResult::kPass ? std::string()
                                                   : std::string(messages::kGaugeStepName));
    const auto finished = Persist([&] { return setup_.records.FinishRun(run_, EndOf(end, step)); });
    if (!finished) {
      return {
          RunResult::kFail, end.step,
          fmt::format(messages::kRecordsLost, setup_.records.Location(), finished.error().message),
          ErrorKind::kRecordsStore, gone_};
    }
    if (!setup_.prepared.recipe.handoff) return end;
    const auto handed = HandOff();
    if (handed) return end;
    // No pack passes without its hand-off: the run fails for it, in the records too.
    const bool passed = end.result == RunResult::kPass;
    PackRunEnd failed{RunResult::kFail, end.step,
                      passed ? handed.error().message
                             : fmt::format("{}; {}", end.failure, handed.error().message),
                      passed ? handed.error().kind : end.cause, gone_};
    (void)Persist([&] {
      return setup_.records.FinishRun(run_, EndOf(failed, passed ? std::string("handoff") : step));
    });
    return failed;
  }

  // The finished run as the records hold it, to the factory's folder.
  common::Expected<void> HandOff() {
    setup_.report.Activity(std::string("handing the run to the factory's folder"));
    const auto run = Persist([&] { return setup_.records.Run(run_); });
    if (!run) {
      return common::Fail(
          ErrorKind::kRecordsStore,
          fmt::format(messages::kRecordsLost, setup_.records.Location(), run.error().message));
    }
    const auto written =
        WriteHandoff(*setup_.prepared.recipe.handoff, setup_.prepared.label_template, *run);
    if (!written) return common::Fail(ErrorKind::kFile, written.error());
    return {};
  }

  static RunEnd EndOf(const PackRunEnd& end, std::string step) {
    std::string cause =
        end.result == RunResult::kPass ? std::string() : std::string(ErrorKindName(end.cause));
    return {end.result, std::move(step), end.failure, std::move(cause), Now()};
  }

  const PackRunSetup& setup_;
  const std::stop_token stop_;
  std::int64_t run_ = 0;
  bool gone_ = false;
  std::optional<StepKind> step_;  // the step running now; nothing: the gauge check
  bool rework_ = false;  // the pack was found in its boot loader; the firmware step reflashes it
  PackRunEnd end_;
};

}  // namespace

PackRunEnd RunPack(const PackRunSetup& setup, std::stop_token stop) {
  return PackRun(setup, std::move(stop)).Run();
}

}  // namespace cw::production
