#pragma once

#include <string>

#include "common/bytes.h"
#include "dataflash/subclass_layout.h"

// FS scripts: the SMBus conversations a production programmer replays, as text.
//   ";..." comment, "W: 16 cmd bytes.. PEC" write, "C: 16 cmd bytes.. PEC" read and compare,
//   "X: ms" wait.
namespace cw::firmware {

inline constexpr std::string_view kScriptBanner =
    ";--------------------------------------------------------------";

// Writes all 40 subclasses from `image` (a full 2,048-byte flash image with the algorithm area
// in the form the gauge stores it), commits and resets the gauge, then reads every subclass
// back and compares.
std::string AfiScript(const dataflash::FlashImage& image);

// Enters update mode, writes every 32-byte record of `image` with a status check after each,
// and leaves update mode. A trailing partial record is not written.
std::string UpdateScript(common::ByteView image);

}  // namespace cw::firmware
