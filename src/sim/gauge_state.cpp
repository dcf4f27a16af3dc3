#include "sim/gauge_state.h"

namespace cw::sim {

std::uint16_t OperationStatus(const GaugeState& state) {
  std::uint16_t status = state.operation_flags;
  if (state.pf_status != 0) status |= kOpPf;
  // Tripped protection holds both FETs off.
  if (state.safety_status != 0 || state.pf_status != 0) status |= kOpXdsg | kOpXchg;
  switch (state.seal) {
    case SealState::kSealed:
      status |= kOpFas | kOpSs | kOpSealedExport;
      break;
    case SealState::kUnsealed:
      status |= kOpFas;
      break;
    case SealState::kFullAccess:
      break;
  }
  return status;
}

}  // namespace cw::sim
