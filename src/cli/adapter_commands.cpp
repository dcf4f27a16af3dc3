#include "cli/adapter_commands.h"

#include <fmt/format.h>

#include <memory>
#include <string>

#include "app/adapter_list.h"
#include "cli/json_output.h"
#include "cli/messages.h"

namespace cw::cli {
namespace {

namespace text = messages::adapters;

void PrintList(const app::AdapterList& list) {
  fmt::print(text::kRow, text::kTransport, text::kSerial, text::kNode, text::kOpen, text::kSelect);
  fmt::print("\n");
  for (const auto& adapter : list.adapters) {
    const std::string problem = adapter.Problem();
    fmt::print(text::kRow, link::TransportName(adapter.transport),
               adapter.serial.empty() ? std::string(text::kNoSerial) : adapter.serial, adapter.node,
               problem.empty() ? text::kYes : text::kNo, list.Select(adapter));
    if (!problem.empty()) fmt::print(text::kWhyNot, problem);
    fmt::print("\n");
  }
  if (list.simulated) fmt::print("{}\n", text::kSimulatedHint);
}

}  // namespace

void AddAdapterCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* adapters = app.add_subcommand("adapters", std::string(text::kDescription));
  context.output().OfferJson(*adapters);
  adapters->callback([&context, &exit_code] {
    app::AdapterHost* host = context.OpenHost(exit_code);
    if (!host) return;
    const link::SurveySettings settings = context.SurveySettings();
    const app::AdapterList list = host->ListAdapters(settings);
    if (!list.usb_problem.empty()) {
      fmt::print(stderr, text::kUsbUnlisted, list.usb_problem);
      fmt::print(stderr, "\n");
    }
    if (list.adapters.empty()) {
      const std::string none = fmt::format(text::kNoneFound, settings.vendor_id,
                                           settings.hid_product_id, settings.bulk_product_id);
      exit_code = context.output().Error(ErrorKind::kNoAdapter, none, kExitFailed);
      return;
    }
    context.output().Result([&] { PrintList(list); }, [&] { return json::Adapters(list); });
    exit_code = kExitSuccess;
  });
}

}  // namespace cw::cli
