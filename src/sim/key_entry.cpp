#include "sim/key_entry.h"

namespace cw::sim {

bool KeyEntry::Offer(std::uint16_t word, common::Millis now, GaugeState& state) {
  if (first_word_ && now - first_time_ <= kWindow) {
    const std::uint32_t key = (static_cast<std::uint32_t>(word) << 16) | *first_word_;
    first_word_.reset();
    if (state.seal == SealState::kSealed && key == state.unseal_key) {
      state.seal = SealState::kUnsealed;
      return true;
    }
    // Full access is one step further: from sealed, the full-access key alone does nothing.
    if (state.seal == SealState::kUnsealed && key == state.full_access_key) {
      state.seal = SealState::kFullAccess;
      return true;
    }
  }
  first_word_ = word;
  first_time_ = now;
  return false;
}

}  // namespace cw::sim
