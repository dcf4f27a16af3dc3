#pragma once

#include <filesystem>

#include "common/message_sink.h"
#include "common/product_constants.h"

// The converter windows' Convert buttons: each checks its inputs, writes its output file and
// tells the user the outcome through `messages`. True when the output was written.
namespace cw::firmware {

// Choosing a bin file in a converter: false (with the message shown) when it is too small to be
// an image or cannot be read.
bool AcceptChosenBin(const std::filesystem::path& bin, common::MessageSink& messages);

// "pack.afi" -> "pack.afi.fs".
std::filesystem::path AfiScriptPath(const std::filesystem::path& afi);
// "fw.bin" -> "fw.bin.fs".
std::filesystem::path UpdateScriptPath(const std::filesystem::path& bin);
// "fw.bin" -> "fw.bin.AFIcombined.fs".
std::filesystem::path MergedScriptPath(const std::filesystem::path& bin);
// "fw.bin" -> "fw_new.bin"; a final ".bin" in any case is replaced, any other name gets
// "_new.bin" appended.
std::filesystem::path NewBinPath(const std::filesystem::path& bin);

bool ConvertAfiToScript(const std::filesystem::path& afi, common::MessageSink& messages);
bool ConvertBinToScript(const std::filesystem::path& bin, common::MessageSink& messages);
bool ConvertMergedToScript(const std::filesystem::path& afi, const std::filesystem::path& bin,
                           const common::ProductConstants& constants,
                           common::MessageSink& messages);
bool ConvertNewBin(const std::filesystem::path& afi, const std::filesystem::path& bin,
                   const common::ProductConstants& constants, common::MessageSink& messages);

}  // namespace cw::firmware
