#include "cli/dataflash_commands.h"

namespace cw::cli {

void AddDataFlashCommands(CLI::App&, CommandContext&, int&) {}

}  // namespace cw::cli
