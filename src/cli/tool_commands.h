#pragma once

#include <CLI/CLI.hpp>

#include "cli/command_context.h"

namespace cw::cli {

// subcmd, seal, unseal, auth: the SubCMD panel and the SHA-1 authentication window.
void AddToolCommands(CLI::App& app, CommandContext& context, int& exit_code);

}  // namespace cw::cli
