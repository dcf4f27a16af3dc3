#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>

#include "cli/command_context.h"
#include "production/prepared_recipe.h"
#include "production/records_store.h"

namespace cw::cli {

// station: production recipes (station check). records: what the stations kept of every pack
// (list, show, export, yield).
void AddProductionCommands(CLI::App& app, CommandContext& context, int& exit_code);

// The recipe at `path` read and its files checked, as station check and station run both take
// it; nothing after printing every problem at its line on stderr.
std::optional<production::PreparedRecipe> ReadyRecipe(const std::string& path,
                                                      const common::ProductConstants& constants);

// The records at `location`, or in the user's data folder when it is empty (the simulated packs'
// own file there for `simulated`).
production::StoreResult<std::unique_ptr<production::RecordsStore>> OpenRecordsAt(
    std::string location, production::OpenMode mode, bool simulated);

}  // namespace cw::cli
