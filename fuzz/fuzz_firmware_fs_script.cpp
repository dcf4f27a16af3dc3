// Any bytes as the two inputs of the FS script writers: the first byte splits the input into an
// .afi text and a .bin image. Every script line stays well formed, every script passes the check
// that fs play makes before it plays, and the merge always yields a full image.
#include <cstdint>
#include <span>
#include <sstream>
#include <string>
#include <string_view>

#include "afi_text.h"
#include "dataflash/afi_file.h"
#include "firmware/constants_merge.h"
#include "firmware/fs_script.h"
#include "firmware/fs_script_reader.h"

namespace {

void CheckLines(const std::string& script) {
  std::istringstream in(script);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) __builtin_trap();
    const char kind = line[0];
    if (kind != ';' && kind != 'W' && kind != 'C' && kind != 'X') __builtin_trap();
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(script.data());
  if (!cw::firmware::CheckFsScript({bytes, script.size()}).clean()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t split = std::min<std::size_t>(size - 1, std::size_t{data[0]} * 64);
  // The .afi part as lines of known keys, so that the scripts are made from it.
  const std::string afi_text = cw::fuzz::AfiLinesFrom(data + 1, split);
  const std::span<const std::uint8_t> bin(data + 1 + split, size - 1 - split);

  const auto reader = cw::dataflash::AfiReader::FromText(afi_text);
  if (!reader) return 0;
  const auto values = cw::dataflash::ReadAfiValues(*reader);
  const auto stored = cw::dataflash::AfiImageFrom(values, true);
  CheckLines(cw::firmware::AfiScript(cw::firmware::FullFlashImage(stored)));
  CheckLines(cw::firmware::UpdateScript(bin));

  const auto plain = cw::dataflash::AfiImageFrom(values, false);
  const cw::common::ProductConstants constants{};
  const auto merged = cw::firmware::MergeConstantsIntoImage(bin, plain, constants);
  if (merged.size() != cw::firmware::kImageSize) __builtin_trap();
  return 0;
}
