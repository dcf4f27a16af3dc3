#pragma once

// A parameter's value as text in the row's format: the text a stored number shows as, the
// number a typed or file text stands for, and the limits it must respect. The bytes the number
// takes in the field are the codec's (param_codec.h).

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "common/error.h"
#include "dataflash/param_def.h"

namespace cw::dataflash {

// Where a value text comes from, which decides what becomes of one outside the limits.
enum class ValueSource : std::uint8_t {
  kTyped,  // an edit or the command line: refused with the limit message
  kFile,   // a constants file, the rows Write All sends: clamped to the violated limit
};

// What is stored for a text, measured against the text.
enum class StoredAs : std::uint8_t {
  kWritten,         // the value the text gives
  kOtherValue,      // a file's value clamped to the limits, a date moved into its fields by the
                    // date rule, a string cut to its field
  kNoCalendarDate,  // a date the field holds as written, though no calendar has that day
};

// The number a row's field holds for a text (a float's bit pattern, a temperature in tenths of
// a kelvin, a date packed into its fields), and whether it is the value written.
struct StoredNumber {
  std::int64_t raw = 0;
  StoredAs stored_as = StoredAs::kWritten;
};

// Reads `text` as the number the row stores (every row but strings; two characters are their
// codes). The
// text must be a number in the row's format and nothing else (or a date), or it is refused with
// the "not a valid number" words. A typed value outside the limits, or one the row's mask would
// change, is refused with the limit message; a file's is clamped to the violated limit, and a
// file's number too large for any type counts as no number: no limit is meant by it.
common::Expected<StoredNumber> ReadStoredNumber(const ParamDef& row, std::string_view text,
                                                ValueSource source);

// The refusal of a text that is no number in the row's format.
std::unexpected<common::Error> NotANumber();

// The text a number held in the row's field shows as (every row but strings).
std::string ShownText(const ParamDef& row, std::uint32_t raw);

// The bits kept by the two rows whose byte keeps only some.
std::optional<std::int32_t> StoredMask(const ParamDef& row);

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
