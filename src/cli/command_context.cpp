#include "cli/command_context.h"

#include <fmt/format.h>

#include "app/product_constants_file.h"
#include "app/program_directory.h"
#include "cli/messages.h"
#include "common/bytes.h"
#include "common/parse.h"
#include "sim/sim_pack.h"

namespace cw::cli {

app::Workbench* CommandContext::OpenWorkbench(int& exit_code) { return Started(exit_code, false); }

app::Workbench* CommandContext::OpenOffline(int& exit_code) {
  return workbench_ ? workbench_.get() : Create(exit_code);
}

app::Workbench* CommandContext::OpenSimulated(int& exit_code) { return Started(exit_code, true); }

app::Workbench* CommandContext::Started(int& exit_code, bool simulated_only) {
  if (workbench_) return workbench_.get();
  app::Workbench* bench = Create(exit_code, simulated_only);
  // An adapter named but not there has been named by the link already; a JSON reader gets it
  // as a document too.
  if (bench && !bench->Start()) {
    exit_code = output_.ErrorShown(ErrorKind::kNoAdapter, messages_.LastShown(), kExitFailed);
    return nullptr;
  }
  return bench;
}

CLI::Validator WholeArgument(std::string_view rule, std::function<bool(std::string_view)> accepts) {
  return CLI::Validator(
      [rule = std::string(rule), accepts = std::move(accepts)](std::string& text) -> std::string {
        if (accepts(text)) return {};
        return fmt::format(messages::kArgumentBreaksRule, text, rule);
      },
      "");
}

namespace {

std::string RangeText(std::int64_t min, std::int64_t max) {
  if (max >= kNoUpperLimit) return fmt::format("of {} or more", min);
  return fmt::format("from {} to {}", min, max);
}

}  // namespace

CLI::Validator WholeNumberIn(std::int64_t min, std::int64_t max) {
  const std::string rule = fmt::format("a whole number {}", RangeText(min, max));
  return CLI::Validator(
      [rule, min, max](std::string& text) -> std::string {
        const auto value = common::ParseWholeInteger(text);
        if (!value || *value < min || *value > max) {
          return fmt::format(messages::kArgumentBreaksRule, text, rule);
        }
        text = std::to_string(*value);
        return {};
      },
      "");
}

std::stop_token CommandContext::HonourStop(StopIs stop, std::string_view notice) {
  stop_is_ = stop;
  stop_.Honour([this, notice] {
    progress_.bar().Finish();
    fmt::print(stderr, "{}\n", notice);
  });
  return stop_.token();
}

int CommandContext::ExitStatus(int exit_code) const {
  return stop_is_ == StopIs::kUsualEnd ? exit_code : stop_.ExitStatusOr(exit_code);
}

int CommandContext::Finish(int exit_code) {
  if (!workbench_ || workbench_->sim_pack() == nullptr ||
      workbench_->sim_pack()->options().state_file.empty()) {
    return ExitStatus(exit_code);
  }
  const auto saved = workbench_->SaveSimState();
  if (saved) return ExitStatus(exit_code);
  fmt::print(stderr, "{}\n", saved.error());
  return ExitStatus(exit_code == kExitSuccess ? kExitFailed : exit_code);
}

const app::WorkbenchOptions* CommandContext::Options(int& exit_code, bool simulated_only) {
  if (workbench_options_) return &*workbench_options_;
  std::string device = options_.device;
  if (simulated_only) {
    const auto named = app::ParseDeviceString(device);
    if (!named || !named->simulated) device = "sim";
  }
  const auto selection = app::SelectDevice(device, options_.sim, options_.sim_state);
  if (!selection) {
    exit_code = output_.Error(ErrorKind::kUsage, selection.error(), kExitUsage);
    return nullptr;
  }
  auto constants = app::LoadProductConstants(app::ProgramDirectory());
  if (!constants) {
    exit_code = output_.Error(ErrorKind::kFile, constants.error(), kExitFailed);
    return nullptr;
  }
  app::WorkbenchOptions options;
  options.device = *selection;
  options.constants = *constants;
  if (!options_.pid.empty()) {
    const auto pid = common::ParseHexNumber(options_.pid, 0xFFFF);
    if (!pid) {
      exit_code = output_.Error(
          ErrorKind::kUsage,
          fmt::format("--pid \"{}\" is not a hexadecimal product id", options_.pid), kExitUsage);
      return nullptr;
    }
    options.hid_product_id = static_cast<std::uint16_t>(*pid);
  }
  options.serial_prefix = options_.serial_prefix;
  if (options_.trace) options.trace = &trace_;
  options.progress = &progress_;
  workbench_options_ = std::move(options);
  return &*workbench_options_;
}

app::AdapterHost* CommandContext::OpenHost(int& exit_code) { return OpenHost(exit_code, false); }

app::AdapterHost* CommandContext::OpenHost(int& exit_code, bool simulated_only) {
  if (host_) return host_.get();
  const app::WorkbenchOptions* options = Options(exit_code, simulated_only);
  if (!options) return nullptr;
  auto host = app::AdapterHost::Create(options->device, options->constants, options->trace);
  if (!host) {
    const common::Error& error = host.error();
    exit_code = output_.Error(error.kind, error.message,
                              error.kind == ErrorKind::kUsage ? kExitUsage : kExitFailed);
    return nullptr;
  }
  host_ = std::move(*host);
  return host_.get();
}

link::SurveySettings CommandContext::SurveySettings() const {
  return host_->SurveySettingsFor(workbench_options_->hid_product_id,
                                  workbench_options_->serial_prefix);
}

app::Workbench* CommandContext::Create(int& exit_code, bool simulated_only) {
  if (!OpenHost(exit_code, simulated_only)) return nullptr;
  const app::WorkbenchOptions& options = *workbench_options_;
  auto workbench = app::Workbench::Create(host_, options.device.adapter, options, messages_);
  if (!workbench) {
    exit_code = output_.Error(ErrorKind::kFailed, workbench.error(), kExitFailed);
    return nullptr;
  }
  workbench_ = std::move(*workbench);
  return workbench_.get();
}

}  // namespace cw::cli
