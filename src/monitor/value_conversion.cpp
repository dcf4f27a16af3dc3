#include "monitor/value_conversion.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <optional>

#include "common/printf_format.h"

namespace cw::monitor {
namespace {

constexpr std::string_view kAtRateName = "At Rate";
constexpr std::int32_t kCapacityModeBit = 0x8000;
// The gauge's own offset between 0.1 K and degrees Celsius (not 273.15).
constexpr double kKelvinOffset = 273.1;
// Single precision on purpose: the displayed tenths depend on it.
constexpr float kTenth = 0.1f;

bool IsHexFormat(std::string_view format) {
  return !format.empty() && (format.back() == 'X' || format.back() == 'x');
}

std::string FormatInteger(std::string_view format, std::int32_t value) {
  // Status words fill all 32 bits; printf reads a hex conversion as unsigned.
  if (IsHexFormat(format)) return common::FormatPrintf(format, static_cast<std::uint32_t>(value));
  return common::FormatPrintf(format, value);
}

double Celsius(std::int32_t raw) { return static_cast<float>(raw) * kTenth - kKelvinOffset; }

}  // namespace

bool CapacityInEnergy(std::int32_t battery_mode_raw) {
  return (battery_mode_raw & kCapacityModeBit) != 0;
}

void FollowBatteryMode(SbsRegisterDef& row, std::int32_t battery_mode_raw) {
  const bool capacity = row.conversion == Conversion::kCapacity;
  const bool rate = row.conversion == Conversion::kSigned && row.name == kAtRateName;
  if (!capacity && !rate) return;
  if (battery_mode_raw == kNotRead) {
    row.unit = kUnitUnknown;
  } else if (CapacityInEnergy(battery_mode_raw)) {
    row.unit = capacity ? kUnitCwh : kUnitCw;
  } else {
    row.unit = capacity ? kUnitMah : kUnitMa;
  }
}

std::string FormatRaw(const SbsRegisterDef& row, std::int32_t raw) {
  switch (row.conversion) {
    case Conversion::kTemperature:
      return common::FormatPrintf(row.format, Celsius(raw));
    case Conversion::kSigned:
      return FormatInteger(row.format, static_cast<std::int16_t>(raw & 0xFFFF));
    case Conversion::kLowByte:
      return FormatInteger(row.format, raw & 0xFF);
    case Conversion::kByte:
      return FormatInteger(row.format, (raw >> 8) & 0xFF);
    case Conversion::kText:
      return row.value_text;
    case Conversion::kPlain:
    case Conversion::kCapacity:
      return FormatInteger(row.format, raw);
  }
  return {};
}

std::optional<double> NumericValue(const SbsRegisterDef& row) {
  // Text rows and the debug block keep a length, not a value, in raw_value.
  if (row.format == "%s" || row.raw_value == kNotRead) return std::nullopt;
  const std::int32_t raw = row.raw_value;
  switch (row.conversion) {
    case Conversion::kTemperature:
      // To the tenth the gauge resolves: 25.0, not the 25.000006 of the single precision.
      return std::round(Celsius(raw) * 10) / 10;
    case Conversion::kSigned:
      return static_cast<std::int16_t>(raw & 0xFFFF);
    case Conversion::kLowByte:
      return raw & 0xFF;
    case Conversion::kByte:
      return (raw >> 8) & 0xFF;
    case Conversion::kText:
      return std::nullopt;
    case Conversion::kPlain:
    case Conversion::kCapacity:
      return static_cast<std::uint32_t>(raw);
  }
  return std::nullopt;
}

void ApplyRead(SbsRegisterDef& row, std::int32_t raw, std::int32_t battery_mode_raw) {
  row.raw_value = raw;
  FollowBatteryMode(row, battery_mode_raw);
  row.value_text = FormatRaw(row, raw);
}

void ApplyFailure(SbsRegisterDef& row) {
  row.raw_value = kNotRead;
  row.value_text = kFailedText;
}

std::string ManufactureDateText(std::uint16_t raw) {
  const int year = raw / 512 + 1980;
  int month = (raw >> 5) & 0x0F;
  if (month == 0) month = 1;
  if (month > 12) month = 12;
  int day = raw & 0x1F;
  if (day == 0) day = 1;
  return fmt::format("{}-{}-{}", year, month, day);
}

std::optional<std::uint16_t> ParseWithFormat(std::string_view format, std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  int base = 10;
  if (IsHexFormat(format)) {
    base = 16;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
      text.remove_prefix(2);
    }
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  // A signed register takes -32768..-1 as its two's complement.
  if (value < -32768 || value > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(value & 0xFFFF);
}

}  // namespace cw::monitor
