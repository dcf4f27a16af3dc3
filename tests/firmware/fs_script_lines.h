#pragma once

#include <fmt/format.h>

#include <string>
#include <string_view>

#include "common/bytes.h"
#include "firmware/fs_script_reader.h"
#include "link/pec.h"

// Script lines for the FS script tests, written with the PEC they must carry.
namespace cw::firmware::fs_lines {

inline common::Bytes HexBytes(std::string_view text) {
  common::Bytes bytes;
  for (std::size_t at = 0; at + 1 < text.size(); at += 3) {
    bytes.push_back(
        static_cast<std::uint8_t>(std::stoul(std::string(text.substr(at, 2)), nullptr, 16)));
  }
  return bytes;
}

// "W: 16 <command> <data> PEC" with the PEC a write carries.
inline std::string W(std::string_view bytes) {
  common::Bytes all = HexBytes(bytes);
  all.insert(all.begin(), 0x16);
  return fmt::format("W: 16 {} {:02X}", bytes, link::Pec(all));
}

// "C: 16 <command> <data> PEC" with the PEC the gauge sends.
inline std::string C(std::string_view bytes) {
  common::Bytes all = HexBytes(bytes);
  all.insert(all.begin(), 0x16);
  all.insert(all.begin() + 2, 0x17);
  return fmt::format("C: 16 {} {:02X}", bytes, link::Pec(all));
}

inline FsCheckReport Check(std::string_view text) {
  return CheckFsScript(
      common::ByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace cw::firmware::fs_lines
