#include "monitor/status_block.h"

#include <algorithm>
#include <string_view>

namespace cw::monitor {
namespace {

struct NamedField {
  std::string_view name;
  std::uint8_t subcommand;
  std::uint8_t offset;
  std::uint8_t size;
};

// Rows placed by name. Cell Voltage 1 is the block's first word although the list shows
// cell 4 first.
constexpr NamedField kNamedFields[] = {
    {"Safety Status", 0x51, 0, 4},      {"PF Status", 0x53, 0, 4},
    {"Operation Status", 0x54, 0, 2},   {"Temp Range", 0x55, 0, 1},
    {"Charging Status", 0x55, 1, 2},    {"Manufacturing Status", 0x57, 0, 2},
    {"Cell Voltage 1", 0x71, 0, 2},     {"Cell Voltage 2", 0x71, 2, 2},
    {"Cell Voltage 3", 0x71, 4, 2},     {"Cell Voltage 4", 0x71, 6, 2},
    {"Pack Voltage", 0x71, 8, 2},       {"TS1 Temperature", 0x72, 0, 2},
    {"TS2 Temperature", 0x72, 2, 2},    {"TS3 Temperature", 0x72, 4, 2},
    {"TS4 Temperature", 0x72, 6, 2},    {"Cell Temperature", 0x72, 8, 2},
    {"FET Temperature", 0x72, 10, 2},   {"Cell 1 Qmax", 0x75, 0, 2},
    {"Cell 2 Qmax", 0x75, 2, 2},        {"Cell 3 Qmax", 0x75, 4, 2},
    {"Cell 4 Qmax", 0x75, 6, 2},        {"FG Status", 0x75, 8, 1},
    {"RCFilter Flag", 0x75, 9, 1},      {"RCFilter Time", 0x75, 10, 2},
    {"Qmax CycleCount", 0x75, 12, 2},   {"Cell 1 VoltEOC", 0x75, 14, 2},
    {"Cell 2 VoltEOC", 0x75, 16, 2},    {"Cell 3 VoltEOC", 0x75, 18, 2},
    {"Cell 4 VoltEOC", 0x75, 20, 2},    {"CUR at EOC", 0x75, 22, 2},
    {"Averge I Last Run", 0x75, 24, 2}, {"Averge P Last Run", 0x75, 26, 2},
    {"Cell 1 ModelFlag", 0x75, 28, 1},  {"Cell 2 ModelFlag", 0x75, 29, 1},
    {"Cell 3 ModelFlag", 0x75, 30, 1},  {"Cell 4 ModelFlag", 0x75, 31, 1},
};

// Blocks that are a run of words, one per row of that subcommand in table order.
struct WordRun {
  std::uint8_t subcommand;
  std::uint8_t first_offset;
  std::uint8_t words;
};
constexpr WordRun kWordRuns[] = {{0x73, 0, 16}, {0x74, 4, 12}, {0x78, 0, 14}};

}  // namespace

std::optional<std::size_t> CachedBlockIndex(std::uint8_t command) {
  for (std::size_t i = 0; i < kCachedBlocks.size(); ++i) {
    if (kCachedBlocks[i].subcommand == command) return i;
  }
  return std::nullopt;
}

std::array<std::vector<std::optional<BlockField>>, 3> PlaceBlockFields(const RegisterTable& table) {
  std::array<std::vector<std::optional<BlockField>>, 3> fields;
  std::array<int, std::size(kWordRuns)> run_position{};
  for (std::size_t t = 0; t < kScanTables.size(); ++t) {
    const auto rows = table.rows(kScanTables[t]);
    fields[t].resize(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto block = CachedBlockIndex(rows[i].command);
      if (!block) continue;
      for (const NamedField& named : kNamedFields) {
        if (named.subcommand == rows[i].command && named.name == rows[i].name) {
          fields[t][i] = BlockField{*block, named.offset, named.size};
        }
      }
      for (std::size_t r = 0; r < std::size(kWordRuns); ++r) {
        const WordRun& run = kWordRuns[r];
        if (run.subcommand != rows[i].command || run_position[r] >= run.words) continue;
        const auto offset = static_cast<std::uint8_t>(run.first_offset + 2 * run_position[r]++);
        fields[t][i] = BlockField{*block, offset, 2};
      }
    }
  }
  return fields;
}

void StatusBlockCache::StartPass() {
  for (Entry& entry : entries_) {
    entry.read = false;
    entry.valid = false;
  }
}

void StatusBlockCache::Store(std::size_t block, std::optional<common::ByteView> data) {
  Entry& entry = entries_[block];
  entry.read = true;
  entry.valid = data.has_value() && data->size() == kCachedBlocks[block].length;
  if (entry.valid) std::copy(data->begin(), data->end(), entry.data.begin());
}

std::uint32_t StatusBlockCache::Field(const BlockField& field) const {
  const Entry& entry = entries_[field.block];
  std::uint32_t value = 0;
  for (std::uint8_t i = 0; i < field.size; ++i) {
    value |= static_cast<std::uint32_t>(entry.data[field.offset + i]) << (8 * i);
  }
  return value;
}

}  // namespace cw::monitor
