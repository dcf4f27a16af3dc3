#pragma once

#include <CLI/CLI.hpp>

#include "cli/command_context.h"

namespace cw::cli {

// pec, probe, read-word, mba, watch: the adapter and the raw SMBus transactions.
void AddLinkCommands(CLI::App& app, CommandContext& context, int& exit_code);

}  // namespace cw::cli
