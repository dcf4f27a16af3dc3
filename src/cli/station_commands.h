#pragma once

#include <CLI/CLI.hpp>

#include "cli/command_context.h"

namespace cw::cli {

// station run: a recipe on the pack behind every adapter (or those named) at once, with a live
// line per adapter, until every pack is done (or, with --loop, until Ctrl-C).
void AddStationRunCommand(CLI::App& station, CommandContext& context, int& exit_code);

}  // namespace cw::cli
