#include "cli/firmware_commands.h"

namespace cw::cli {

void AddFirmwareCommands(CLI::App&, CommandContext&, int&) {}

}  // namespace cw::cli
