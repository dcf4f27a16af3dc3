#pragma once

#include <filesystem>
#include <memory>

#include "common/bytes.h"
#include "common/product_constants.h"
#include "dataflash/afi_file.h"
#include "firmware/firmware_image.h"

// Putting a pack's constants (an .afi file) into an existing firmware image.
namespace cw::firmware {

// The 2,048-byte image the scripts and the merge take their subclass bytes from: the page-set
// part and the algorithm area of `afi` in one.
dataflash::FlashImage FullFlashImage(const dataflash::AfiImage& afi);

// The images of `bin` with every subclass of `plain` (loaded in plain form) put at its
// data-flash address: the data area keeps the bin's bytes where no subclass lies, the code
// parameter area 0xF800-0xFBFF is rebuilt from the constants alone with 0xFBFF set to 0xFF.
std::unique_ptr<ExtractedImages> MergeConstantsIntoImages(common::ByteView bin,
                                                          const dataflash::AfiImage& plain,
                                                          std::uint8_t record_mask);
// The same, rebuilt into a scrambled image.
common::Bytes MergeConstantsIntoImage(common::ByteView bin, const dataflash::AfiImage& plain,
                                      const common::ProductConstants& constants);

}  // namespace cw::firmware
