#pragma once

#include <cstdint>
#include <string>

#include "link/command_codes.h"

// The boot loader's status word (command 0x47) as the firmware window explains it.
namespace cw::firmware {

inline constexpr std::uint16_t kStatusCommandRejected = 0x8000;
inline constexpr std::uint16_t kStatusDataLoss = 0x4000;
inline constexpr std::uint16_t kStatusPecError = 0x2000;
inline constexpr std::uint16_t kStatusChecksumError = 0x1000;
inline constexpr std::uint16_t kStatusEraseError = 0x0800;
inline constexpr std::uint16_t kStatusBlankError = 0x0400;
inline constexpr std::uint16_t kStatusProgramError = 0x0200;
inline constexpr std::uint16_t kStatusUpdateMode = link::kIspStatusUpdateMode;
inline constexpr std::uint16_t kStatusBusy = 0x0001;

// Bits a record earns when it was spoilt or lost on its way, not by what it says: sending the
// image again may well go through.
inline constexpr std::uint16_t kStatusTransferFaults =
    kStatusDataLoss | kStatusPecError | kStatusChecksumError;

// "Error: 1180 (checksum error)": the word in four hex digits and the bits that explain it;
// "(not in update mode)" when no error bit is set and the loader is not in update mode.
std::string StatusErrorText(std::uint16_t status);

}  // namespace cw::firmware
