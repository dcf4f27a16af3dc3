#include "sim/boot_loader.h"

#include <algorithm>
#include <optional>

namespace cw::sim::boot {
namespace {

constexpr std::uint8_t RotateLeft1(std::uint8_t value) {
  return static_cast<std::uint8_t>((value << 1) | (value >> 7));
}

std::uint16_t BigEndian(std::uint8_t high, std::uint8_t low) {
  return static_cast<std::uint16_t>((high << 8) | low);
}

std::optional<FlashSpace> SpaceOf(std::uint8_t byte) {
  if (byte == 0) return FlashSpace::kCode;
  if (byte == 1) return FlashSpace::kData;
  return std::nullopt;
}

// Carries out one unscrambled record; returns the error bits it earns.
std::uint16_t Execute(const std::array<std::uint8_t, kRecordLength - 1>& plain,
                      GaugeMemory& memory) {
  switch (plain[2]) {
    case kTypeData: {
      const std::uint16_t address = BigEndian(plain[3], plain[4]);
      const auto space = SpaceOf(plain[5]);
      const std::size_t count = plain[6];
      if (!space || count == 0 || count > kMaxDataRecordCount) return kCommandRejected;
      if (!memory.Writable(*space, address, count)) return kProgramError;
      std::copy_n(plain.begin() + 7, count, memory.Space(*space).begin() + address);
      return 0;
    }
    case kTypeCopy: {
      const std::uint16_t source = BigEndian(plain[3], plain[4]);
      const auto source_space = SpaceOf(plain[5]);
      const std::uint16_t destination = BigEndian(plain[6], plain[7]);
      const auto destination_space = SpaceOf(plain[8]);
      const std::size_t count = plain[9];
      if (!source_space || !destination_space || count == 0) return kCommandRejected;
      // The loader may read its own area (the stream copies 0xFFFE-0xFFFF) but never write it.
      const auto from = memory.Space(*source_space);
      if (source > from.size() || count > from.size() - source) return kCommandRejected;
      if (!memory.Writable(*destination_space, destination, count)) return kProgramError;
      const common::Bytes bytes(from.begin() + source, from.begin() + source + count);
      std::copy(bytes.begin(), bytes.end(), memory.Space(*destination_space).begin() + destination);
      return 0;
    }
    case kTypeSetup:
    case kTypeErase:
      // Programming set-up and sector preparation; data records overwrite whole ranges anyway.
      return 0;
    default:
      return kCommandRejected;
  }
}

}  // namespace

void Command(BootLoaderState& state, std::uint16_t word, bool sealed, bool stuck) {
  switch (word) {
    case kEnter:
      if (state.mode == BootMode::kNormal && sealed) {
        state.status = kCommandRejected;
        return;
      }
      state = BootLoaderState{.mode = BootMode::kHandshake, .status = kUpdateSupported};
      return;
    case kConfirm:
      if (state.mode == BootMode::kNormal) {
        state.status |= kCommandRejected;
        return;
      }
      state.mode = BootMode::kUpdate;
      state.status = kReady;
      state.next_sequence = 0;
      return;
    case kLeave:
      if (state.mode != BootMode::kNormal && !stuck) state = BootLoaderState{};
      return;
    default:
      state.status |= kCommandRejected;
      return;
  }
}

common::Millis Record(BootLoaderState& state, GaugeMemory& memory, common::ByteView record,
                      std::uint8_t record_mask, const BootTiming& timing) {
  if (state.mode != BootMode::kUpdate || record.size() != kRecordLength) {
    state.status |= kCommandRejected;
    return timing.record;
  }
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i + 1 < kRecordLength; ++i)
    sum = static_cast<std::uint8_t>(sum + record[i]);
  if (sum != record[kRecordLength - 1]) {
    state.status |= kChecksumError;
    return timing.record;
  }
  const auto plain = Unscramble(record, record_mask);
  // A record out of order means one went missing; carrying on would leave a hole in the image.
  if (BigEndian(plain[0], plain[1]) != state.next_sequence) {
    state.status |= kDataLossError;
    return timing.record;
  }
  ++state.next_sequence;
  const std::uint16_t errors = Execute(plain, memory);
  state.status |= errors;
  return plain[2] == kTypeErase && errors == 0 ? timing.erase : timing.record;
}

std::uint16_t PollStatus(const BootLoaderState& state, bool busy) {
  return busy ? static_cast<std::uint16_t>(state.status | kBusy) : state.status;
}

std::array<std::uint8_t, kRecordLength - 1> Unscramble(common::ByteView record,
                                                       std::uint8_t record_mask) {
  std::array<std::uint8_t, kRecordLength - 1> plain{};
  for (std::size_t i = 0; i < plain.size() && i < record.size(); ++i) {
    plain[i] = RotateLeft1(static_cast<std::uint8_t>(record[i] ^ record_mask));
  }
  return plain;
}

}  // namespace cw::sim::boot
