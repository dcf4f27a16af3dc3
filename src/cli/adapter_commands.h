#pragma once

#include <CLI/CLI.hpp>

#include "cli/command_context.h"

namespace cw::cli {

// adapters: every adapter attached (or every simulated one), and the device string that picks it.
void AddAdapterCommands(CLI::App& app, CommandContext& context, int& exit_code);

}  // namespace cw::cli
