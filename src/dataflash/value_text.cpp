#include "dataflash/value_text.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#include "common/parse.h"
#include "common/printf_format.h"
#include "dataflash/messages.h"

namespace cw::dataflash {
namespace {

using common::FormatPrintf;

constexpr double kKelvinOffsetShown = 273.1;
constexpr double kKelvinOffsetStored = 273.15;
constexpr double kGain12 = 4096.0;
constexpr double kGain16 = 65536.0;
constexpr double kCcGainScale = 16384.0;
constexpr double kSixDecimalsHalfStep = 0.5e-6;
constexpr std::string_view kCcGainName = "CC Gain";
constexpr std::string_view kAfeOcDsg = "AFE OC Dsg";
constexpr std::string_view kAfeOcDsgTime = "AFE OC Dsg Time";
// Years the date field can carry: seven bits counted from 1980.
constexpr int kFirstYear = 1980;
constexpr int kLastYear = kFirstYear + 127;

bool IsTemperature(std::uint8_t conversion) {
  return conversion == kConvTemperature || conversion == kConvTemperatureAlt;
}

// A row whose value is two numbers (hundreds, or two bytes) prints as "a.b".
std::string TwoNumbers(std::string_view format, int first, int second) {
  return FormatPrintf(format, first) + "." + FormatPrintf("%02d", second);
}

std::string DateText(std::uint32_t raw) {
  const std::uint32_t high = raw >> 8;
  const std::uint32_t low = raw & 0xFF;
  const std::uint32_t year = high / 2 + kFirstYear;
  std::uint32_t month = ((high & 1) << 3) | (low >> 5);
  if (month == 0) month = 1;
  if (month > 12) month = 12;
  std::uint32_t day = low & 0x1F;
  if (day == 0) day = 1;
  return fmt::format("{}-{}-{}", year, month, day);
}

// Text by the row's type, for conversions 0 and 1 and codes outside the table.
std::string ShownByType(const ParamDef& row, std::uint32_t raw) {
  if (row.address() == kManufactureDateAddress) return DateText(raw);
  switch (row.type) {
    case kTypeDword:
      return FormatPrintf(row.format, raw);
    case kTypeTwoChars:
      return TwoNumbers(row.format, static_cast<int>(raw >> 8), static_cast<int>(raw & 0xFF));
    case kTypeFloat:
      return FormatPrintf(row.format, static_cast<double>(std::bit_cast<float>(raw)));
    default:
      return FormatPrintf(row.format, static_cast<std::int32_t>(raw));
  }
}

std::int32_t UpperLimit(const ParamDef& row) {
  const auto mask = StoredMask(row);
  return mask ? std::min(row.maximum, *mask) : row.maximum;
}

// A limit as the row displays values of its kind.
std::string LimitText(const ParamDef& row, std::int32_t limit) {
  if (IsTemperature(row.conversion)) return FormatPrintf(row.format, limit * 0.1);
  switch (row.conversion) {
    case kConvHundreds:
      return TwoNumbers(row.format, limit / 100, limit % 100);
    case kConvGain12:
      return FormatPrintf(row.format, limit / kGain12);
    case kConvGain16:
      return FormatPrintf(row.format, limit / kGain16);
    default:
      break;
  }
  if (row.type == kTypeFloat && row.name == kCcGainName) {
    return FormatPrintf(row.format, limit / kCcGainScale);
  }
  if (row.type == kTypeFloat) return FormatPrintf(row.format, static_cast<double>(limit));
  return FormatPrintf(row.format, limit);
}

// Numbers far beyond any limit are held at a size that still converts to an integer safely.
constexpr double kHuge = 1e15;

// How numbers are read: the text is the number and nothing else, in the row's format, whether
// typed or read from a file; the digits a text starts with never stand for it.
using Number = std::expected<double, common::NumberError>;
using Integer = std::expected<std::int64_t, common::NumberError>;

Number ReadDecimal(std::string_view text) {
  const auto parsed = common::ParseWholeDecimal(common::TrimBlanks(text));
  if (!parsed) return parsed;
  return std::clamp(*parsed, -kHuge, kHuge);
}

// A decimal integer (signed rows, the cell count).
Integer ReadInteger(std::string_view text) {
  return common::ParseWholeInteger(common::TrimBlanks(text), 10);
}

// An integer as the row's printf format reads it: hexadecimal for "%X" formats, decimal
// otherwise.
Integer ReadWithFormat(std::string_view format, std::string_view text) {
  const bool hex = format.find_first_of("Xx") != std::string_view::npos;
  return common::ParseWholeInteger(common::TrimBlanks(text), hex ? 16 : 10);
}

using Reading = common::Expected<StoredNumber>;

std::unexpected<common::Error> OutOfLimits(const ParamDef& row) {
  return common::Fail(common::ErrorKind::kOutOfLimits, LimitMessage(row));
}

// One reading: whether a value outside the limits is refused or clamped, and whether the value
// stored is the one written.
struct Rules {
  ValueSource source;
  StoredAs stored_as = StoredAs::kWritten;

