#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace cw::common {

// Values that identify the adapter's maker and belong to the gauge's boot loader. The tool and
// the simulated pack read the same set, so an override in cellwarden.ini changes both.
struct ProductConstants {
  // Byte mixed into every firmware image record by the scrambler and the boot loader.
  std::uint8_t record_mask = 0x5A;
  // Machine code that sets SP, PSW and IE, then calls the programming routine at 0xFC00.
  std::array<std::uint8_t, 12> programming_stub = {0x75, 0x81, 0x7F, 0x75, 0xD0, 0x00,
                                                   0x75, 0xA8, 0x00, 0x12, 0xFC, 0x00};
  // Byte the gauge's flash read-out path mixes into every byte it returns.
  std::uint8_t read_back_mask = 0xA5;
  // USB vendor id of the adapter (HID product 0x8888, bulk product 0x8000).
  std::uint16_t adapter_vendor_id = 0x16C0;
  // Identifier of the vendor driver's device interface behind the exported pipe routines.
  std::string pipe_interface_id = "{8D9C1A52-3E07-4B6B-9F21-5C0A7E64D3B1}";

  bool operator==(const ProductConstants&) const = default;
};

inline constexpr std::uint16_t kHidProductId = 0x8888;
inline constexpr std::uint16_t kBulkProductId = 0x8000;
inline constexpr const char* kDefaultSerialPrefix = "8888";
// The bulk adapter's serial number is the prefix followed by this text.
inline constexpr const char* kSerialSuffix = "00000001";

}  // namespace cw::common
