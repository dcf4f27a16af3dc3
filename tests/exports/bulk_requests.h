#pragma once

#include <array>
#include <cstdint>

#include "cwpipes.h"

// Request packets as a client of the pipe library writes them: from the constants of its public
// header, so the tests check the adapter against what the header promises.
namespace cw::exports::testing {

using Packet = std::array<std::uint8_t, CWPIPES_PACKET_SIZE>;

Packet ReadRequest(std::uint8_t command, std::uint8_t count);
// A word write with its PEC.
Packet WriteWordRequest(std::uint8_t command, std::uint16_t word);

}  // namespace cw::exports::testing
