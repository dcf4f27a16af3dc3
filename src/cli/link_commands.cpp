#include "cli/link_commands.h"

#include <fmt/format.h>

#include <stop_token>
#include <string>
#include <vector>

#include "cli/json_output.h"
#include "cli/messages.h"
#include "cli/output.h"
#include "common/bytes.h"
#include "link/pec.h"

namespace cw::cli {
namespace {

CLI::Validator HexByteArgument() {
  return WholeArgument(messages::kNotHexByte, [](std::string_view text) {
    return common::ParseHexByte(text).has_value();
  });
}

std::uint8_t HexByte(const std::string& text) { return *common::ParseHexByte(text); }

int ReportLinkFailure(const CommandOutput& output, link::GaugeLink& link) {
  return output.LinkError(link, kExitFailed);
}

// SBS BatteryMode(): its CapM bit says whether capacities are in mAh or in 10 mWh.
constexpr std::uint8_t kBatteryModeCommand = 0x03;

// The register a word read of `command` fills, its unit as Battery Mode gives it (read first
// where the unit follows it, as the scan would have).
monitor::SbsRegisterDef WordRegisterOf(link::GaugeLink& link, std::uint8_t command,
                                       std::uint16_t raw) {
  std::int32_t battery_mode = monitor::kNotRead;
  std::uint16_t mode = 0;
  if (json::UnitFollowsBatteryMode(command) && link.ReadWord(kBatteryModeCommand, mode)) {
    battery_mode = mode;
  }
  return json::WordRegister(command, raw, battery_mode);
}

}  // namespace

void AddLinkCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* pec = app.add_subcommand("pec", "Print the SMBus PEC (CRC-8) of hex bytes");
  auto pec_bytes = std::make_shared<std::vector<std::string>>();
  pec->add_option("bytes", *pec_bytes, "bytes in hex")->required()->check(HexByteArgument());
  pec->callback([pec_bytes, &exit_code] {
    common::Bytes bytes;
    for (const auto& text : *pec_bytes) bytes.push_back(HexByte(text));
    fmt::print("{:02X}\n", link::Pec(bytes));
    exit_code = kExitSuccess;
  });

  auto* probe = app.add_subcommand("probe", "Open the adapter; print its transport and version");
  context.output().OfferJson(*probe);
  probe->callback([&context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    const CommandOutput& output = context.output();
    auto& link = bench->link();
    if (!link.EnsureConnected()) {
      exit_code = ReportLinkFailure(output, link);
      return;
    }
    const link::Transport transport = link.connection().transport();
    // The text says the transport before the version is asked for, so a failed read still tells
    // which adapter was found; a JSON document is whole or an error.
    if (!output.json()) {
      fmt::print("{}\n", link::TransportName(transport));
    }
    const auto version = link.ReadAdapterVersion();
    if (!version) {
      exit_code = output.Error(AdapterErrorKind(link.link_status()),
                               "the adapter version could not be read", kExitFailed);
      return;
    }
    output.Result([&] { fmt::print("{}\n", version->text); },
                  [&] { return json::Probe(transport, *version); });
    exit_code = kExitSuccess;
  });

  auto* read_word = app.add_subcommand("read-word", "Read one SBS word register (hex command)");
  auto command = std::make_shared<std::string>();
  read_word->add_option("CMD", *command, "command code in hex")
      ->required()
      ->check(HexByteArgument());
  context.output().OfferJson(*read_word);
  read_word->callback([command, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    const std::uint8_t code = HexByte(*command);
    std::uint16_t value = 0;
    if (!bench->link().ReadWord(code, value)) {
      exit_code = ReportLinkFailure(context.output(), bench->link());
      return;
    }
    context.output().Result(
        [&] { fmt::print("{:04X}\n", value); },
        [&] { return json::WordReading(WordRegisterOf(bench->link(), code, value)); });
    exit_code = kExitSuccess;
  });

  auto* mba = app.add_subcommand("mba", "Read a ManufacturerBlockAccess reply (SUB hex, N bytes)");
  auto subcommand = std::make_shared<std::string>();
  auto length = std::make_shared<int>(0);
  mba->add_option("SUB", *subcommand, "subcommand in hex")->required()->check(HexByteArgument());
  mba->add_option("N", *length, "data bytes expected (0..32)")
      ->required()
      ->transform(WholeNumberIn(0, 32));
  context.output().OfferJson(*mba);
  mba->callback([subcommand, length, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    const std::uint8_t code = HexByte(*subcommand);
    common::Bytes reply;
    if (!bench->link().ReadManufacturerBlock(code, static_cast<std::uint8_t>(*length), reply)) {
      exit_code = ReportLinkFailure(context.output(), bench->link());
      return;
    }
    context.output().Result([&] { fmt::print("{}\n", common::ToHex(reply)); },
                            [&] { return json::ManufacturerBlock(code, reply); });
    exit_code = kExitSuccess;
  });

  auto* watch = app.add_subcommand("watch", "Read word registers again and again (hex commands)");
  auto commands = std::make_shared<std::vector<std::string>>();
  auto count = std::make_shared<int>(0);
  auto interval_ms = std::make_shared<int>(1000);
  watch->add_option("CMD", *commands, "command codes in hex")->required()->check(HexByteArgument());
  watch->add_option("--count", *count, "stop after this many readings (0: until Ctrl-C)")
      ->transform(WholeNumberIn(0));
  watch->add_option("--interval-ms", *interval_ms, "time between readings")
      ->transform(WholeNumberIn(10, 60000));
  watch->callback([commands, count, interval_ms, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    const std::stop_token stop = context.HonourStop(CommandContext::StopIs::kUsualEnd);
    int values = 0;
    int unread = 0;
    for (int reading = 0;
         (*count == 0 || reading < *count) && !stop.stop_requested() && !ResultsLost(); ++reading) {
      if (reading > 0) bench->clock().SleepFor(common::Millis{*interval_ms});
      std::string line;
      for (const auto& text : *commands) {
        std::uint16_t value = 0;
        const bool ok = bench->link().ReadWord(HexByte(text), value);
        ++values;
        if (!ok) ++unread;
        line += ok ? fmt::format("{:02X}={:04X}  ", HexByte(text), value)
                   : fmt::format("{:02X}=----  ", HexByte(text));
      }
      line += link::LinkStatusText(bench->link().link_status());
      fmt::print("{}\n", line);
      std::fflush(stdout);
    }
    // A reading shown as "----" is no reading: the watch fails, whichever adapter it ran on.
    exit_code = unread == 0 ? kExitSuccess : kExitFailed;
    if (unread > 0) {
      fmt::print(stderr, "{}\n",
                 fmt::format("{} of {} values could not be read: {}", unread, values,
                             link::LinkStatusText(bench->link().link_status())));
    }
  });
}

}  // namespace cw::cli
