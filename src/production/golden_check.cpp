#include "production/golden_check.h"

#include <string_view>

#include "firmware/firmware_image.h"
#include "firmware/image_constants.h"

namespace cw::production {

std::vector<GoldenFileFindings> LintRecipeFiles(const PreparedRecipe& prepared,
                                                std::uint8_t record_mask) {
  std::vector<GoldenFileFindings> files;
  const auto add = [&files](const RecipeFile& file, const dataflash::AfiValues& values) {
    auto findings = dataflash::LintGolden(values);
    if (!findings.empty()) files.push_back({file.path, std::move(findings)});
  };
  const Recipe& recipe = prepared.recipe;
  if (recipe.constants && !recipe.constants->script) {
    // The bytes were read and found a usable .afi when the recipe was prepared.
    const std::string_view text(reinterpret_cast<const char*>(prepared.constants.data()),
                                prepared.constants.size());
    if (const auto reader = dataflash::AfiReader::FromText(text)) {
      add(recipe.constants->file, dataflash::ReadAfiValues(*reader));
    }
  }
  if (recipe.firmware && !recipe.firmware->script && !prepared.firmware.empty()) {
    if (const auto images = firmware::ExtractImages(prepared.firmware, record_mask)) {
      add(recipe.firmware->file, firmware::ImageConstantValues(*images));
    }
  }
  return files;
}

}  // namespace cw::production
