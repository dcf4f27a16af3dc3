#include "production/verify_masks.h"

#include <algorithm>

#include "dataflash/fresh_pack.h"
#include "dataflash/parameter_table.h"
#include "production/recipe_values.h"

namespace cw::production {

std::span<const std::string_view> MaskParameters(VerifyMask mask) {
  switch (mask) {
    case VerifyMask::kCalibration:
      return dataflash::PackGroupParameters(dataflash::PackGroup::kCalibration);
    case VerifyMask::kSerial:
      return dataflash::PackGroupParameters(dataflash::PackGroup::kSerial);
    case VerifyMask::kDate:
      return dataflash::PackGroupParameters(dataflash::PackGroup::kDate);
    case VerifyMask::kLifetime:
      // The gauge counts these from the moment it has power, so a pack on the station may
      // already have moved them.
      return dataflash::PackGroupParameters(dataflash::PackGroup::kLifetime);
  }
  return {};
}

std::vector<std::string_view> MaskedNames(const Recipe& recipe) {
  std::vector<std::string_view> names;
  if (!recipe.verify) return names;
  for (const VerifyMask mask : recipe.verify->masks) {
    const auto parameters = MaskParameters(mask);
    names.insert(names.end(), parameters.begin(), parameters.end());
    if (mask == VerifyMask::kSerial && recipe.serial) {
      if (const dataflash::ParamDef* row = SerialParameter(*recipe.serial)) {
        names.push_back(row->name);
      }
    }
  }
  return names;
}

std::vector<dataflash::KeyDifference> VerifyDifferences(const dataflash::AfiValues& golden,
                                                        const dataflash::AfiValues& gauge,
                                                        const dataflash::FlashImage& gauge_image,
                                                        std::span<const std::string_view> masked) {
  std::vector<dataflash::KeyDifference> differences =
      dataflash::DiffKeys(golden, gauge, gauge_image);
  std::erase_if(differences, [&](const dataflash::KeyDifference& difference) {
    return std::ranges::find(masked, std::string_view(difference.key)) != masked.end();
  });
  return differences;
}

}  // namespace cw::production
