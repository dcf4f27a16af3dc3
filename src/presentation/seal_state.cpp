#include "presentation/seal_state.h"

#include "presentation/messages.h"

namespace cw::presentation {
namespace {

constexpr std::uint16_t kFullAccessSecurity = 0x8000;  // FAS
constexpr std::uint16_t kSealedSecurity = 0x4000;      // SS
constexpr std::string_view kOperationStatus = "Operation Status";

}  // namespace

SealState SealStateOf(std::uint16_t operation_status) {
  if ((operation_status & kSealedSecurity) != 0) return SealState::kSealed;
  if ((operation_status & kFullAccessSecurity) != 0) return SealState::kUnsealed;
  return SealState::kFullAccess;
}

SealState SealStateOf(const monitor::RegisterTable& table) {
  const monitor::SbsRegisterDef* row = table.FindRow(kOperationStatus);
  if (row == nullptr || row->raw_value < 0 || row->raw_value > 0xFFFF) return SealState::kUnknown;
  return SealStateOf(static_cast<std::uint16_t>(row->raw_value));
}

std::string_view SealStateText(SealState state) {
  switch (state) {
    case SealState::kSealed:
      return messages::kSealed;
    case SealState::kUnsealed:
      return messages::kUnsealed;
    case SealState::kFullAccess:
      return messages::kFullAccess;
    case SealState::kUnknown:
      break;
  }
  return "Seal: scan Operation Status";
}

}  // namespace cw::presentation
