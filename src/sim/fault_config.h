#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace cw::sim {

// Faults the simulated pack injects, chosen per test or on the command line. Every choice is
// deterministic: the same configuration and the same traffic give the same faults.
struct FaultConfig {
  int nack_every = 0;             // NACK every n-th bus transaction; 0 = never
  double nack_probability = 0.0;  // NACK each transaction with this chance (seeded)
  std::uint32_t seed = 0;         // seed of the generator behind nack_probability
  int corrupt_pec_every = 0;      // spoil the PEC of every n-th reply that carries one; 0 = never
  // Unplug every adapter of the pack after n USB exchanges in all (HID sets and gets, bulk,
  // interrupt and control transfers, serial-number reads); 0 = never. Plugging back in starts
  // the count again.
  int drop_after_exchanges = 0;
  bool short_replies = false;         // block replies announce one byte fewer than they carry
  bool oversized_replies = false;     // block replies announce 0xFF bytes
  bool stuck_in_boot_loader = false;  // the boot loader ignores the command to leave it
  std::uint32_t safety_alarm = 0;     // Safety Status bits raised at power-up; 0 = none

  bool operator==(const FaultConfig&) const = default;
};

// Parses the device-string form "nack-every=7,seed=1,corrupt-pec-every=5,drop-after=100,
// short-replies,oversized-replies,stuck-boot,nack-probability=0.1,safety-alarm=0002". An empty text
// is no fault.
std::expected<FaultConfig, std::string> ParseFaults(std::string_view text);

}  // namespace cw::sim
