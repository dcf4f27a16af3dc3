#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/hid_backend.h"

// Report layouts of the HID adapter, shared by its protocol and the simulated adapter.
namespace cw::link::hid {

inline constexpr std::uint16_t kUsagePage = 0xFF00;

// One collection per usage; each usage is also the id of the feature report it carries.
// The slot order is the order of the adapter's collection handles.
inline constexpr std::array<std::uint8_t, 13> kUsageTable = {1,  2, 3,  4,  5,  6, 15,
                                                             14, 9, 10, 11, 12, 13};

inline constexpr std::uint8_t kShortHeaderId = 1;  // 8-byte request header
inline constexpr std::uint8_t kLongHeaderId = 2;   // 16-byte request header
inline constexpr std::uint8_t kAdapterCommandId = 10;
inline constexpr std::size_t kShortHeaderLength = 8;
inline constexpr std::size_t kLongHeaderLength = 16;
inline constexpr std::size_t kAdapterCommandLength = 8;
inline constexpr std::size_t kMaxReportLength = 48;

// Adapter commands carried in byte 2 of report 10.
inline constexpr std::uint8_t kAdapterFetchStatus = 1;
inline constexpr std::uint8_t kAdapterReadVersion = 2;

// Read count meaning "the gauge's count byte gives the length".
inline constexpr std::uint8_t kBlockLengthFromGauge = 255;

inline constexpr std::uint8_t kWriteAddress = 0x16;
inline constexpr std::uint8_t kReadAddress = 0x17;

// Data reports and responses come in four sizes; `count` is the number of bytes after the id
// of a data report, or the position of the status byte in a response.
struct SizeClass {
  std::uint8_t report_id;
  std::size_t length;
};

constexpr SizeClass SizeClassFor(std::size_t count) {
  if (count < 8) return {3, 8};
  if (count < 16) return {4, 16};
  if (count < 32) return {5, 32};
  return {6, 48};
}

constexpr std::size_t ReportLength(std::uint8_t report_id) {
  switch (report_id) {
    case 1:
      return 8;
    case 2:
      return 16;
    case 3:
      return 8;
    case 4:
      return 16;
    case 5:
      return 32;
    case 6:
      return 48;
    case 10:
      return 8;
    default:
      return 0;
  }
}

// Slot of `usage` in kUsageTable, or -1.
constexpr int UsageSlot(std::uint8_t usage) {
  for (std::size_t i = 0; i < kUsageTable.size(); ++i) {
    if (kUsageTable[i] == usage) return static_cast<int>(i);
  }
  return -1;
}

// One of the adapter's own collections: its usage page and a usage the adapter has a slot for.
inline bool IsAdapterCollection(const HidCollectionInfo& info) {
  return info.usage_page == kUsagePage && info.usage <= 0xFF &&
         UsageSlot(static_cast<std::uint8_t>(info.usage)) >= 0;
}

}  // namespace cw::link::hid
