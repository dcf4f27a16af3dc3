#include "dataflash/param_codec.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <expected>
#include <optional>

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

class RawReader {
 public:
  explicit RawReader(common::ByteView raw) : raw_(raw) {}
  std::uint32_t Byte(std::size_t i) const { return i < raw_.size() ? raw_[i] : 0; }
  std::uint32_t U16() const { return Byte(0) << 8 | Byte(1); }
  std::uint32_t U32() const { return Byte(0) << 24 | Byte(1) << 16 | Byte(2) << 8 | Byte(3); }

 private:
  common::ByteView raw_;
};

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

std::string CountedString(const ParamDef& row, common::ByteView raw) {
  const std::size_t length = std::min<std::size_t>(RawReader(raw).Byte(0), row.conversion);
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    const auto c = static_cast<char>(RawReader(raw).Byte(1 + i));
    text.push_back(c == '\0' ? '@' : c);
  }
  return text;
}

// Value and text by the row's type, for conversions 0 and 1 and codes outside the table.
void DecodeByType(const ParamDef& row, common::ByteView raw, ParamValue& value) {
  const RawReader reader(raw);
  if (row.address() == kManufactureDateAddress) {
    value.raw_value = static_cast<std::int32_t>(reader.U16());
    value.text = DateText(reader.U16());
    return;
  }
  switch (row.type) {
    case kTypeWord:
      value.raw_value = static_cast<std::int32_t>(reader.U16());
      value.text = FormatPrintf(row.format, value.raw_value);
      return;
    case kTypeDword:
      value.raw_value = static_cast<std::int32_t>(reader.U32());
      value.text = FormatPrintf(row.format, reader.U32());
      return;
    case kTypeTwoChars:
      value.raw_value = static_cast<std::int32_t>(reader.U16());
      value.text = TwoNumbers(row.format, static_cast<int>(reader.Byte(0)),
                              static_cast<int>(reader.Byte(1)));
      return;
    case kTypeFloat:
      value.raw_value = static_cast<std::int32_t>(reader.U32());
      value.text =
          FormatPrintf(row.format, static_cast<double>(std::bit_cast<float>(reader.U32())));
      return;
    case kTypeString:
      value.raw_value =
          static_cast<std::int32_t>(std::min<std::uint32_t>(reader.Byte(0), row.conversion));
      value.text = CountedString(row, raw);
      return;
    default:
      value.raw_value = static_cast<std::int32_t>(reader.Byte(0));
      value.text = FormatPrintf(row.format, value.raw_value);
      return;
  }
}

// Numbers far beyond any limit are held at a size that still converts to an integer safely.
constexpr double kHuge = 1e15;

// How the encoders read numbers: the text is the number and nothing else, in the row's format,
// whether typed or read from a file; the digits a text starts with never stand for it.
using Number = std::expected<double, common::NumberError>;
using Integer = std::expected<std::int64_t, common::NumberError>;

Number ReadDecimal(const std::string& text) {
  const auto parsed = common::ParseWholeDecimal(common::TrimBlanks(text));
  if (!parsed) return parsed;
  return std::clamp(*parsed, -kHuge, kHuge);
}

// A decimal integer (signed rows, the cell count).
Integer ReadInteger(const std::string& text) {
  return common::ParseWholeInteger(common::TrimBlanks(text), 10);
}

// An integer as the row's printf format reads it: hexadecimal for "%X" formats, decimal
// otherwise.
Integer ReadWithFormat(std::string_view format, const std::string& text) {
  const bool hex = format.find_first_of("Xx") != std::string_view::npos;
  return common::ParseWholeInteger(common::TrimBlanks(text), hex ? 16 : 10);
}

void PutBigEndian(std::span<std::uint8_t> out, std::uint32_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) {
    out[i] = static_cast<std::uint8_t>(value >> (8 * (bytes - 1 - i)));
  }
}

