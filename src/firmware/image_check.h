#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/bytes.h"

namespace cw::firmware {

// Whether every record of `stream` is one the boot loader can carry out in order: its sum byte
// matches, and unscrambled it carries the next sequence number, a known type and, for a data
// record, a known space and 1 to 24 bytes; and together the records write every byte of the
// code flash below the boot loader (an image cut short after whole records would leave the rest
// of the firmware erased). The message naming the first damaged record or the first code left
// out, or nothing for a sound image. A trailing partial record is the size check's business.
std::optional<std::string> CheckImageRecords(common::ByteView stream, std::uint8_t record_mask);

}  // namespace cw::firmware
