#include "dataflash/param_codec.h"

#include <fmt/format.h>

#include <algorithm>

#include "dataflash/messages.h"

namespace cw::dataflash {
namespace {

std::uint32_t ByteAt(common::ByteView raw, std::size_t i) { return i < raw.size() ? raw[i] : 0; }

std::uint32_t BigEndian(common::ByteView raw, std::size_t bytes) {
  std::uint32_t number = 0;
  for (std::size_t i = 0; i < bytes; ++i) number = number << 8 | ByteAt(raw, i);
  return number;
}

// A string's field: its length, then its characters, a NUL shown as '@'. The row's conversion
// holds the longest length it takes.
void DecodeCountedString(const ParamDef& row, common::ByteView raw, ParamValue& value) {
  const std::size_t length = std::min<std::size_t>(ByteAt(raw, 0), row.conversion);
  value.raw_value = static_cast<std::int32_t>(length);
  value.text.clear();
  for (std::size_t i = 0; i < length; ++i) {
    const auto c = static_cast<char>(ByteAt(raw, 1 + i));
    value.text.push_back(c == '\0' ? '@' : c);
  }
}

void EncodeCountedString(const ParamDef& row, std::string_view text, EncodedValue& encoded) {
  if (text.size() > row.conversion) {
    text = text.substr(0, row.conversion);
    encoded.stored_as = StoredAs::kOtherValue;
  }
  encoded.field[0] = static_cast<std::uint8_t>(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    encoded.field[1 + i] = text[i] == '@' ? 0 : static_cast<std::uint8_t>(text[i]);
  }
  encoded.size = text.size() + 1;
  encoded.value = {static_cast<std::int32_t>(text.size()), std::string(text)};
}

void PutBigEndian(std::uint32_t number, EncodedValue& encoded) {
  for (std::size_t i = 0; i < encoded.size; ++i) {
    encoded.field[i] = static_cast<std::uint8_t>(number >> (8 * (encoded.size - 1 - i)));
  }
  const std::uint32_t mask = encoded.size >= 4 ? 0xFFFFFFFFu : (1u << (8 * encoded.size)) - 1;
  encoded.value.raw_value = static_cast<std::int32_t>(number & mask);
}

std::string StoredAsNote(const ParamDef& row, std::string_view written,
                         const EncodedValue& encoded) {
  if (encoded.stored_as == StoredAs::kNoCalendarDate) {
    return fmt::format(messages::kNoCalendarDate, fmt::format("{} {}", row.name, written));
  }
  ParamValue stored;
  DecodeParam(row, encoded.bytes(), stored);
  return fmt::format("{} {} is taken as {}.", row.name, written, stored.text);
}

}  // namespace

void DecodeParam(const ParamDef& row, common::ByteView raw, ParamValue& value) {
  if (row.type == kTypeString) {
    DecodeCountedString(row, raw, value);
  } else {
    std::uint32_t number = BigEndian(raw, RawSize(row));
    if (const auto mask = StoredMask(row)) number &= static_cast<std::uint32_t>(*mask);
    value.raw_value = static_cast<std::int32_t>(number);
    value.text = ShownText(row, number);
  }
  if (value.text.size() > kMaxValueText) value.text.resize(kMaxValueText);
}

common::Expected<EncodedValue> EncodeParam(const ParamDef& row, std::string_view text,
                                           ValueSource source) {
  EncodedValue encoded;
  if (row.type == kTypeString) {
    EncodeCountedString(row, text, encoded);
  } else {
    // Cut to what a value holds, a longer text could leave a number it is not ("2600 ... x").
    if (text.size() > kMaxValueText) return NotANumber();
    const common::Expected<StoredNumber> number = ReadStoredNumber(row, text, source);
    if (!number) return std::unexpected(number.error());
    encoded.size = RawSize(row);
    encoded.value.text = text;
    encoded.stored_as = number->stored_as;
    PutBigEndian(static_cast<std::uint32_t>(number->raw), encoded);
  }
  if (encoded.stored_as != StoredAs::kWritten) encoded.note = StoredAsNote(row, text, encoded);
  return encoded;
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

}  // namespace cw::dataflash
