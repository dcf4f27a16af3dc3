#pragma once

#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/product_constants.h"
#include "dataflash/afi_file.h"
#include "production/recipe.h"

namespace cw::production {

// A recipe whose files were read, matched the SHA-256 the recipe holds for them, and were found
// usable by the product's own readers: what a station runs. The file bytes are kept, so that a
// station programs exactly what was hashed, never a file changed on disk since.
struct PreparedRecipe {
  Recipe recipe;
  common::Bytes firmware;   // the image or the update script; empty without a firmware step
  common::Bytes constants;  // the golden .afi or the constants script
  // The golden constants the verify step compares with.
  std::optional<dataflash::AfiValues> golden;
  std::string label_template;  // the hand-off's label; empty without one
};

// Reads every file of `recipe` and checks it: its SHA-256 against the recipe's (a file that
// changed is named), an image by the firmware tool's checks (`constants.record_mask`), an .afi
// by the constants file reader (every key present and taken), an FS script by the script
// checker. Every problem is reported, at the line that names the file.
std::expected<PreparedRecipe, RecipeProblems> PrepareRecipe(
    Recipe recipe, const common::ProductConstants& constants);

// Why a recipe cannot run: every problem, and the recipe as read when only its files failed
// (its name and SHA-256 are still worth showing).
struct RecipeRefusal {
  std::optional<Recipe> recipe;
  RecipeProblems problems;
};

using RecipeReading = std::expected<std::shared_ptr<const PreparedRecipe>, RecipeRefusal>;

// The recipe at `path` read (LoadRecipe) and prepared: what a station runs.
RecipeReading LoadPreparedRecipe(const std::filesystem::path& path,
                                 const common::ProductConstants& constants);

}  // namespace cw::production
