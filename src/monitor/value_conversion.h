#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/sbs_register_def.h"

// How raw register values become the texts and units of the SBS lists.
namespace cw::monitor {

inline constexpr std::string_view kUnitMah = "mAh";
inline constexpr std::string_view kUnitCwh = "cWh";
inline constexpr std::string_view kUnitMa = "mA";
inline constexpr std::string_view kUnitCw = "cW";
// The unit of a capacity or At Rate before Battery Mode has been read: it is never guessed.
inline constexpr std::string_view kUnitUnknown = "?";

// Battery Mode CapM (bit 15): capacities in 10 mWh instead of mAh.
bool CapacityInEnergy(std::int32_t battery_mode_raw);

// The unit of a capacity row (mAh or cWh) and of At Rate (mA or cW) as `battery_mode_raw` says;
// kUnitUnknown while Battery Mode is kNotRead. Other rows keep their own unit.
void FollowBatteryMode(SbsRegisterDef& row, std::int32_t battery_mode_raw);

// The row's format applied to `raw` as the row's conversion says (text rows: nothing to do).
std::string FormatRaw(const SbsRegisterDef& row, std::int32_t raw);

// The number the row's value text shows, for plots and spreadsheets: nothing for a text row,
// the debug block, or a row whose last read failed.
std::optional<double> NumericValue(const SbsRegisterDef& row);

// A successful read: raw value, unit (capacity rows and "At Rate" follow Battery Mode), text.
void ApplyRead(SbsRegisterDef& row, std::int32_t raw, std::int32_t battery_mode_raw);
// A failed scan read: raw kNotRead and a single space.
void ApplyFailure(SbsRegisterDef& row);

// Manufacture Date as "year-month-day": year = raw / 512 + 1980, month and day never 0, month
// at most 12.
std::string ManufactureDateText(std::uint16_t raw);

// Parses an entered value with the row's own format ("%d": decimal, "%X"-type: hex). Nothing
// when the text is not a number of that form or does not fit in 16 bits.
std::optional<std::uint16_t> ParseWithFormat(std::string_view format, std::string_view text);

}  // namespace cw::monitor
