#pragma once

#include <cstdint>
#include <optional>

#include "common/clock.h"
#include "sim/gauge_state.h"

namespace cw::sim {

// Recognises the 32-bit keys that a host enters as two ManufacturerAccess words, low word
// first: the unseal key opens a sealed gauge, the full-access key an unsealed one. Every word
// still runs as an ordinary subcommand unless it completes a key, so a low key word that happens
// to be a subcommand code behaves as that subcommand too.
class KeyEntry {
 public:
  // The second word must follow the first within this time, as on the real part.
  static constexpr common::Millis kWindow{4000};

  // Returns true when `word` completed a key and changed the seal state.
  bool Offer(std::uint16_t word, common::Millis now, GaugeState& state);
  void Reset() { first_word_.reset(); }

 private:
  std::optional<std::uint16_t> first_word_;
  common::Millis first_time_{0};
};

}  // namespace cw::sim
