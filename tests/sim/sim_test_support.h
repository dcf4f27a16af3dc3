#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "common/bytes.h"
#include "link/smbus_target.h"

// What a host does on the bus, written out independently of the pack's code so that the tests
// check the pack against the host's rules rather than against itself.
namespace cw::sim::testing {

// Bytes of a write transaction after the address byte, with or without PEC.
common::Bytes WordWrite(std::uint8_t command, std::uint16_t value, bool with_pec = true);
common::Bytes BlockWrite(std::uint8_t command, common::ByteView data, bool with_pec = true);

// A word read of low, high, PEC; nullopt on NACK or when the PEC is wrong.
std::optional<std::uint16_t> ReadWord(link::SmbusTarget& target, std::uint8_t command);
// A block read of count, `length` data bytes and PEC; nullopt on NACK, a wrong PEC or a count
// other than `length`.
std::optional<common::Bytes> ReadBlock(link::SmbusTarget& target, std::uint8_t command,
                                       std::size_t length);

// Writes ManufacturerAccess words with PEC; false when any is refused.
bool WriteWords(link::SmbusTarget& target, std::uint8_t command,
                std::initializer_list<std::uint16_t> words);
// The two key words, low word first.
bool EnterKey(link::SmbusTarget& target, std::uint32_t key);

// The host's read-back transform of exported flash bytes.
std::uint8_t ToolReadBackData(std::uint8_t byte, std::uint8_t mask);
std::uint8_t ToolReadBackCode(std::uint8_t byte, std::uint32_t address, std::uint8_t mask);

// A firmware image record before scrambling: sequence, type, then bytes 3 onward.
std::array<std::uint8_t, 31> PlainRecord(std::uint16_t sequence, std::uint8_t type,
                                         common::ByteView rest);
std::array<std::uint8_t, 31> DataRecord(std::uint16_t sequence, std::uint16_t address,
                                        std::uint8_t space, common::ByteView data);
// Rotate right, XOR with the mask, and the sum byte over the scrambled bytes.
std::array<std::uint8_t, 32> Scramble(const std::array<std::uint8_t, 31>& plain, std::uint8_t mask);

}  // namespace cw::sim::testing
