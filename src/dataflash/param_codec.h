#pragma once

// A parameter's bytes in its field: what a field's bytes show as, and the bytes a value text
// becomes. What a text means for the row is value_text.h's.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/error.h"
#include "dataflash/param_def.h"
#include "dataflash/value_text.h"

namespace cw::dataflash {

// The live part of a parameter row: the text shown and typed, and the raw value behind it
// (the unsigned byte pattern of the field; -1 before the first decode or encode).
struct ParamValue {
  std::int32_t raw_value = -1;
  std::string text;
  bool operator==(const ParamValue&) const = default;
};

// A displayed value never holds more than this many characters.
inline constexpr std::size_t kMaxValueText = 32;
// Room for the longest field (a 20-character counted string).
inline constexpr std::size_t kMaxFieldSize = 21;

// Decodes the row's field from `raw`, which starts at the row's first byte. Fewer bytes than the
// field needs count as zeros.
void DecodeParam(const ParamDef& row, common::ByteView raw, ParamValue& value);

// A value text as the row's field holds it.
struct EncodedValue {
  std::array<std::uint8_t, kMaxFieldSize> field{};
  std::size_t size = 0;
  // The text encoded (a string cut to its field) and the raw value of the bytes.
  ParamValue value;
  StoredAs stored_as = StoredAs::kWritten;
  // "Manuf Date 2108-1-1 is taken as 2107-1-1.": what was stored, when it is not the value
  // written; empty otherwise.
  std::string note;

  common::ByteView bytes() const { return {field.data(), size}; }
};

// Encodes `text` for the row. A number, or date, is read by ReadStoredNumber's rules (refused
// with its words; outside the limits refused when typed, clamped from a file). A string longer
// than the row allows is cut; a text longer than a row shows is no number.
common::Expected<EncodedValue> EncodeParam(const ParamDef& row, std::string_view text,
                                           ValueSource source);

// Bytes DecodeParam reads for the row: the conversion decides before the type (a gain kept in a
// four-byte field decodes from two). Strings: the whole field.
std::size_t RawSize(const ParamDef& row);

}  // namespace cw::dataflash
