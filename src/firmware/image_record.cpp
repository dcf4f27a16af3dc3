#include "firmware/image_record.h"

namespace cw::firmware {
namespace {

constexpr std::uint8_t RotateRight1(std::uint8_t value) {
  return static_cast<std::uint8_t>((value >> 1) | (value << 7));
}
constexpr std::uint8_t RotateLeft1(std::uint8_t value) {
  return static_cast<std::uint8_t>((value << 1) | (value >> 7));
}

}  // namespace

ImageRecord MakeRecord(std::uint16_t sequence, std::uint8_t type, std::uint16_t address,
                       std::uint8_t space, std::uint8_t count) {
  ImageRecord record{};
  record[0] = common::HighByte(sequence);
  record[1] = common::LowByte(sequence);
  record[2] = type;
  record[3] = common::HighByte(address);
  record[4] = common::LowByte(address);
  record[5] = space;
  record[6] = count;
  return record;
}

std::uint8_t RecordSum(common::ByteView body) {
  std::uint8_t sum = 0;
  for (std::uint8_t byte : body) sum = static_cast<std::uint8_t>(sum + byte);
  return sum;
}

void ScrambleRecord(ImageRecord& record, std::uint8_t record_mask) {
  for (std::size_t i = 0; i < kRecordBodySize; ++i) {
    record[i] = static_cast<std::uint8_t>(RotateRight1(record[i]) ^ record_mask);
  }
  record[kRecordBodySize] = RecordSum(common::ByteView(record.data(), kRecordBodySize));
}

void UnscrambleRecord(std::span<std::uint8_t, kRecordSize> record, std::uint8_t record_mask) {
  for (std::size_t i = 0; i < kRecordBodySize; ++i) {
    record[i] = RotateLeft1(static_cast<std::uint8_t>(record[i] ^ record_mask));
  }
}

}  // namespace cw::firmware
