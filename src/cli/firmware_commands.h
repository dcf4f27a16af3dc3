#pragma once

#include <CLI/CLI.hpp>

#include "cli/command_context.h"

namespace cw::cli {

void AddFirmwareCommands(CLI::App& app, CommandContext& context, int& exit_code);

}  // namespace cw::cli
