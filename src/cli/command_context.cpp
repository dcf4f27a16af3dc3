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
  // An adapter named but not there has been named by the link already; nothing more to do.
  if (bench && !bench->Start()) {
    exit_code = kExitFailed;
    return nullptr;
  }
  return bench;
}

CLI::Validator WholeArgument(std::string_view rule, std::function<bool(std::string_view)> accepts) {
  return CLI::Validator(
      [rule = std::string(rule), accepts = std::move(accepts)](std::string& text) -> std::string {
        if (accepts(text)) return {};
        return fmt::format(fmt::runtime(messages::kArgumentBreaksRule), text, rule);
      },
      "");
}

namespace {

std::string RangeText(std::int64_t min, std::int64_t max) {
  if (max >= kNoUpperLimit) return fmt::format(fmt::runtime(messages::kRangeOpen), min);
  return fmt::format(fmt::runtime(messages::kRangeClosed), min, max);
}

}  // namespace

CLI::Validator WholeNumberIn(std::int64_t min, std::int64_t max) {
  const std::string rule =
      fmt::format(fmt::runtime(messages::kRuleWholeNumber), RangeText(min, max));
  return CLI::Validator(
      [rule, min, max](std::string& text) -> std::string {
        const auto value = common::ParseWholeInteger(text);
        if (!value || *value < min || *value > max) {
          return fmt::format(fmt::runtime(messages::kArgumentBreaksRule), text, rule);
        }
        text = std::to_string(*value);
        return {};
      },
      "");
}

int CommandContext::Finish(int exit_code) {
  if (!workbench_ || workbench_->sim_pack() == nullptr ||
      workbench_->sim_pack()->options().state_file.empty()) {
    return exit_code;
  }
  const auto saved = workbench_->SaveSimState();
  if (saved) return exit_code;
  fmt::print(stderr, "{}\n", saved.error());
  return exit_code == kExitSuccess ? kExitFailed : exit_code;
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
    fmt::print(stderr, "{}\n", selection.error());
    exit_code = kExitUsage;
    return nullptr;
  }
  auto constants = app::LoadProductConstants(app::ProgramDirectory());
  if (!constants) {
    fmt::print(stderr, "{}\n", constants.error());
    exit_code = kExitFailed;
    return nullptr;
  }
  app::WorkbenchOptions options;
  options.device = *selection;
  options.constants = *constants;
  if (!options_.pid.empty()) {
    const auto pid = common::ParseHexNumber(options_.pid, 0xFFFF);
    if (!pid) {
      fmt::print(stderr, "--pid \"{}\" is not a hexadecimal product id\n", options_.pid);
      exit_code = kExitUsage;
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
    fmt::print(stderr, "{}\n", host.error());
    exit_code = kExitFailed;
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
    fmt::print(stderr, "{}\n", workbench.error());
    exit_code = kExitFailed;
    return nullptr;
  }
  workbench_ = std::move(*workbench);
  return workbench_.get();
}

}  // namespace cw::cli
