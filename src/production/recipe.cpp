#include "production/recipe.h"

namespace cw::production {
namespace {

template <typename Step>
const StepCommon* CommonOf(const std::optional<Step>& step) {
  return step ? &*step : nullptr;
}

// The step's common part, null when the recipe does not name the step.
const StepCommon* FindCommon(const Recipe& recipe, StepKind kind) {
  switch (kind) {
    case StepKind::kFirmware:
      return CommonOf(recipe.firmware);
    case StepKind::kConstants:
      return CommonOf(recipe.constants);
    case StepKind::kCalibrate:
      return CommonOf(recipe.calibrate);
    case StepKind::kSerial:
      return CommonOf(recipe.serial);
    case StepKind::kDate:
      return CommonOf(recipe.date);
    case StepKind::kVerify:
      return CommonOf(recipe.verify);
    case StepKind::kCheck:
      return CommonOf(recipe.check);
    case StepKind::kSeal:
      return CommonOf(recipe.seal);
  }
  return nullptr;
}

}  // namespace

const StepCommon& Recipe::Common(StepKind kind) const {
  static const StepCommon kAbsent;
  const StepCommon* common = FindCommon(*this, kind);
  return common != nullptr ? *common : kAbsent;
}

std::vector<StepKind> Recipe::Steps() const {
  std::vector<StepKind> steps;
  for (std::size_t i = 0; i < kStepNames.size(); ++i) {
    const auto kind = static_cast<StepKind>(i);
    if (FindCommon(*this, kind) != nullptr) steps.push_back(kind);
  }
  return steps;
}

std::vector<const RecipeFile*> Recipe::Files() const {
  std::vector<const RecipeFile*> files;
  if (firmware) files.push_back(&firmware->file);
  if (constants) files.push_back(&constants->file);
  if (verify && verify->golden) files.push_back(&*verify->golden);
  if (handoff && handoff->label) files.push_back(&*handoff->label);
  return files;
}

}  // namespace cw::production
