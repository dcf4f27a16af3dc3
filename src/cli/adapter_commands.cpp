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
  fmt::print(text::kRow, "TRANSPORT", text::kSerial, text::kNode, "OPEN", "SELECT WITH");
  fmt::print("\n");
  for (const auto& adapter : list.adapters) {
    const std::string problem = adapter.Problem();
    fmt::print(text::kRow, link::TransportName(adapter.transport),
               adapter.serial.empty() ? std::string(text::kNoSerial) : adapter.serial, adapter.node,
               problem.empty() ? "yes" : "no", list.Select(adapter));
    if (!problem.empty()) fmt::print("  ({})", problem);
    fmt::print("\n");
  }
  if (list.simulated)
    fmt::print("{}\n",
               "Simulated adapters: add the SELECT WITH text at the end of the sim device string "
               "(--device sim:packs=N:...:adapter=hid:SERIAL) to drive that pack.");
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
      const std::string none = fmt::format(
          "No adapter found (vendor {:04x}, HID product {:04x}, bulk product {:04x}); "
          "`cellwarden-cli doctor` says why.",
          settings.vendor_id, settings.hid_product_id, settings.bulk_product_id);
      exit_code = context.output().Error(ErrorKind::kNoAdapter, none, kExitFailed);
      return;
    }
    context.output().Result([&] { PrintList(list); }, [&] { return json::Adapters(list); });
    exit_code = kExitSuccess;
  });
}

}  // namespace cw::cli
