#pragma once

#include <cstdint>
#include <string>

#include "common/bytes.h"

namespace cw::link {

// The part of a register row that the row-form transactions read and write.
struct RegisterRow {
  std::uint8_t command = 0;
  std::int32_t raw_value = -1;  // -1: not read, or the last read failed
  std::string format = "%s";    // printf format of the value text (block reads)
  std::string value_text;
  std::uint8_t max_length = 32;  // longest block the row expects
};

// Where one data-flash parameter lives: enough to read and write its pages.
struct FlashParamLocation {
  std::uint8_t subclass = 0;
  std::uint8_t offset = 0;           // byte offset inside the subclass
  std::uint8_t size = 1;             // bytes of the field
  std::uint8_t subclass_length = 0;  // bytes of the whole subclass
};

// Pages read for one parameter: `bytes` start at byte first_page * 32 of the subclass.
struct FlashPages {
  std::uint8_t first_page = 0;
  common::Bytes bytes;
};

}  // namespace cw::link
