#include "firmware/image_check.h"

#include <fmt/format.h>

#include <algorithm>

#include "firmware/image_record.h"
#include "firmware/messages.h"

namespace cw::firmware {
namespace {

bool KnownType(std::uint8_t type) {
  return type == kTypeSetup || type == kTypeCopy || type == kTypeData || type == kTypeErase;
}

}  // namespace

std::optional<std::string> CheckImageRecords(common::ByteView stream, std::uint8_t record_mask) {
  for (std::size_t index = 0; (index + 1) * kRecordSize <= stream.size(); ++index) {
    ImageRecord record;
    std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(index * kRecordSize), kRecordSize,
                record.begin());
    if (RecordSum(common::ByteView(record.data(), kRecordBodySize)) != record[kRecordBodySize]) {
      return fmt::format(fmt::runtime(messages::kRecordBadSum), index);
    }
    UnscrambleRecord(record, record_mask);
    const std::size_t sequence = std::size_t{record[0]} << 8 | record[1];
    if (sequence != index) {
      return fmt::format(fmt::runtime(messages::kRecordBadSequence), index, sequence);
    }
    const std::uint8_t type = record[2];
    if (!KnownType(type)) return fmt::format(fmt::runtime(messages::kRecordBadType), index, type);
    const std::uint8_t space = record[5];
    const std::uint8_t count = record[6];
    if (type == kTypeData && (space > kSpaceData || count == 0 || count > kMaxDataBytes)) {
      return fmt::format(fmt::runtime(messages::kRecordBadData), index, space, count);
    }
  }
  return std::nullopt;
}

}  // namespace cw::firmware
