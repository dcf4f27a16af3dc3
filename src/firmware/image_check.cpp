#include "firmware/image_check.h"

#include <fmt/format.h>

#include <algorithm>
#include <bitset>
#include <memory>

#include "common/file_error.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/image_record.h"
#include "firmware/messages.h"

namespace cw::firmware {
namespace {

bool KnownType(std::uint8_t type) {
  return type == kTypeSetup || type == kTypeCopy || type == kTypeData || type == kTypeErase;
}

using CodeCoverage = std::bitset<kStreamedCodeSize>;

// Marks the code bytes an unscrambled record writes: a data record's, or a copy's destination.
void Cover(const ImageRecord& plain, CodeCoverage& covered) {
  std::size_t address = 0;
  std::size_t count = 0;
  if (plain[2] == kTypeData && plain[5] == kSpaceCode) {
    address = std::size_t{plain[3]} << 8 | plain[4];
    count = plain[6];
  } else if (plain[2] == kTypeCopy && plain[8] == kSpaceCode) {
    address = std::size_t{plain[6]} << 8 | plain[7];
    count = plain[9];
  }
  for (std::size_t at = address; at < address + count && at < covered.size(); ++at) {
    covered.set(at);
  }
}

// The first gap in the code the records write, as a message; the stream's erase records clear
// the whole code flash first, so a gap would be left blank on the pack.
std::optional<std::string> MissingCode(const CodeCoverage& covered) {
  if (covered.all()) return std::nullopt;
  std::size_t first = 0;
  while (covered.test(first)) ++first;
  return fmt::format(messages::kImageCodeIncomplete, covered.size() - covered.count(), first);
}

}  // namespace

std::optional<std::string> CheckImageRecords(common::ByteView stream, std::uint8_t record_mask) {
  const auto covered = std::make_unique<CodeCoverage>();
  for (std::size_t index = 0; (index + 1) * kRecordSize <= stream.size(); ++index) {
    ImageRecord record;
    std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(index * kRecordSize), kRecordSize,
                record.begin());
    if (RecordSum(common::ByteView(record.data(), kRecordBodySize)) != record[kRecordBodySize]) {
      return fmt::format(messages::kRecordBadSum, index);
    }
    UnscrambleRecord(record, record_mask);
    const std::size_t sequence = std::size_t{record[0]} << 8 | record[1];
    if (sequence != index) {
      return fmt::format(messages::kRecordBadSequence, index, sequence);
    }
    const std::uint8_t type = record[2];
    if (!KnownType(type)) return fmt::format(messages::kRecordBadType, index, type);
    const std::uint8_t space = record[5];
    const std::uint8_t count = record[6];
    if (type == kTypeData && (space > kSpaceData || count == 0 || count > kMaxDataBytes)) {
      return fmt::format(messages::kRecordBadData, index, space, count);
    }
    Cover(record, *covered);
  }
  return MissingCode(*covered);
}

std::optional<std::string> CheckUpdateImage(common::ByteView image, std::uint8_t record_mask) {
  if (CheckUpdateImageSize(image.size())) return std::string();
  return CheckImageRecords(image, record_mask);
}

std::optional<common::Bytes> ReadUpdateImage(const std::filesystem::path& path,
                                             std::uint8_t record_mask,
                                             common::MessageSink& messages) {
  auto bytes = ReadImageFile(path);
  std::optional<std::string> refusal;
  if (!bytes) {
    refusal = common::DescribeFileError(bytes.error());
  } else {
    refusal = CheckUpdateImage(*bytes, record_mask);
  }
  if (!refusal) return std::move(*bytes);
  messages.Show(messages::kBinFileError);
  if (!refusal->empty()) {
    messages.Show(*refusal, common::MessageIcon::kError);
  }
  return std::nullopt;
}

}  // namespace cw::firmware
