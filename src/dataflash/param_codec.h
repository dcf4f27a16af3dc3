#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/bytes.h"
#include "common/front_end.h"
#include "dataflash/param_def.h"

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
// EncodeParam's result for a refused value.
inline constexpr std::uint8_t kEncodeFailed = 255;
// Room for the longest field (a 20-character counted string).
inline constexpr std::size_t kMaxFieldSize = 21;

// Decodes the row's field from `raw`, which starts at the row's first byte. Fewer bytes than the
// field needs count as zeros.
void DecodeParam(const ParamDef& row, common::ByteView raw, ParamValue& value);

// What EncodeParam stored, measured against the text it was given.
enum class StoredAs : std::uint8_t {
  kWritten,         // the value the text gives
  kOtherValue,      // a file's value clamped to the limits, a date moved into its fields by the
                    // date rule, a string cut to its field
  kNoCalendarDate,  // a date the field holds as written, though no calendar has that day
};

// Encodes `value.text` into `out` (at least kMaxFieldSize bytes) and returns the number of bytes
// written, or kEncodeFailed. Typed or read from a file, the text must be a number in the row's
// format and nothing else (or a date, or a string), or it is refused; `messages` is told when
// `interactive`. Interactive (a value typed in an edit or on the command line): a value outside
// the limits, or one the row's mask would change, is refused with the limit message; a value
// kept by the date or string rule but stored otherwise is stored with a warning that says so.
// Otherwise (file loads, Write All) a value outside the limits is clamped to the violated limit.
// A string longer than the row allows is cut, and `value.text` with it. `stored_as`, when given,
// says whether the value stored is the one written.
std::uint8_t EncodeParam(const ParamDef& row, ParamValue& value, std::span<std::uint8_t> out,
                         bool interactive, common::MessageSink* messages,
                         StoredAs* stored_as = nullptr);

// "Manuf Date 2108-1-1 is taken as 2107-1-1.": what an encode of `written` stored as `encoded`,
// when it is not the value written.
std::string StoredAsNote(const ParamDef& row, std::string_view written, common::ByteView encoded,
                         StoredAs stored_as);

// Bytes DecodeParam reads for the row: the conversion decides before the type (a gain kept in a
// four-byte field decodes from two). Strings: the whole field.
std::size_t RawSize(const ParamDef& row);

// The lower and upper limit a typed value must respect, printed as the row displays its values.
struct ShownLimits {
  std::string low;
  std::string high;
};
ShownLimits LimitTexts(const ParamDef& row);

// "The value entered is out of limits. Please enter a value between MIN and MAX UNIT", the
// limits printed as the row displays its values.
std::string LimitMessage(const ParamDef& row);

}  // namespace cw::dataflash
