#pragma once

#include <cstddef>
#include <cstdint>

// Packet layouts of the bulk adapter, shared by its protocol and the simulated adapter.
namespace cw::link::bulk {

inline constexpr std::size_t kPacketLength = 64;
inline constexpr std::uint8_t kEndpointOut = 0x01;
inline constexpr std::uint8_t kEndpointIn = 0x81;
inline constexpr int kInterface = 0;

inline constexpr std::uint8_t kOpRead = 0x02;
inline constexpr std::uint8_t kOpWrite = 0x07;
inline constexpr std::uint8_t kOpVersion = 0x8A;

// Byte positions inside a request packet.
inline constexpr std::size_t kOpcodeByte = 0;
inline constexpr std::size_t kBusByte = 4;      // always 0x02
inline constexpr std::size_t kAddressByte = 5;  // 0x16
inline constexpr std::size_t kCommandByte = 7;
inline constexpr std::size_t kWriteLengthByte = 8;  // data bytes + PEC
inline constexpr std::size_t kReadLengthByte = 9;
inline constexpr std::size_t kDataStart = 10;
// Byte of the response that is non-zero when the gauge acknowledged.
inline constexpr std::size_t kAckByte = 6;
inline constexpr std::uint8_t kBusValue = 0x02;

// Version response: float at 8..11 (little-endian), version bytes at 12..14.
inline constexpr std::size_t kVersionFloatByte = 8;

// Largest read or write a packet can carry after its 10-byte prefix (and the PEC of a write).
inline constexpr std::size_t kMaxReadLength = kPacketLength - kDataStart;
inline constexpr std::size_t kMaxWriteLength = kPacketLength - kDataStart - 1;

}  // namespace cw::link::bulk
