#include "dataflash/fresh_pack.h"

#include <algorithm>

namespace cw::dataflash {
namespace {

constexpr std::size_t CountOf(PackGroup group) {
  return static_cast<std::size_t>(std::ranges::count(kFreshPack, group, &FreshValue::group));
}

template <PackGroup kGroup>
constexpr std::array<std::string_view, CountOf(kGroup)> NamesOf() {
  std::array<std::string_view, CountOf(kGroup)> names{};
  std::size_t next = 0;
  for (const FreshValue& value : kFreshPack) {
    if (value.group == kGroup) names[next++] = value.name;
  }
  return names;
}

constexpr bool EveryNameAParameter() {
  return std::ranges::all_of(kFreshPack, [](const FreshValue& value) {
    return FindParam(value.name).has_value() &&
           (value.same_as.empty() || FindParam(value.same_as).has_value());
  });
}
static_assert(EveryNameAParameter());

constexpr auto kLifetimeNames = NamesOf<PackGroup::kLifetime>();
constexpr auto kLearnedNames = NamesOf<PackGroup::kLearned>();
constexpr auto kCalibrationNames = NamesOf<PackGroup::kCalibration>();
constexpr auto kSerialNames = NamesOf<PackGroup::kSerial>();
constexpr auto kDateNames = NamesOf<PackGroup::kDate>();
constexpr auto kUpdateStatusNames = NamesOf<PackGroup::kUpdateStatus>();

}  // namespace

std::string_view PackGroupName(PackGroup group) {
  switch (group) {
    case PackGroup::kLifetime:
      return "lifetime";
    case PackGroup::kLearned:
      return "learned";
    case PackGroup::kCalibration:
      return "calibration";
    case PackGroup::kSerial:
      return "serial";
    case PackGroup::kDate:
      return "date";
    case PackGroup::kUpdateStatus:
      return "update status";
  }
  return {};
}

std::span<const std::string_view> PackGroupParameters(PackGroup group) {
  switch (group) {
    case PackGroup::kLifetime:
      return kLifetimeNames;
    case PackGroup::kLearned:
      return kLearnedNames;
    case PackGroup::kCalibration:
      return kCalibrationNames;
    case PackGroup::kSerial:
      return kSerialNames;
    case PackGroup::kDate:
      return kDateNames;
    case PackGroup::kUpdateStatus:
      return kUpdateStatusNames;
  }
  return {};
}

}  // namespace cw::dataflash
