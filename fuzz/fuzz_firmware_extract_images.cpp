// Any bytes as a firmware image, raw and as plain records: the record check judges it without
// reading past it, both extraction passes stay inside their images, and an image rebuilt from
// what came out passes the check and extracts to the same memories again.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/image_check.h"

namespace {

void CheckStream(std::span<const std::uint8_t> stream) {
  const cw::common::ProductConstants constants{};
  const auto fault = cw::firmware::CheckImageRecords(stream, constants.record_mask);
  if (fault && fault->empty()) __builtin_trap();
  const auto images = cw::firmware::ExtractImages(stream, constants.record_mask);
  const auto rebuilt = cw::firmware::BuildFirmwareImage(images->code, images->data, constants);
  if (rebuilt.size() != cw::firmware::kImageSize) __builtin_trap();
  if (cw::firmware::CheckImageRecords(rebuilt, constants.record_mask)) __builtin_trap();
  const auto again = cw::firmware::ExtractImages(rebuilt, constants.record_mask);
  if (again->data != images->data) __builtin_trap();
  for (std::size_t a = 0; a < cw::firmware::kStreamedCodeSize; ++a) {
    if (a == 0xF7CE || a == 0xF7CF) continue;
    if (again->code[a] != images->code[a]) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckStream(std::span<const std::uint8_t>(data, size));
  // The same bytes as plain records, scrambled the way a real image is, so that types, counts and
  // addresses reach the extraction as the fuzzer wrote them.
  std::vector<std::uint8_t> scrambled(data, data + size);
  for (std::size_t offset = 0; offset + cw::firmware::kRecordSize <= size;
       offset += cw::firmware::kRecordSize) {
    cw::firmware::ImageRecord record;
    std::copy_n(scrambled.begin() + static_cast<std::ptrdiff_t>(offset), record.size(),
                record.begin());
    cw::firmware::ScrambleRecord(record, cw::common::ProductConstants{}.record_mask);
    std::copy(record.begin(), record.end(),
              scrambled.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  CheckStream(scrambled);
  // And with their sequence numbers and types made sound, so that the record check reaches its
  // later records and the data-record rules.
  constexpr std::uint8_t kTypes[] = {cw::firmware::kTypeSetup, cw::firmware::kTypeCopy,
                                     cw::firmware::kTypeData, cw::firmware::kTypeErase};
  for (std::size_t offset = 0; offset + cw::firmware::kRecordSize <= size;
       offset += cw::firmware::kRecordSize) {
    cw::firmware::ImageRecord record;
    std::copy_n(data + offset, record.size(), record.begin());
    const std::size_t index = offset / cw::firmware::kRecordSize;
    record[0] = static_cast<std::uint8_t>(index >> 8);
    record[1] = static_cast<std::uint8_t>(index);
    record[2] = kTypes[record[2] % 4];
    cw::firmware::ScrambleRecord(record, cw::common::ProductConstants{}.record_mask);
    std::copy(record.begin(), record.end(),
              scrambled.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  CheckStream(scrambled);
  return 0;
}
