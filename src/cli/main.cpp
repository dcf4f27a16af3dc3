// cellwarden-cli: the command-line front end to the workbench.
#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <sstream>

#include "cli/adapter_commands.h"
#include "cli/command_context.h"
#include "cli/dataflash_commands.h"
#include "cli/doctor_commands.h"
#include "cli/firmware_commands.h"
#include "cli/fs_commands.h"
#include "cli/link_commands.h"
#include "cli/monitor_commands.h"
#include "cli/output.h"
#include "cli/production_commands.h"
#include "cli/tool_commands.h"
#include "common/version.h"

int main(int argc, char** argv) {
  using namespace cw::cli;
  GuardStandardStreams();
  CLI::App app{
      std::string(
          "Cellwarden Tools: evaluation and configuration workbench for the KT580714 fuel gauge"),
      "cellwarden-cli"};
  app.require_subcommand(1);
  app.set_version_flag("--version", fmt::format("{} {}", app.get_name(), cw::common::kVersion));

  GlobalOptions options;
  app.add_option(
      "--device", options.device,
      "auto, hid or bulk (the one adapter of that kind), hid:SERIAL_OR_PATH, bulk:SERIAL_OR_NODE, "
      "sim, or sim:key=value:... (see the guide)");
  app.add_flag("--sim", options.sim, "use the simulated pack (same as --device sim)");
  app.add_option("--sim-state", options.sim_state,
                 "load the simulated pack from FILE and save it back on exit");
  app.add_option("--pid", options.pid, "HID product id of the adapter in hex (default 8888)");
  app.add_option("--serial-prefix", options.serial_prefix,
                 "serial-number prefix of the bulk adapter (default 8888)");
  app.add_flag("--trace", options.trace, "print every report and packet to stderr");

  CommandContext context(options);
  int exit_code = kExitFailed;
  AddLinkCommands(app, context, exit_code);
  AddMonitorCommands(app, context, exit_code);
  AddDataFlashCommands(app, context, exit_code);
  AddFirmwareCommands(app, context, exit_code);
  AddFsCommands(app, context, exit_code);
  AddToolCommands(app, context, exit_code);
  AddDoctorCommands(app, context, exit_code);
  AddProductionCommands(app, context, exit_code);
  AddAdapterCommands(app, context, exit_code);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Help, the version and usage errors, written like every other output.
    if (error.get_exit_code() != 0 && context.output().json()) {
      return FinishOutput(context.output().Error(ErrorKind::kUsage, error.what(), kExitUsage));
    }
    std::ostringstream out;
    std::ostringstream err;
    const bool answered = app.exit(error, out, err) == 0;
    fmt::print("{}", out.str());
    fmt::print(stderr, "{}", err.str());
    return FinishOutput(answered ? kExitSuccess : kExitUsage);
  }
  return FinishOutput(context.Finish(exit_code));
}
