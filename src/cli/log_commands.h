#pragma once

#include <CLI/CLI.hpp>

#include "cli/command_context.h"

namespace cw::cli {

// `log summary FILE`: a data log the product wrote, summed up. Added under the `log` command.
CLI::App* AddLogSummaryCommand(CLI::App& log, CommandContext& context, int& exit_code);

}  // namespace cw::cli
