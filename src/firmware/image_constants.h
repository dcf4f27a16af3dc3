#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>

#include "dataflash/afi_file.h"
#include "firmware/firmware_image.h"

// The constants a firmware image carries (its data area and the code parameter area), read key
// by key as a constants file holds them, and the one reader of either kind of file for the
// commands that look at constants: the difference of two files and the golden-file lint.
namespace cw::firmware {

// Each subclass's bytes of `images` where a Read All puts them: the page set as it is, the
// algorithm area in the gauge's stored form. Bytes that belong to no subclass are what a Read
// All leaves there (zero in the stored form); the 30 bytes the merge copies after each of
// 0x5C-0x5F are no constants of their own and are not taken.
dataflash::AfiImage ImageConstants(const ExtractedImages& images);

// What an .afi saved from a gauge holding `images`' constants would hold: every key.
dataflash::AfiValues ImageConstantValues(const ExtractedImages& images);

// Whether `path` names a firmware image (".bin" in any case) rather than a constants file.
bool IsImagePath(const std::filesystem::path& path);

// The constants of the file at `path`: an image's (read whole and refused, with the reason,
// when its size or a record is not one the boot loader takes), else an .afi's as a comparison
// reads it. The message says why the file cannot be used.
std::expected<dataflash::AfiValues, std::string> ReadConstantsFile(
    const std::filesystem::path& path, std::uint8_t record_mask);

}  // namespace cw::firmware
