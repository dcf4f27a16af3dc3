#pragma once

#include <CLI/CLI.hpp>

#include "cli/command_context.h"

namespace cw::cli {

// station: production recipes (station check). records: what the stations kept of every pack
// (list, show, export, yield).
void AddProductionCommands(CLI::App& app, CommandContext& context, int& exit_code);

}  // namespace cw::cli
