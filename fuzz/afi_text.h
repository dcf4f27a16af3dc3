#pragma once

#include <cstdint>
#include <string>

#include "dataflash/afi_file.h"
#include "dataflash/parameter_table.h"

namespace cw::fuzz {

// Random bytes almost never make a constants file, and a reader refuses the rest before judging
// a single value. These read the same bytes as "[FlashData]" lines: each pair picks a known key
// (a parameter or an AlgorithmData number, now and then one that is no key) and a value length,
// and the value is the bytes that follow, line breaks and NULs turned into blanks.
inline std::string AfiLinesFrom(const std::uint8_t* data, std::size_t size) {
  std::string text = "[FlashData]\n";
  for (std::size_t i = 0; i + 2 <= size;) {
    const std::size_t pick = std::size_t{data[i]} << 8 | data[i + 1];
    const std::size_t length = data[i] % 16;
    i += 2;
    const std::size_t keys = dataflash::kParamCount + dataflash::kAlgorithmKeyCount + 8;
    const std::size_t key = pick % keys;
    if (key < dataflash::kParamCount) {
      text += dataflash::kParams[key].name;
    } else {
      text += std::string(dataflash::kAlgorithmKeyPrefix) +
              std::to_string(key - dataflash::kParamCount);
    }
    text += "=";
    for (std::size_t end = std::min(size, i + length); i < end; ++i) {
      const char c = static_cast<char>(data[i]);
      text += c == '\n' || c == '\r' || c == '\0' ? ' ' : c;
    }
    text += "\n";
  }
  return text;
}

}  // namespace cw::fuzz
