#pragma once

#include <array>
#include <cstdint>

#include "common/bytes.h"
#include "sim/gauge_memory.h"
#include "sim/gauge_state.h"

// The gauge's boot loader: the 0x47 handshake and status word, and the 0x48 firmware records.
namespace cw::sim::boot {

// UpdateStatus bits.
inline constexpr std::uint16_t kBusy = 0x0001;
inline constexpr std::uint16_t kUpdateSupported = 0x0080;
inline constexpr std::uint16_t kUpdateMode = 0x0100;
inline constexpr std::uint16_t kProgramError = 0x0200;
inline constexpr std::uint16_t kChecksumError = 0x1000;
inline constexpr std::uint16_t kPecError = 0x2000;
inline constexpr std::uint16_t kDataLossError = 0x4000;
inline constexpr std::uint16_t kCommandRejected = 0x8000;
inline constexpr std::uint16_t kReady = kUpdateMode | kUpdateSupported;

// Words written to 0x47.
inline constexpr std::uint16_t kEnter = 0xF100;
inline constexpr std::uint16_t kConfirm = 0xF200;
inline constexpr std::uint16_t kLeave = 0xFF00;

inline constexpr std::size_t kRecordLength = 32;
inline constexpr std::size_t kMaxDataRecordCount = 24;

// Record types.
inline constexpr std::uint8_t kTypeCopy = 0xFC;
inline constexpr std::uint8_t kTypeData = 0xFD;
inline constexpr std::uint8_t kTypeSetup = 0xFB;
inline constexpr std::uint8_t kTypeErase = 0xFE;

inline bool Running(const BootLoaderState& state) { return state.mode != BootMode::kNormal; }

// A word written to 0x47. A sealed gauge refuses to start the boot loader; `stuck` keeps it
// from leaving (fault injection).
void Command(BootLoaderState& state, std::uint16_t word, bool sealed, bool stuck);

// The data of a 0x48 block write (without its count byte). The gauge is busy for `busy_polls`
// status reads afterwards, whatever the outcome.
void Record(BootLoaderState& state, GaugeMemory& memory, common::ByteView record,
            std::uint8_t record_mask, int busy_polls);

// One status read of 0x47.
std::uint16_t PollStatus(BootLoaderState& state);

// Bytes 0-30 of a record as the image builder wrote them, before scrambling.
std::array<std::uint8_t, kRecordLength - 1> Unscramble(common::ByteView record,
                                                       std::uint8_t record_mask);

}  // namespace cw::sim::boot
