#pragma once

#include <cstdint>
#include <string_view>

namespace cw::dataflash {

// Storage types of a parameter row.
enum ParamType : std::int8_t {
  kTypeByte = 0,
  kTypeWord = 1,
  kTypeByteUnchecked = 2,
  kTypeString = 3,
  kTypeTwoChars = 4,
  kTypeFloat = 5,
  kTypeDword = -8,
};

// Conversion codes; for a string row the conversion field holds its maximum length instead.
enum Conversion : std::uint8_t {
  kConvPlain0 = 0,
  kConvPlain = 1,
  kConvCellCount = 242,
  kConvTemperature = 243,
  kConvEnergy = 244,
  kConvHundreds = 245,
  kConvGain12 = 247,
  kConvGain16 = 250,
  kConvSigned = 251,
  kConvTemperatureAlt = 255,
};

// One data-flash parameter as the product knows it: where it lives in its subclass, how its raw
// big-endian bytes turn into text, and the limits a new value must respect (raw units).
struct ParamDef {
  std::string_view name;  // also the .afi key
  std::uint8_t subclass;
  std::uint8_t offset;
  std::int8_t type;
  std::uint8_t conversion;
  std::string_view format;
  std::string_view unit;
  std::int32_t minimum;
  std::int32_t maximum;

  constexpr std::uint16_t address() const {
    return static_cast<std::uint16_t>(subclass << 8 | offset);
  }
};

// The manufacture date is recognised by its place, not by its type.
inline constexpr std::uint16_t kManufactureDateAddress = 0x300E;

}  // namespace cw::dataflash
