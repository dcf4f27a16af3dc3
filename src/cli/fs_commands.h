#pragma once

#include <CLI/CLI.hpp>

#include "cli/command_context.h"

namespace cw::cli {

// fs check FILE, fs play FILE [--dry-run]
void AddFsCommands(CLI::App& app, CommandContext& context, int& exit_code);

}  // namespace cw::cli
