#pragma once

#include <array>
#include <cstdint>

// What the simulated adapters report about themselves, and their status codes.
namespace cw::sim::adapter {

// Status byte of a HID response or write-status fetch.
inline constexpr std::uint8_t kStatusOk = 0x00;
inline constexpr std::uint8_t kStatusNack = 0x01;        // the gauge did not acknowledge
inline constexpr std::uint8_t kStatusBadRequest = 0x02;  // a request the adapter cannot carry out
// Status byte of a HID response fetched before any request.
inline constexpr std::uint8_t kStatusNothing = 0xFF;

// Hardware version 2.1, firmware 3.7.1 (the HID adapter sends binary numbers and nibbles, the
// bulk adapter a float and the same three numbers).
inline constexpr std::uint8_t kHardwareMajor = 2;
inline constexpr std::uint8_t kHardwareMinor = 1;
inline constexpr std::array<std::uint8_t, 3> kFirmwareVersion = {3, 7, 1};
inline constexpr float kBulkVersion = 2.1F;

// Bulk packet acknowledge byte.
inline constexpr std::uint8_t kAck = 0x01;
inline constexpr std::uint8_t kNoAck = 0x00;

// Interrupt-in status of the bulk adapter (endpoint 0x82).
inline constexpr std::uint8_t kInterruptEndpoint = 0x82;
inline constexpr std::size_t kInterruptStatusLength = 8;
inline constexpr std::uint8_t kIdle = 0x01;
inline constexpr std::uint8_t kReplyWaiting = 0x00;

inline constexpr std::uint8_t kVendorOut = 0x40;
inline constexpr std::uint8_t kVendorIn = 0xC0;

}  // namespace cw::sim::adapter
