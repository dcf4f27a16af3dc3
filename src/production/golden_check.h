#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "dataflash/golden_lint.h"
#include "production/prepared_recipe.h"

// What a recipe's files would write into every pack of their own besides the constants meant for
// all: the golden .afi of the constants step and the constants inside the firmware step's image,
// linted against a fresh pack. A line may mean to carry such a value, so the station check warns
// and runs all the same.
namespace cw::production {

struct GoldenFileFindings {
  std::filesystem::path file;  // as the recipe writes it
  std::vector<dataflash::LintFinding> findings;
};

// The files of `prepared` with findings, the constants step's first; FS scripts are not linted.
std::vector<GoldenFileFindings> LintRecipeFiles(const PreparedRecipe& prepared,
                                                std::uint8_t record_mask);

}  // namespace cw::production
