#include "production/verify_masks.h"

#include <algorithm>
#include <array>

#include "dataflash/parameter_table.h"
#include "production/recipe_values.h"

namespace cw::production {
namespace {

// What the calibration commands change: the voltage gains, the current gain, the board offset
// and the temperature offsets.
constexpr std::array<std::string_view, 11> kCalibrationNames = {"CC Gain",
                                                                "Cell1 Voltage Gain",
                                                                "Cell2 Voltage Gain",
                                                                "Cell3 Voltage Gain",
                                                                "Cell4 Voltage Gain",
                                                                "AFE Pack Gain",
                                                                "Board Offset",
                                                                "Ext1 Temp Offset",
                                                                "Ext2 Temp Offset",
                                                                "Ext3 Temp Offset",
                                                                "Ext4 Temp Offset"};

constexpr std::array<std::string_view, 1> kSerialNames = {"Serial Number"};
constexpr std::array<std::string_view, 1> kDateNames = {"Manuf Date"};

// The cycle count and every lifetime record (subclass 0x34): the gauge counts them from the
// moment it has power, so a pack on the station may already have moved them.
constexpr std::array<std::string_view, 46> kLifetimeNames = {
    "Cycle Count",           "Total Usage Time",       "SM1 Continuous Time",
    "SM2 Continuous Time",   "SM3 Continuous Time",    "Cell1 Max Voltage",
    "Cell2 Max Voltage",     "Cell3 Max Voltage",      "Cell4 Max Voltage",
    "Cell1 Min Voltage",     "Cell2 Min Voltage",      "Cell3 Min Voltage",
    "Cell4 Min Voltage",     "Max Delta Cell Voltage", "Max Charge Current",
    "Max Discharge Current", "Max Avg Dsg Current",    "Max Avg Dsg Power",
    "Max Cell Temperature",  "Min Cell Temperature",   "Max Delta Cell Temp",
    "Max FET Temperature",   "No Of COV Events",       "Last COV Event",
    "No Of CUV Events",      "Last CUV Event",         "No Of OCD1 Events",
    "Last OCD1 Event",       "No Of OCD2 Events",      "Last OCD2 Event",
    "No Of OCC1 Events",     "Last OCC1 Event",        "No Of OCC2 Events",
    "Last OCC2 Event",       "No Of AOCD Events",      "Last AOCD Event",
    "No Of SCD Events",      "Last SCD Event",         "No Of SCC Events",
    "Last SCC Event",        "No Of OTC Events",       "Last OTC Event",
    "No Of OTD Events",      "Last OTD Event",         "No Of OTF Events",
    "Last OTF Event"};

template <std::size_t N>
constexpr bool AllParameters(const std::array<std::string_view, N>& names) {
  return std::ranges::all_of(
      names, [](std::string_view name) { return dataflash::FindParam(name).has_value(); });
}
static_assert(AllParameters(kCalibrationNames) && AllParameters(kSerialNames) &&
              AllParameters(kDateNames) && AllParameters(kLifetimeNames));

}  // namespace

std::span<const std::string_view> MaskParameters(VerifyMask mask) {
  switch (mask) {
    case VerifyMask::kCalibration:
      return kCalibrationNames;
    case VerifyMask::kSerial:
      return kSerialNames;
    case VerifyMask::kDate:
      return kDateNames;
    case VerifyMask::kLifetime:
      return kLifetimeNames;
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
