#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/bytes.h"

// The 32-byte records a firmware image is made of, and the two memories they carry.
namespace cw::firmware {

inline constexpr std::size_t kRecordSize = 32;
// Bytes 0-30 carry the record; byte 31 is their sum.
inline constexpr std::size_t kRecordBodySize = kRecordSize - 1;
inline constexpr std::size_t kMaxDataBytes = 24;
inline constexpr std::size_t kDataOffset = 7;

inline constexpr std::uint8_t kTypeSetup = 0xFB;
inline constexpr std::uint8_t kTypeCopy = 0xFC;
inline constexpr std::uint8_t kTypeData = 0xFD;
inline constexpr std::uint8_t kTypeErase = 0xFE;

inline constexpr std::uint8_t kSpaceCode = 0;
inline constexpr std::uint8_t kSpaceData = 1;

inline constexpr std::size_t kCodeImageSize = 0x10000;
inline constexpr std::size_t kDataAreaSize = 0x400;
// Only code below the boot loader travels in a stream.
inline constexpr std::size_t kStreamedCodeSize = 0xFC00;
// Filled on the gauge from its own 0xFFFE-0xFFFF, so a stream never carries them.
inline constexpr std::uint16_t kCopiedCodeAddress = 0xF7CE;
// The three algorithm subclasses whose data-flash addresses lie in code flash.
inline constexpr std::uint16_t kCodeParameterArea = 0xF800;
inline constexpr std::size_t kCodeParameterAreaSize = 0x400;

using CodeImage = std::array<std::uint8_t, kCodeImageSize>;
using DataAreaImage = std::array<std::uint8_t, kDataAreaSize>;
using ImageRecord = std::array<std::uint8_t, kRecordSize>;

// A plain record with its fixed fields; the remaining bytes are zero.
ImageRecord MakeRecord(std::uint16_t sequence, std::uint8_t type, std::uint16_t address,
                       std::uint8_t space, std::uint8_t count);

// Rotates bytes 0-30 right by one and mixes in the mask, then sets byte 31 to their sum.
void ScrambleRecord(ImageRecord& record, std::uint8_t record_mask);
// The inverse on bytes 0-30; byte 31 is left as it is.
void UnscrambleRecord(std::span<std::uint8_t, kRecordSize> record, std::uint8_t record_mask);
inline void UnscrambleRecord(ImageRecord& record, std::uint8_t record_mask) {
  UnscrambleRecord(std::span<std::uint8_t, kRecordSize>(record), record_mask);
}

std::uint8_t RecordSum(common::ByteView body);

}  // namespace cw::firmware
