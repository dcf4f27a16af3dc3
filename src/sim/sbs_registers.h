#pragma once

#include <cstdint>
#include <optional>

#include "common/bytes.h"
#include "sim/gauge_state.h"
#include "sim/pack_measurements.h"

// The smart-battery data registers: words computed from the measurements, the host-writable
// settings and the identity kept in data flash (subclass 0x30), so an edit there shows in the scan.
namespace cw::sim {

// Word value of `command`, or nullopt when the gauge has no word register there.
std::optional<std::uint16_t> SbsWord(std::uint8_t command, const GaugeState& state,
                                     const PackMeasurements& measurements);

// Data bytes (without count) of the string and data blocks 0x20-0x23, or nullopt.
std::optional<common::Bytes> SbsBlock(std::uint8_t command, const GaugeState& state);

// Registers a host may write with a word write, and the write itself.
bool IsWritableSbsWord(std::uint8_t command);
void WriteSbsWord(std::uint8_t command, std::uint16_t value, SbsSettings& settings);

}  // namespace cw::sim