  StoredNumber Stored(std::int64_t raw) const { return {raw, stored_as}; }
};

// Inside the limits `value` stands; outside, a file's value is clamped to the violated limit
// and a typed one refused (false).
template <typename T>
bool WithinLimits(T& value, T low, T high, Rules& rules) {
  if (value >= low && value <= high) return true;
  if (rules.source == ValueSource::kTyped) return false;
  value = value < low ? low : high;
  rules.stored_as = StoredAs::kOtherValue;
  return true;
}

// The same for a row shown with decimals, whose limits are printed rounded (65535 × 2^-16 as
// 0.999985): a number outside the limits that prints as one of them is that limit, so that the
// limits a refusal quotes, and the values a saved file holds, are taken as they stand.
template <typename T>
bool ShownWithinLimits(const ParamDef& row, double shown, T& value, T low, T high, Rules& rules) {
  if (value < low || value > high) {
    const std::string printed = FormatPrintf(row.format, shown);
    if (printed == LimitText(row, row.minimum)) value = low;
    if (printed == LimitText(row, UpperLimit(row))) value = high;
  }
  return WithinLimits(value, low, high, rules);
}

// A text that is no number in the row's format, or one beyond every limit: typed, that is out of
// the limits; in a file no limit is meant by it.
std::unexpected<common::Error> Unreadable(const ParamDef& row, common::NumberError error,
                                          const Rules& rules) {
  if (error == common::NumberError::kNotANumber || rules.source == ValueSource::kFile) {
    return NotANumber();
  }
  return OutOfLimits(row);
}

Reading ReadTemperature(const ParamDef& row, std::string_view text, Rules& rules) {
  const Number typed = ReadDecimal(text);
  if (!typed) return Unreadable(row, typed.error(), rules);
  auto x = static_cast<float>(*typed);
  const auto low = static_cast<float>(row.minimum * 0.1);
  const auto high = static_cast<float>(row.maximum * 0.1);
  if (!ShownWithinLimits(row, *typed, x, low, high, rules)) return OutOfLimits(row);
  const double kelvin_tenths = (static_cast<double>(x) + kKelvinOffsetStored) * 10.0;
  return rules.Stored(static_cast<std::int64_t>(std::clamp(kelvin_tenths, 0.0, 65535.0)));
}

Reading ReadScaledGain(const ParamDef& row, std::string_view text, double scale, Rules& rules) {
  // Truncated as typed, but a value shown with six decimals may sit up to half a millionth
  // below its raw step; without the allowance a saved and reloaded gain would lose one step.
  const Number typed = ReadDecimal(text);
  if (!typed) return Unreadable(row, typed.error(), rules);
  double raw = *typed * scale + kSixDecimalsHalfStep * scale;
  if (!ShownWithinLimits(row, *typed, raw, static_cast<double>(row.minimum),
                         static_cast<double>(row.maximum), rules)) {
    return OutOfLimits(row);
  }
  return rules.Stored(static_cast<std::int64_t>(raw));
}

// An integer read within `low` to `high`.
Reading IntegerWithin(const ParamDef& row, const Integer& typed, std::int64_t low,
                      std::int64_t high, Rules& rules) {
  if (!typed) return Unreadable(row, typed.error(), rules);
  std::int64_t v = *typed;
  if (!WithinLimits(v, low, high, rules)) return OutOfLimits(row);
  return rules.Stored(v);
}

// An integer read for the unchecked byte, stored whatever its limits.
Reading IntegerUnchecked(const ParamDef& row, const Integer& typed, const Rules& rules) {
  if (!typed) return Unreadable(row, typed.error(), rules);
  return rules.Stored(*typed);
}

Reading ReadSigned(const ParamDef& row, std::string_view text, Rules& rules) {
  const Integer typed = ReadInteger(text);
  if (row.type == kTypeByteUnchecked) return IntegerUnchecked(row, typed, rules);
  if (row.type == kTypeByte) {
    return IntegerWithin(row, typed, static_cast<std::int8_t>(row.minimum),
                         static_cast<std::int8_t>(row.maximum), rules);
  }
  return IntegerWithin(row, typed, static_cast<std::int16_t>(row.minimum),
                       static_cast<std::int16_t>(row.maximum), rules);
}

// A date is three unsigned numbers joined by "-" and nothing else.
bool ReadWholeDate(std::string_view text, int& year, int& month, int& day) {
  const std::string_view typed = common::TrimBlanks(text);
  const auto first = typed.find('-');
  const auto second = first == std::string_view::npos ? first : typed.find('-', first + 1);
  if (second == std::string_view::npos) return false;
  const std::string_view fields[] = {typed.substr(0, first),
                                     typed.substr(first + 1, second - first - 1),
                                     typed.substr(second + 1)};
  int* targets[] = {&year, &month, &day};
  for (std::size_t i = 0; i < 3; ++i) {
    if (fields[i].empty() || fields[i].front() == '+' || fields[i].front() == '-') return false;
    const auto number = common::ParseWholeInteger(fields[i], 10);
    if (!number) return false;
    *targets[i] = static_cast<int>(std::min<std::int64_t>(*number, 1'000'000));
  }
  return true;
}

bool IsCalendarDate(int year, int month, int day) {
  constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  const int last = month == 2 && leap ? 29 : kDays[static_cast<std::size_t>(month - 1)];
  return day <= last;
}

Reading ReadDate(std::string_view text, Rules& rules) {
  int year = 0;
  int month = 0;
  int day = 0;
  if (!ReadWholeDate(text, year, month, day)) return NotANumber();
  const int written[] = {year, month, day};
  // Outside the seven bits of the year field a year would spill into nothing sensible.
  year = std::clamp(year, kFirstYear, kLastYear);
  month = std::clamp(month, 1, 12);
  day &= 0x1F;
  if (day == 0) day = 1;
  if (year != written[0] || month != written[1] || day != written[2]) {
    rules.stored_as = StoredAs::kOtherValue;
  } else if (!IsCalendarDate(year, month, day)) {
    rules.stored_as = StoredAs::kNoCalendarDate;
  }
  return rules.Stored(day + month * 32 + (year - kFirstYear) * 512);
}

// An empty text stores "00", a one-character text c stores "0c", a longer one its first two.
StoredNumber TwoCharacters(std::string_view text) {
  const std::string chars = text.empty()       ? std::string("00")
                            : text.size() == 1 ? "0" + std::string(text)
                                               : std::string(text.substr(0, 2));
  return {static_cast<std::uint8_t>(chars[0]) << 8 | static_cast<std::uint8_t>(chars[1])};
}

Reading ReadFloat(const ParamDef& row, std::string_view text, Rules& rules) {
  const Number typed = ReadDecimal(text);
  if (!typed) return Unreadable(row, typed.error(), rules);
  if (row.name == kCcGainName) {
    // The gauge works with the gain in steps of 2^-14, so that is what is stored.
    double q = std::nearbyint(*typed * kCcGainScale);
    if (!ShownWithinLimits(row, *typed, q, static_cast<double>(row.minimum),
                           static_cast<double>(row.maximum), rules)) {
      return OutOfLimits(row);
    }
    return rules.Stored(std::bit_cast<std::uint32_t>(static_cast<float>(q / kCcGainScale)));
  }
  auto x = static_cast<float>(*typed);
  if (!ShownWithinLimits(row, *typed, x, static_cast<float>(row.minimum),
                         static_cast<float>(row.maximum), rules)) {
    return OutOfLimits(row);
  }
  return rules.Stored(std::bit_cast<std::uint32_t>(x));
}

Reading ReadByFormat(const ParamDef& row, std::string_view text, Rules& rules) {
  const Integer typed = ReadWithFormat(row.format, text);
  switch (row.type) {
    case kTypeByteUnchecked:
      return IntegerUnchecked(row, typed, rules);
    case kTypeByte:
      return IntegerWithin(row, typed, row.minimum & 0xFF, UpperLimit(row) & 0xFF, rules);
    case kTypeWord:
      return IntegerWithin(row, typed, row.minimum & 0xFFFF, row.maximum & 0xFFFF, rules);
    case kTypeDword:
      return IntegerWithin(row, typed, static_cast<std::uint32_t>(row.minimum),
                           static_cast<std::uint32_t>(row.maximum), rules);
    default:
      return NotANumber();
  }
}

}  // namespace

common::Expected<StoredNumber> ReadStoredNumber(const ParamDef& row, std::string_view text,
                                                ValueSource source) {
  Rules rules{source};
  switch (row.conversion) {
    case kConvTemperature:
    case kConvTemperatureAlt:
      return ReadTemperature(row, text, rules);
    case kConvEnergy:
      return IntegerWithin(row, ReadWithFormat(row.format, text), row.minimum & 0xFFFF,
                           row.maximum & 0xFFFF, rules);
    case kConvHundreds: {
      const Number typed = ReadDecimal(text);
      if (!typed) return Unreadable(row, typed.error(), rules);
      return IntegerWithin(row, static_cast<std::int64_t>(*typed * 100.0 + 0.5), row.minimum,
                           row.maximum, rules);
    }
    case kConvGain12:
      return ReadScaledGain(row, text, kGain12, rules);
    case kConvGain16:
      return ReadScaledGain(row, text, kGain16, rules);
    case kConvSigned:
      return ReadSigned(row, text, rules);
    case kConvCellCount: {
      const Integer typed = ReadInteger(text);
      if (!typed) return Unreadable(row, typed.error(), rules);
      return rules.Stored(*typed >= 9 ? 3 : *typed >= 7 ? 2 : *typed >= 5 ? 1 : 0);
    }
    default:
      break;
  }
  if (row.address() == kManufactureDateAddress) return ReadDate(text, rules);
  if (row.type == kTypeTwoChars) return TwoCharacters(text);
  if (row.type == kTypeFloat) return ReadFloat(row, text, rules);
  return ReadByFormat(row, text, rules);
}

std::unexpected<common::Error> NotANumber() {
  return common::Fail(common::ErrorKind::kUsage, std::string(messages::kNotANumber));
}

std::string ShownText(const ParamDef& row, std::uint32_t raw) {
  switch (row.conversion) {
    case kConvCellCount:
      return FormatPrintf(row.format, 3 + 2 * static_cast<int>(raw & 3));
    case kConvTemperature:
    case kConvTemperatureAlt:
      return FormatPrintf(row.format, raw * 0.1 - kKelvinOffsetShown);
    case kConvEnergy:
      return FormatPrintf(row.format, static_cast<std::int32_t>(raw));
    case kConvHundreds:
      return TwoNumbers(row.format, static_cast<int>(raw / 100), static_cast<int>(raw % 100));
    case kConvGain12:
      return FormatPrintf(row.format, raw / kGain12);
    case kConvGain16:
      return FormatPrintf(row.format, raw / kGain16);
    case kConvSigned:
      if (row.type == kTypeByte || row.type == kTypeByteUnchecked) {
        return FormatPrintf(row.format, int{static_cast<std::int8_t>(raw)});
      }
      return FormatPrintf(row.format, int{static_cast<std::int16_t>(raw)});
    default:
      return ShownByType(row, raw);
  }
}

std::optional<std::int32_t> StoredMask(const ParamDef& row) {
  if (row.name == kAfeOcDsg) return 0x1F;
  if (row.name == kAfeOcDsgTime) return 0x0F;
  return std::nullopt;
}

ShownLimits LimitTexts(const ParamDef& row) {
  return {LimitText(row, row.minimum), LimitText(row, UpperLimit(row))};
}

std::string LimitMessage(const ParamDef& row) {
  const ShownLimits limits = LimitTexts(row);
  return std::string(messages::kOutOfLimitsPrefix) + limits.low + " and " + limits.high + " " +
         std::string(row.unit);
}

}  // namespace cw::dataflash
