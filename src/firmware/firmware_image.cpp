#include "firmware/firmware_image.h"

#include <algorithm>

#include "firmware/messages.h"

namespace cw::firmware {
namespace {

// The data-flash stride of the stream: 42 full records and a 16-byte tail cover the area.
constexpr std::size_t kDataRecordCount = 42;
constexpr std::uint16_t kDataTailAddress = 0x3F0;
constexpr std::size_t kDataTailCount = 16;
constexpr std::size_t kCodeRecordCount = kStreamedCodeSize / kMaxDataBytes;  // 2,688
// The boot loader keeps a second copy of the data area 0x400 above it.
constexpr std::uint16_t kDataCopyOffset = 0x400;

class StreamWriter {
 public:
  StreamWriter(const common::ProductConstants& constants) : mask_(constants.record_mask) {
    out_.reserve(kImageSize);
  }

  ImageRecord Next(std::uint8_t type, std::uint16_t address, std::uint8_t space,
                   std::uint8_t count) {
    return MakeRecord(sequence_++, type, address, space, count);
  }
  void Append(ImageRecord record) {
    ScrambleRecord(record, mask_);
    out_.insert(out_.end(), record.begin(), record.end());
  }
  void Simple(std::uint8_t type, std::uint16_t address, std::uint8_t space, std::uint8_t count) {
    Append(Next(type, address, space, count));
  }
  void Data(std::uint16_t address, std::uint8_t space, common::ByteView bytes) {
    ImageRecord record = Next(kTypeData, address, space, static_cast<std::uint8_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), record.begin() + kDataOffset);
    Append(record);
  }
  common::Bytes Take() { return std::move(out_); }

 private:
  std::uint8_t mask_;
  std::uint16_t sequence_ = 0;
  common::Bytes out_;
};

template <std::size_t N>
void ExtractPass(common::ByteView stream, std::array<std::uint8_t, N>& target, std::uint8_t space,
                 std::uint8_t record_mask) {
  std::size_t copied = 0;
  for (std::size_t offset = 0; offset + kRecordSize <= stream.size() && copied < N;
       offset += kRecordSize) {
    std::array<std::uint8_t, kRecordSize> record;
    std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(offset), kRecordSize, record.begin());
    UnscrambleRecord(record, record_mask);
    if (record[2] != kTypeData || record[5] != space) continue;
    const std::size_t count = record[6];
    // A count above 24 would reach past the record's data bytes into its sum and beyond.
    if (count == 0 || count > kMaxDataBytes) continue;
    const std::size_t address = std::size_t{record[3]} << 8 | record[4];
    for (std::size_t i = 0; i < count && address + i < N; ++i) {
      target[address + i] = record[kDataOffset + i];
    }
    copied += count;
  }
}

}  // namespace

common::Bytes BuildFirmwareImage(const CodeImage& code, const DataAreaImage& data,
                                 const common::ProductConstants& constants) {
  StreamWriter writer(constants);
  const common::ByteView stub(constants.programming_stub);

  // Programming set-up: the stub at 0xFADD calls the loader's programming routine.
  {
    ImageRecord record = writer.Next(kTypeSetup, 0x00F8, 0, 0x01);
    writer.Append(record);
  }
  writer.Data(0xFADD, kSpaceCode, stub);
  for (std::uint16_t s : {0xFAF0, 0xFB30, 0xFB70, 0xFBB0}) {
    ImageRecord record =
        writer.Next(kTypeSetup, 0x0104, static_cast<std::uint8_t>((s & 0xFF) + 0x10), 0);
    record[7] = common::HighByte(s);
    record[8] = common::LowByte(s);
    record[9] = 0x00;
    record[10] = 0x40;
    writer.Append(record);
  }
  // Erase the code sectors, then the data flash.
  writer.Simple(kTypeErase, 0xF400, 1, 0);
  for (int i = 1; i <= 60; ++i) {
    writer.Simple(kTypeErase, static_cast<std::uint16_t>(i * 4 * 256), 1, 0);
  }
  writer.Data(0x0780, kSpaceCode, stub);
  writer.Simple(kTypeErase, 0x0000, 1, 0);
  for (int k = 0; k < 4; ++k)
    writer.Simple(kTypeErase, static_cast<std::uint16_t>(k * 256 + 1), 1, 0);

  const common::ByteView data_view(data);
  for (std::size_t r = 0; r < kDataRecordCount; ++r) {
    writer.Data(static_cast<std::uint16_t>(r * kMaxDataBytes), kSpaceData,
                data_view.subspan(r * kMaxDataBytes, kMaxDataBytes));
  }
  writer.Data(kDataTailAddress, kSpaceData, data_view.subspan(kDataTailAddress, kDataTailCount));
  for (int k = 4; k < 8; ++k)
    writer.Simple(kTypeErase, static_cast<std::uint16_t>(k * 256 + 1), 1, 0);
  for (std::uint16_t p = 0; p < kDataAreaSize; p += 32) {
    const auto to = static_cast<std::uint16_t>(p + kDataCopyOffset);
    ImageRecord record = writer.Next(kTypeCopy, p, kSpaceData, common::HighByte(to));
    record[7] = common::LowByte(to);
    record[8] = kSpaceData;
    record[9] = 0x20;
    writer.Append(record);
  }

  CodeImage sent = code;
  sent[kCopiedCodeAddress] = 0;
  sent[kCopiedCodeAddress + 1] = 0;
  const common::ByteView code_view(sent);
  for (std::size_t j = 0; j < kCodeRecordCount; ++j) {
    writer.Data(static_cast<std::uint16_t>(j * kMaxDataBytes), kSpaceCode,
                code_view.subspan(j * kMaxDataBytes, kMaxDataBytes));
    if (j == 41) {
      writer.Simple(kTypeErase, 0x0400, 1, 0);
    } else if (j == 2643) {
      ImageRecord record =
          writer.Next(kTypeCopy, 0xFFFE, kSpaceCode, common::HighByte(kCopiedCodeAddress));
      record[7] = common::LowByte(kCopiedCodeAddress);
      record[8] = kSpaceCode;
      record[9] = 0x02;
      writer.Append(record);
    } else if (j == 2644) {
      writer.Simple(kTypeErase, kCodeParameterArea, 1, 0);
    }
  }
  return writer.Take();
}

void ExtractDataArea(common::ByteView stream, DataAreaImage& data, std::uint8_t record_mask) {
  ExtractPass(stream, data, kSpaceData, record_mask);
}

void ExtractCode(common::ByteView stream, CodeImage& code, std::uint8_t record_mask) {
  ExtractPass(stream, code, kSpaceCode, record_mask);
}

std::unique_ptr<ExtractedImages> ExtractImages(common::ByteView stream, std::uint8_t record_mask) {
  auto images = std::make_unique<ExtractedImages>();
  ExtractDataArea(stream, images->data, record_mask);
  ExtractCode(stream, images->code, record_mask);
  return images;
}

bool BinSizeLargeEnough(std::size_t size) { return size >= kMinimumBinSize; }
bool BinSizeWholeRecords(std::size_t size) { return size % kRecordSize == 0; }

std::optional<std::string_view> CheckUpdateImageSize(std::size_t size) {
  if (BinSizeLargeEnough(size) && BinSizeWholeRecords(size)) return std::nullopt;
  return messages::kBinFileError;
}

}  // namespace cw::firmware
