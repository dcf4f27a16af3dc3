#pragma once

#include <array>
#include <cstdint>

#include "common/bytes.h"
#include "common/clock.h"
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

// How long the boot loader is busy after a 0x48 record before its status reads ready again. A
// host waits 5 ms before its first status read of a record (HID; on bulk the adapter's 8 ms
// turnaround comes first), so a record is programmed well within that and is ready at the first
// read, as on a real gauge. A sector erase takes longer than any first wait; the host's 49 reads
// (at least 245 ms on HID) cover it many times over.
struct BootTiming {
  common::Millis record{2};  // check and program up to 24 bytes, or copy 32
  common::Millis erase{20};  // erase one flash sector
};

inline bool Running(const BootLoaderState& state) { return state.mode != BootMode::kNormal; }

// A word written to 0x47. A sealed gauge refuses to start the boot loader; `stuck` keeps it
// from leaving (fault injection).
void Command(BootLoaderState& state, std::uint16_t word, bool sealed, bool stuck);

// The data of a 0x48 block write (without its count byte). Returns how long the loader is busy
// with it: an erase it carries out takes `timing.erase`, anything else (a refused record too)
// `timing.record`.
common::Millis Record(BootLoaderState& state, GaugeMemory& memory, common::ByteView record,
                      std::uint8_t record_mask, const BootTiming& timing);

// One status read of 0x47 while the loader is, or is not, still busy with the last record.
std::uint16_t PollStatus(const BootLoaderState& state, bool busy);

// Bytes 0-30 of a record as the image builder wrote them, before scrambling.
std::array<std::uint8_t, kRecordLength - 1> Unscramble(common::ByteView record,
                                                       std::uint8_t record_mask);

}  // namespace cw::sim::boot
