#pragma once

#include <cstdint>
#include <string_view>

#include "monitor/register_table.h"

namespace cw::presentation {

// The gauge's security state from Operation Status as the scan last read it: SS (bit 14) set is
// sealed; FAS (bit 15) alone is unsealed; neither is full access. Shown beside the charge gauge
// so that an engineer sees why a write is refused before trying one.
enum class SealState { kUnknown, kSealed, kUnsealed, kFullAccess };

SealState SealStateOf(std::uint16_t operation_status);
// Unknown while Operation Status has not been read (it is not scanned, or its read failed).
SealState SealStateOf(const monitor::RegisterTable& table);
std::string_view SealStateText(SealState state);

}  // namespace cw::presentation
