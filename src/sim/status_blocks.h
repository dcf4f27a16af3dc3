#pragma once

#include <cstdint>
#include <optional>

#include "common/bytes.h"
#include "common/clock.h"
#include "sim/gauge_state.h"
#include "sim/pack_measurements.h"

// Replies of ManufacturerBlockAccess (0x44) subcommands and of the status blocks that can also
// be read directly as SMBus blocks. Words are little-endian, as the host reads them.
namespace cw::sim {

// Data bytes a 0x44 read returns after subcommand `code` was written; empty for subcommands that
// return nothing (write-type ones, unknown ones, and the key read-out below full access).
common::Bytes SubcommandData(std::uint16_t code, const GaugeState& state,
                             const PackMeasurements& measurements, common::Millis run_time);

// Data of a status block read directly by its command code, or nullopt for other commands.
std::optional<common::Bytes> DirectStatusBlock(std::uint8_t command, const GaugeState& state,
                                               const PackMeasurements& measurements,
                                               common::Millis run_time);

}  // namespace cw::sim
