#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/bytes.h"
#include "common/front_end.h"

namespace cw::firmware {

// Whether every record of `stream` is one the boot loader can carry out in order: its sum byte
// matches, and unscrambled it carries the next sequence number, a known type and, for a data
// record, a known space and 1 to 24 bytes; and together the records write every byte of the
// code flash below the boot loader (an image cut short after whole records would leave the rest
// of the firmware erased). The message naming the first damaged record or the first code left
// out, or nothing for a sound image. A trailing partial record is the size check's business.
std::optional<std::string> CheckImageRecords(common::ByteView stream, std::uint8_t record_mask);

// Whether an update can send `image`: a size of whole records an image can have, and records
// that pass CheckImageRecords (a damaged one would stop the boot loader halfway and leave the
// pack without firmware). What is wrong with it otherwise: empty for a size no image has.
std::optional<std::string> CheckUpdateImage(common::ByteView image, std::uint8_t record_mask);

// The image at `path`, read whole and checked for an update; nothing after telling `messages`
// why not: kBinFileError, then what is wrong with the file or its records.
std::optional<common::Bytes> ReadUpdateImage(const std::filesystem::path& path,
                                             std::uint8_t record_mask,
                                             common::MessageSink& messages);

}  // namespace cw::firmware
