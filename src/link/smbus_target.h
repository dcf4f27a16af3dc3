#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace cw::link {

// What sits on the SMBus behind an adapter, seen at the bus level: the simulated gauge
// implements it, and tests put scripted gauges in its place.
class SmbusTarget {
 public:
  virtual ~SmbusTarget() = default;

  // A write transaction to 0x16. `bytes` are everything after the address byte: the command,
  // its data and, when the master sent one, the PEC. False is a NACK.
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;

  // A read transaction: the command is written to 0x16, then `count` bytes are read at 0x17.
  // Returns exactly the bytes the target drives (data, then its PEC where it sends one; bytes
  // past what the target has are 0xFF, an idle bus). With count == kReadToCountByte the master
  // reads the count byte and then as many bytes as it says (no PEC). nullopt is a NACK.
  static constexpr std::size_t kReadToCountByte = 255;
  virtual std::optional<std::vector<std::uint8_t>> Read(std::uint8_t command,
                                                        std::size_t count) = 0;
};

}  // namespace cw::link
