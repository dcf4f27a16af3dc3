#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/command_context.h"
#include "production/prepared_recipe.h"

namespace cw::cli {

// station: production recipes (station check). records: what the stations kept of every pack
// (list, show, export, yield).
void AddProductionCommands(CLI::App& app, CommandContext& context, int& exit_code);

// The recipe at `path` read and its files checked, as station check and station run both take
// it; nothing after printing every problem at its line on stderr.
std::shared_ptr<const production::PreparedRecipe> ReadyRecipe(
    const std::string& path, const common::ProductConstants& constants);

}  // namespace cw::cli
