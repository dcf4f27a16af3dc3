// The monitor's readers of outside input: status-block replies placed into the cache and
// formatted by every row that reads them, and values typed into a Value cell.
#include <cstdint>
#include <string_view>

#include "link/gauge_link.h"
#include "monitor/register_table.h"
#include "monitor/status_block.h"
#include "monitor/value_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const cw::monitor::RegisterTable kTable;
  static const auto kFields = cw::monitor::PlaceBlockFields(kTable);
  const cw::common::ByteView reply(data + 1, size - 1);
  cw::monitor::StatusBlockCache cache;
  cache.StartPass();
  for (std::size_t block = 0; block < cw::monitor::kCachedBlocks.size(); ++block) {
    const auto& info = cw::monitor::kCachedBlocks[block];
    // The input as it came, and the input framed as a valid reply so the fields get read.
    if (!cw::link::ManufacturerBlockData(reply, info.subcommand, info.length)) {
      cw::common::Bytes framed{static_cast<std::uint8_t>(info.length + 2), info.subcommand, 0};
      for (std::size_t i = 0; i < info.length; ++i) framed.push_back(data[(i + block) % size]);
      cache.Store(block, cw::link::ManufacturerBlockData(framed, info.subcommand, info.length));
    } else {
      cache.Store(block, cw::link::ManufacturerBlockData(reply, info.subcommand, info.length));
    }
  }
  for (std::size_t t = 0; t < kFields.size(); ++t) {
    const auto rows = kTable.rows(cw::monitor::kScanTables[t]);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto& field = kFields[t][i];
      if (!field || !cache.Valid(field->block)) continue;
      cw::monitor::SbsRegisterDef row = rows[i];
      cw::monitor::ApplyRead(row, static_cast<std::int32_t>(cache.Field(*field)), data[0]);
    }
  }
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)cw::monitor::ParseWithFormat("%d", text);
  (void)cw::monitor::ParseWithFormat("%04X", text);
  return 0;
}
