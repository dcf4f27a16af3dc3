#include "cli/adapter_commands.h"

#include <fmt/format.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "app/adapter_list.h"
#include "cli/messages.h"

namespace cw::cli {
namespace {

namespace text = messages::adapters;

void PrintList(const app::AdapterList& list) {
  fmt::print(fmt::runtime(text::kRow), text::kTransport, text::kSerial, text::kNode, text::kOpen,
             text::kSelect);
  fmt::print("\n");
  for (const auto& adapter : list.adapters) {
    fmt::print(fmt::runtime(text::kRow),
               adapter.transport == link::Transport::kHid ? messages::kTransportHid
                                                          : messages::kTransportBulk,
               adapter.serial.empty() ? std::string(text::kNoSerial) : adapter.serial, adapter.node,
               adapter.can_open ? text::kYes : text::kNo, adapter.select);
    if (!adapter.problem.empty()) fmt::print(fmt::runtime(text::kWhyNot), adapter.problem);
    fmt::print("\n");
  }
  if (list.simulated) fmt::print("{}\n", text::kSimulatedHint);
}

// Absent values are null rather than empty strings, so a script can tell "none" from "".
nlohmann::json TextOrNull(const std::string& text) {
  return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

void PrintJson(const app::AdapterList& list) {
  nlohmann::json adapters = nlohmann::json::array();
  for (const auto& adapter : list.adapters) {
    adapters.push_back({
        {"transport", adapter.transport == link::Transport::kHid ? "hid" : "bulk"},
        {"serial", TextOrNull(adapter.serial)},
        {"node", adapter.node},
        {"can_open", adapter.can_open},
        {"problem", TextOrNull(adapter.problem)},
        {"select", adapter.select},
        {"simulated", list.simulated},
    });
  }
  fmt::print("{}\n", adapters.dump(2));
}

void PrintNoneFoundJson(const std::string& message) {
  const nlohmann::json error = {{"error", {{"kind", "no_adapter"}, {"message", message}}}};
  fmt::print("{}\n", error.dump(2));
}

}  // namespace

void AddAdapterCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* adapters = app.add_subcommand("adapters", std::string(text::kDescription));
  auto json_flag = std::make_shared<bool>(false);
  adapters->add_flag("--json", *json_flag, std::string(text::kJsonOption));
  adapters->callback([&context, &exit_code, json_flag] {
    const bool json = *json_flag;
    app::AdapterHost* host = context.OpenHost(exit_code);
    if (!host) return;
    const link::SurveySettings settings = context.SurveySettings();
    const app::AdapterList list = host->ListAdapters(settings);
    if (!list.usb_problem.empty()) {
      fmt::print(stderr, fmt::runtime(text::kUsbUnlisted), list.usb_problem);
      fmt::print(stderr, "\n");
    }
    if (list.adapters.empty()) {
      const std::string none = fmt::format(fmt::runtime(text::kNoneFound), settings.vendor_id,
                                           settings.hid_product_id, settings.bulk_product_id);
      if (json) {
        PrintNoneFoundJson(none);
      } else {
        fmt::print(stderr, "{}\n", none);
      }
      exit_code = kExitFailed;
      return;
    }
    if (json) {
      PrintJson(list);
    } else {
      PrintList(list);
    }
    exit_code = kExitSuccess;
  });
}

}  // namespace cw::cli
