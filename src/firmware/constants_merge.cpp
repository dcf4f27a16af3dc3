#include "firmware/constants_merge.h"

#include <algorithm>

namespace cw::firmware {
namespace {

// 0x5C-0x5F show one byte on the page but own 31 bytes of the data flash.
constexpr std::size_t kWideSubclassLength = 31;

std::size_t PlacedLength(const dataflash::SubclassRow& row) {
  return row.id >= 0x5C && row.id <= 0x5F ? kWideSubclassLength : row.length;
}

}  // namespace

dataflash::FlashImage FullFlashImage(const dataflash::AfiImage& afi) {
  dataflash::FlashImage image = afi.image;
  std::copy(afi.algorithm.begin(), afi.algorithm.end(),
            image.begin() + dataflash::kAlgorithmAreaStart);
  return image;
}

std::unique_ptr<ExtractedImages> MergeConstantsIntoImages(common::ByteView bin,
                                                          const dataflash::AfiImage& plain,
                                                          std::uint8_t record_mask) {
  auto images = std::make_unique<ExtractedImages>();
  ExtractDataArea(bin, images->data, record_mask);
  const dataflash::FlashImage flash = FullFlashImage(plain);
  std::array<std::uint8_t, kCodeParameterAreaSize> staging{};
  for (const dataflash::SubclassRow& row : dataflash::kSubclassRows) {
    const std::size_t length = PlacedLength(row);
    const auto from = flash.begin() + static_cast<std::ptrdiff_t>(row.block) *
                                          static_cast<std::ptrdiff_t>(dataflash::kBlockSize);
    if (row.flash_address >= kCodeParameterArea) {
      std::copy_n(from, length, staging.begin() + (row.flash_address - kCodeParameterArea));
    } else {
      std::copy_n(from, length, images->data.begin() + row.flash_address);
    }
  }
  staging.back() = 0xFF;
  ExtractCode(bin, images->code, record_mask);
  std::copy(staging.begin(), staging.end(), images->code.begin() + kCodeParameterArea);
  return images;
}

common::Bytes MergeConstantsIntoImage(common::ByteView bin, const dataflash::AfiImage& plain,
                                      const common::ProductConstants& constants) {
  const auto images = MergeConstantsIntoImages(bin, plain, constants.record_mask);
  return BuildFirmwareImage(images->code, images->data, constants);
}

}  // namespace cw::firmware
