#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/bytes.h"
#include "monitor/register_table.h"

// The gauge's status blocks, read through ManufacturerBlockAccess: which subcommands the scan
// caches, how long their replies are, and where each row's value sits inside them.
namespace cw::monitor {

struct StatusBlockInfo {
  std::uint8_t subcommand;
  std::uint8_t length;  // data bytes of a valid reply
};

// The cached blocks, in the order the scan keeps them.
inline constexpr std::array<StatusBlockInfo, 11> kCachedBlocks = {{
    {0x51, 4},
    {0x53, 4},
    {0x54, 2},
    {0x55, 3},
    {0x57, 2},
    {0x71, 14},
    {0x72, 12},
    {0x73, 32},
    {0x74, 32},
    {0x75, 32},
    {0x78, 32},
}};
// "Gauge Debug Info": read for every selected row, never cached; its bytes are the value text.
inline constexpr StatusBlockInfo kDebugInfoBlock = {0x79, 32};
inline constexpr std::size_t kDebugInfoLength = 32;

// Index into kCachedBlocks, or nothing when `command` is not a cached status subcommand.
std::optional<std::size_t> CachedBlockIndex(std::uint8_t command);

// Where one row's value sits in its block's data (little-endian, 1 to 4 bytes).
struct BlockField {
  std::size_t block = 0;  // index into kCachedBlocks
  std::uint8_t offset = 0;
  std::uint8_t size = 2;
};

// The field of every row of `table`'s scan lists that has one, indexed like the rows; rows of a
// cached subcommand whose name places no field get nothing and are read as words.
std::array<std::vector<std::optional<BlockField>>, 3> PlaceBlockFields(const RegisterTable& table);

// One pass's worth of status blocks: each read at most once per pass.
class StatusBlockCache {
 public:
  void StartPass();
  bool ReadThisPass(std::size_t block) const { return entries_[block].read; }
  bool Valid(std::size_t block) const { return entries_[block].valid; }
  // Stores a reply's data; `data` empty marks the block invalid for this pass.
  void Store(std::size_t block, std::optional<common::ByteView> data);
  std::uint32_t Field(const BlockField& field) const;

 private:
  struct Entry {
    bool read = false;
    bool valid = false;
    std::array<std::uint8_t, 32> data{};
  };
  std::array<Entry, kCachedBlocks.size()> entries_{};
};

}  // namespace cw::monitor
