#include "cli/monitor_commands.h"

namespace cw::cli {

void AddMonitorCommands(CLI::App&, CommandContext&, int&) {}

}  // namespace cw::cli