// The two rows whose byte keeps only some of its bits: a value the mask would change is no value
// they can hold, whatever their limits say.
std::optional<std::int32_t> StoredMask(const ParamDef& row) {
  if (row.name == kAfeOcDsg) return 0x1F;
  if (row.name == kAfeOcDsgTime) return 0x0F;
  return std::nullopt;
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

// One encode: whether a value outside the limits is refused (typed) or clamped (from a file), where
// a refusal is told, and whether the value stored is the one written.
struct Encoding {
  bool interactive;
  common::MessageSink* messages;
  StoredAs stored_as = StoredAs::kWritten;

  void Tell(std::string_view text) const {
    if (interactive && messages != nullptr) messages->Show(text);
  }
};

// Checks `value` against the limits: inside → true; outside → refused when interactive (the
// message is shown), else clamped to the violated limit.
template <typename T>
bool Check(const ParamDef& row, T& value, T low, T high, Encoding& encoding) {
  if (value >= low && value <= high) return true;
  if (encoding.interactive) {
    encoding.Tell(LimitMessage(row));
    return false;
  }
  value = value < low ? low : high;
  encoding.stored_as = StoredAs::kOtherValue;
  return true;
}

// The same for a row shown with decimals, whose limits are printed rounded (65535 × 2^-16 as
// 0.999985): a number outside the limits that prints as one of them is that limit, so that the
// limits a refusal quotes, and the values a saved file holds, are taken as they stand.
template <typename T>
bool CheckShown(const ParamDef& row, double shown, T& value, T low, T high, Encoding& encoding) {
  if (value < low || value > high) {
    const std::string printed = FormatPrintf(row.format, shown);
    if (printed == LimitText(row, row.minimum)) value = low;
    if (printed == LimitText(row, UpperLimit(row))) value = high;
  }
  return Check(row, value, low, high, encoding);
}

std::uint8_t Finish(ParamValue& value, std::int64_t raw, std::span<std::uint8_t> out,
                    std::size_t bytes) {
  PutBigEndian(out, static_cast<std::uint32_t>(raw), bytes);
  const std::uint32_t mask = bytes >= 4 ? 0xFFFFFFFFu : (1u << (8 * bytes)) - 1;
  value.raw_value = static_cast<std::int32_t>(static_cast<std::uint32_t>(raw) & mask);
  return static_cast<std::uint8_t>(bytes);
}

std::uint8_t NotANumber(const Encoding& encoding) {
  encoding.Tell(messages::kNotANumber);
  return kEncodeFailed;
}

// A text that is no number in the row's format, or one beyond every limit. A file's number too
// large for any type is refused with the texts that are no number: no limit is meant by it.
std::uint8_t Unreadable(const ParamDef& row, common::NumberError error, const Encoding& encoding) {
  if (error == common::NumberError::kNotANumber) return NotANumber(encoding);
  encoding.Tell(LimitMessage(row));
  return kEncodeFailed;
}

std::uint8_t EncodeTemperature(const ParamDef& row, ParamValue& value, std::span<std::uint8_t> out,
                               Encoding& encoding) {
  const Number typed = ReadDecimal(value.text);
  if (!typed) return Unreadable(row, typed.error(), encoding);
  auto x = static_cast<float>(*typed);
  const auto low = static_cast<float>(row.minimum * 0.1);
  const auto high = static_cast<float>(row.maximum * 0.1);
  if (!CheckShown(row, *typed, x, low, high, encoding)) return kEncodeFailed;
  const double kelvin_tenths = (static_cast<double>(x) + kKelvinOffsetStored) * 10.0;
  const auto raw = static_cast<std::int64_t>(std::clamp(kelvin_tenths, 0.0, 65535.0));
  return Finish(value, raw, out, 2);
}

std::uint8_t EncodeScaledGain(const ParamDef& row, ParamValue& value, double scale,
                              std::span<std::uint8_t> out, Encoding& encoding) {
  // Truncated as typed, but a value shown with six decimals may sit up to half a millionth
  // below its raw step; without the allowance a saved and reloaded gain would lose one step.
  const Number typed = ReadDecimal(value.text);
  if (!typed) return Unreadable(row, typed.error(), encoding);
  double raw = *typed * scale + kSixDecimalsHalfStep * scale;
  if (!CheckShown(row, *typed, raw, static_cast<double>(row.minimum),
                  static_cast<double>(row.maximum), encoding)) {
    return kEncodeFailed;
  }
  return Finish(value, static_cast<std::int64_t>(raw), out, 2);
}

std::uint8_t EncodeSigned(const ParamDef& row, ParamValue& value, std::span<std::uint8_t> out,
                          Encoding& encoding) {
  const Integer typed = ReadInteger(value.text);
  if (!typed) return Unreadable(row, typed.error(), encoding);
  std::int64_t v = *typed;
  if (row.type == kTypeByteUnchecked) return Finish(value, v, out, 1);
  if (row.type == kTypeByte) {
    const std::int64_t low = static_cast<std::int8_t>(row.minimum);
    const std::int64_t high = static_cast<std::int8_t>(row.maximum);
    if (!Check(row, v, low, high, encoding)) return kEncodeFailed;
    return Finish(value, v, out, 1);
  }
  const std::int64_t low = static_cast<std::int16_t>(row.minimum);
  const std::int64_t high = static_cast<std::int16_t>(row.maximum);
  if (!Check(row, v, low, high, encoding)) return kEncodeFailed;
  return Finish(value, v, out, 2);
}

// A date is three unsigned numbers joined by "-" and nothing else.
bool ReadWholeDate(const std::string& text, int& year, int& month, int& day) {
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

std::uint8_t EncodeDate(ParamValue& value, std::span<std::uint8_t> out, Encoding& encoding) {
  int year = 0;
  int month = 0;
  int day = 0;
  if (!ReadWholeDate(value.text, year, month, day)) return NotANumber(encoding);
  const int written[] = {year, month, day};
  // Outside the seven bits of the year field a year would spill into nothing sensible.
  year = std::clamp(year, kFirstYear, kLastYear);
  month = std::clamp(month, 1, 12);
  day &= 0x1F;
  if (day == 0) day = 1;
  if (year != written[0] || month != written[1] || day != written[2]) {
    encoding.stored_as = StoredAs::kOtherValue;
  } else if (!IsCalendarDate(year, month, day)) {
    encoding.stored_as = StoredAs::kNoCalendarDate;
  }
  return Finish(value, day + month * 32 + (year - kFirstYear) * 512, out, 2);
}

std::uint8_t EncodeString(const ParamDef& row, ParamValue& value, std::span<std::uint8_t> out,
                          Encoding& encoding) {
  if (value.text.size() > row.conversion) {
    value.text.resize(row.conversion);
    encoding.stored_as = StoredAs::kOtherValue;
  }
  const std::size_t length = value.text.size();
  out[0] = static_cast<std::uint8_t>(length);
  for (std::size_t i = 0; i < length; ++i) {
    out[1 + i] = value.text[i] == '@' ? 0 : static_cast<std::uint8_t>(value.text[i]);
  }
  value.raw_value = static_cast<std::int32_t>(length);
  return static_cast<std::uint8_t>(length + 1);
}

std::uint8_t EncodeTwoChars(ParamValue& value, std::span<std::uint8_t> out) {
  std::string chars = value.text.empty()       ? std::string("00")
                      : value.text.size() == 1 ? "0" + value.text
                                               : value.text.substr(0, 2);
  out[0] = static_cast<std::uint8_t>(chars[0]);
  out[1] = static_cast<std::uint8_t>(chars[1]);
  value.raw_value = out[0] << 8 | out[1];
  return 2;
}

std::uint8_t EncodeFloat(const ParamDef& row, ParamValue& value, std::span<std::uint8_t> out,
                         Encoding& encoding) {
  const Number typed = ReadDecimal(value.text);
  if (!typed) return Unreadable(row, typed.error(), encoding);
  if (row.name == kCcGainName) {
    // The gauge works with the gain in steps of 2^-14, so that is what is stored.
    double q = std::nearbyint(*typed * kCcGainScale);
    if (!CheckShown(row, *typed, q, static_cast<double>(row.minimum),
                    static_cast<double>(row.maximum), encoding)) {
      return kEncodeFailed;
    }
    const auto stored = static_cast<float>(q / kCcGainScale);
    return Finish(value, std::bit_cast<std::uint32_t>(stored), out, 4);
  }
  auto x = static_cast<float>(*typed);
  if (!CheckShown(row, *typed, x, static_cast<float>(row.minimum), static_cast<float>(row.maximum),
                  encoding)) {
    return kEncodeFailed;
  }
  return Finish(value, std::bit_cast<std::uint32_t>(x), out, 4);
}

std::uint8_t EncodeByFormat(const ParamDef& row, ParamValue& value, std::span<std::uint8_t> out,
                            Encoding& encoding) {
  const Integer parsed = ReadWithFormat(row.format, value.text);
  if (!parsed) return Unreadable(row, parsed.error(), encoding);
  std::int64_t v = *parsed;
  switch (row.type) {
    case kTypeByteUnchecked:
      return Finish(value, v, out, 1);
    case kTypeByte:
      if (!Check<std::int64_t>(row, v, row.minimum & 0xFF, UpperLimit(row) & 0xFF, encoding)) {
        return kEncodeFailed;
      }
      return Finish(value, v, out, 1);
    case kTypeWord:
      if (!Check<std::int64_t>(row, v, row.minimum & 0xFFFF, row.maximum & 0xFFFF, encoding)) {
        return kEncodeFailed;
      }
      return Finish(value, v, out, 2);
    case kTypeDword:
      if (!Check<std::int64_t>(row, v, static_cast<std::uint32_t>(row.minimum),
                               static_cast<std::uint32_t>(row.maximum), encoding)) {
        return kEncodeFailed;
      }
      return Finish(value, v, out, 4);
    default:
      return kEncodeFailed;
  }
}

std::uint8_t EncodeByConversion(const ParamDef& row, ParamValue& value, std::span<std::uint8_t> out,
                                Encoding& encoding) {
  switch (row.conversion) {
    case kConvTemperature:
    case kConvTemperatureAlt:
      return EncodeTemperature(row, value, out, encoding);
    case kConvEnergy: {
      const Integer parsed = ReadWithFormat(row.format, value.text);
      if (!parsed) return Unreadable(row, parsed.error(), encoding);
      std::int64_t v = *parsed;
      if (!Check<std::int64_t>(row, v, row.minimum & 0xFFFF, row.maximum & 0xFFFF, encoding)) {
        return kEncodeFailed;
      }
      return Finish(value, v, out, 2);
    }
    case kConvHundreds: {
      const Number typed = ReadDecimal(value.text);
      if (!typed) return Unreadable(row, typed.error(), encoding);
      auto v = static_cast<std::int64_t>(*typed * 100.0 + 0.5);
      if (!Check<std::int64_t>(row, v, row.minimum, row.maximum, encoding)) return kEncodeFailed;
      return Finish(value, v, out, 1);
    }
    case kConvGain12:
      return EncodeScaledGain(row, value, kGain12, out, encoding);
    case kConvGain16:
      return EncodeScaledGain(row, value, kGain16, out, encoding);
    case kConvSigned:
      return EncodeSigned(row, value, out, encoding);
    case kConvCellCount: {
      const Integer typed = ReadInteger(value.text);
      if (!typed) return Unreadable(row, typed.error(), encoding);
      const std::int64_t v = *typed;
      const std::int64_t code = v >= 9 ? 3 : v >= 7 ? 2 : v >= 5 ? 1 : 0;
      return Finish(value, code, out, 1);
    }
    default:
      break;
  }
  if (row.address() == kManufactureDateAddress) return EncodeDate(value, out, encoding);
  switch (row.type) {
    case kTypeString:
      return EncodeString(row, value, out, encoding);
    case kTypeTwoChars:
      return EncodeTwoChars(value, out);
    case kTypeFloat:
      return EncodeFloat(row, value, out, encoding);
    default:
      return EncodeByFormat(row, value, out, encoding);
  }
}

}  // namespace

void DecodeParam(const ParamDef& row, common::ByteView raw, ParamValue& value) {
  const RawReader reader(raw);
  switch (row.conversion) {
    case kConvCellCount: {
      value.raw_value = static_cast<std::int32_t>(reader.Byte(0));
      value.text = FormatPrintf(row.format, 3 + 2 * static_cast<int>(reader.Byte(0) & 3));
      break;
    }
    case kConvTemperature:
    case kConvTemperatureAlt:
      value.raw_value = static_cast<std::int32_t>(reader.U16());
      value.text = FormatPrintf(row.format, reader.U16() * 0.1 - kKelvinOffsetShown);
      break;
    case kConvEnergy:
      value.raw_value = static_cast<std::int32_t>(reader.U16());
      value.text = FormatPrintf(row.format, value.raw_value);
      break;
    case kConvHundreds:
      value.raw_value = static_cast<std::int32_t>(reader.Byte(0));
      value.text = TwoNumbers(row.format, value.raw_value / 100, value.raw_value % 100);
      break;
    case kConvGain12:
      value.raw_value = static_cast<std::int32_t>(reader.U16());
      value.text = FormatPrintf(row.format, reader.U16() / kGain12);
      break;
    case kConvGain16:
      value.raw_value = static_cast<std::int32_t>(reader.U16());
      value.text = FormatPrintf(row.format, reader.U16() / kGain16);
      break;
    case kConvSigned:
      if (row.type == kTypeByte || row.type == kTypeByteUnchecked) {
        value.raw_value = static_cast<std::int32_t>(reader.Byte(0));
        value.text = FormatPrintf(row.format, int{static_cast<std::int8_t>(reader.Byte(0))});
      } else {
        value.raw_value = static_cast<std::int32_t>(reader.U16());
        value.text = FormatPrintf(row.format, int{static_cast<std::int16_t>(reader.U16())});
      }
      break;
    default:
      DecodeByType(row, raw, value);
      break;
  }
  if (const auto mask = StoredMask(row)) {
    value.raw_value &= *mask;
    value.text = FormatPrintf(row.format, value.raw_value);
  }
  if (value.text.size() > kMaxValueText) value.text.resize(kMaxValueText);
}

std::uint8_t EncodeParam(const ParamDef& row, ParamValue& value, std::span<std::uint8_t> out,
                         bool interactive, common::MessageSink* messages, StoredAs* stored_as) {
  if (out.size() < kMaxFieldSize) return kEncodeFailed;
  Encoding encoding{interactive, messages};
  // Cut to what a value holds, a longer text could leave a number it is not ("2600 ... x").
  if (value.text.size() > kMaxValueText && row.type != kTypeString) return NotANumber(encoding);
  const std::string written = value.text;
  const std::uint8_t size = EncodeByConversion(row, value, out, encoding);
  if (size == kEncodeFailed) return kEncodeFailed;
  if (stored_as != nullptr) *stored_as = encoding.stored_as;
  if (encoding.stored_as != StoredAs::kWritten && interactive && messages != nullptr) {
    messages->Show(StoredAsNote(row, written, out.first(size), encoding.stored_as),
                   common::kDefaultCaption, common::MessageIcon::kWarning);
  }
  return size;
}

std::string StoredAsNote(const ParamDef& row, std::string_view written, common::ByteView encoded,
                         StoredAs stored_as) {
  if (stored_as == StoredAs::kNoCalendarDate) {
    return fmt::format(messages::kNoCalendarDate, fmt::format("{} {}", row.name, written));
  }
  ParamValue stored;
  DecodeParam(row, encoded, stored);
  return fmt::format(messages::kTakenAs, row.name, written, stored.text);
}

std::size_t RawSize(const ParamDef& row) {
  switch (row.conversion) {
    case kConvCellCount:
    case kConvHundreds:
      return 1;
    case kConvTemperature:
    case kConvTemperatureAlt:
    case kConvEnergy:
    case kConvGain12:
    case kConvGain16:
      return 2;
    case kConvSigned:
      return row.type == kTypeByte || row.type == kTypeByteUnchecked ? 1 : 2;
    default:
      break;
  }
  if (row.address() == kManufactureDateAddress) return 2;
  switch (row.type) {
    case kTypeWord:
    case kTypeTwoChars:
      return 2;
    case kTypeFloat:
    case kTypeDword:
      return 4;
    case kTypeString:
      return std::size_t{row.conversion} + 1;
    default:
      return 1;
  }
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
