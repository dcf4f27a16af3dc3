#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "common/bytes.h"
#include "common/product_constants.h"
#include "firmware/image_record.h"

// Firmware images (.bin): the scrambled record stream the boot loader carries out, built from a
// code image and a data-area image, and the two images taken back out of a stream.
namespace cw::firmware {

inline constexpr std::size_t kImageRecordCount = 2843;
inline constexpr std::size_t kImageSize = kImageRecordCount * kRecordSize;  // 90,976
inline constexpr std::size_t kMinimumBinSize = 0x10000;

// Both images; heap-allocated because the code image alone is 64 KiB.
struct ExtractedImages {
  CodeImage code{};
  DataAreaImage data{};
};

// The full record sequence, each record scrambled: always kImageSize bytes. Code bytes
// 0xF7CE-0xF7CF are sent as zero whatever `code` holds there.
common::Bytes BuildFirmwareImage(const CodeImage& code, const DataAreaImage& data,
                                 const common::ProductConstants& constants);

// Fills the data area from the stream's data-flash data records and stops once 1,024 bytes have
// been copied. Records of other types, with a count of 0 or above 24, and a trailing partial
// record are skipped; bytes beyond the image are dropped.
void ExtractDataArea(common::ByteView stream, DataAreaImage& data, std::uint8_t record_mask);
// The same for code-flash data records, stopping at 65,536 bytes.
void ExtractCode(common::ByteView stream, CodeImage& code, std::uint8_t record_mask);
// Both passes into zeroed images.
std::unique_ptr<ExtractedImages> ExtractImages(common::ByteView stream, std::uint8_t record_mask);

// The size rules for a chosen .bin file: the firmware window wants both, the converters check
// the minimum on choosing and the record multiple on converting.
bool BinSizeLargeEnough(std::size_t size);
bool BinSizeWholeRecords(std::size_t size);
// Firmware window Load: the message to show, or nothing when the file is accepted.
std::optional<std::string_view> CheckUpdateImageSize(std::size_t size);

}  // namespace cw::firmware
