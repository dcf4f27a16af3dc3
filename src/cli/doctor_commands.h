#pragma once

#include <CLI/CLI.hpp>

#include "cli/command_context.h"

namespace cw::cli {

// doctor: what an engineer needs to know when the adapter does not open.
void AddDoctorCommands(CLI::App& app, CommandContext& context, int& exit_code);

}  // namespace cw::cli
