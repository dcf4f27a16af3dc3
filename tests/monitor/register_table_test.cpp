#include "monitor/register_table.h"

#include <gtest/gtest.h>

#include "monitor/status_block.h"
#include "monitor/value_conversion.h"

namespace cw::monitor {
namespace {

TEST(RegisterTable, ListsHaveTheirRowsInOrder) {
  const RegisterTable table;
  EXPECT_EQ(table.rows(TableId::kA).size(), 17u);
  EXPECT_EQ(table.rows(TableId::kB).size(), 17u);
  EXPECT_EQ(table.rows(TableId::kC).size(), 72u);
  EXPECT_EQ(table.rows(TableId::kD).size(), 8u);
  EXPECT_EQ(table.rows(TableId::kA).front().name, "Manufacture Access");
  EXPECT_EQ(table.rows(TableId::kB)[10].name, "Cell Voltage 4");
  EXPECT_EQ(table.rows(TableId::kC).back().name, "Gauge Debug Info");
  EXPECT_EQ(table.rows(TableId::kD).back().name, "Device Chemistry");
  // Every name is unique: lookup by name would otherwise find the wrong row.
  for (TableId id : kAllTables) {
    for (const SbsRegisterDef& row : table.rows(id)) {
      EXPECT_EQ(&row, table.FindRow(row.name)) << row.name;
    }
  }
}

TEST(RegisterTable, LookupIsExactAndCaseSensitive) {
  const RegisterTable table;
  EXPECT_EQ(table.Find("Battery Mode"), (RowRef{TableId::kA, 3}));
  EXPECT_EQ(table.Find("Device Name"), (RowRef{TableId::kD, 6}));
  EXPECT_FALSE(table.Find("battery mode"));
  EXPECT_FALSE(table.Find("Battery Mode "));
  EXPECT_FALSE(table.Find(""));
}

TEST(RegisterTable, RowsKeepTheirFixedFields) {
  const RegisterTable table;
  struct Case {
    std::string_view name;
    std::uint8_t command;
    std::string_view format;
    std::string_view unit;
    Conversion conversion;
    Access access;
  };
  const Case cases[] = {
      {"Remaining Cap. Alarm", 0x01, "%d", "mAh", Conversion::kCapacity, Access::kReadWrite},
      {"At Rate", 0x04, "%d", "mA", Conversion::kSigned, Access::kReadWrite},
      {"Temperature", 0x08, "%.1f", "'C", Conversion::kTemperature, Access::kRead},
      {"State of Health", 0x4F, "%d", "%", Conversion::kPlain, Access::kRead},
      {"Safety Status", 0x51, "%08X", "hex", Conversion::kPlain, Access::kRead},
      {"Thermal Temp", 0x73, "%d", "0.1'C", Conversion::kSigned, Access::kRead},
      {"RCFilter Flag", 0x75, "%02x", "hex", Conversion::kPlain, Access::kRead},
      {"Averge P Last Run", 0x75, "%d", "cW", Conversion::kSigned, Access::kRead},
      {"Device Chemistry", 0x22, "%s", "-", Conversion::kText, Access::kRead},
  };
  for (const Case& c : cases) {
    const SbsRegisterDef* row = table.FindRow(c.name);
    ASSERT_NE(row, nullptr) << c.name;
    EXPECT_EQ(row->command, c.command) << c.name;
    EXPECT_EQ(row->format, c.format) << c.name;
    EXPECT_EQ(row->unit, c.unit) << c.name;
    EXPECT_EQ(row->conversion, c.conversion) << c.name;
    EXPECT_EQ(row->access, c.access) << c.name;
  }
  // Text rows carry their maximum length in the raw value, and the link asks for no more.
  EXPECT_EQ(table.FindRow("Device Chemistry")->raw_value, 4);
  EXPECT_EQ(table.FindRow("Device Chemistry")->ToLinkRow().max_length, 4);
  EXPECT_EQ(table.FindRow("Manufacturer Name")->ToLinkRow().max_length, 20);
  EXPECT_EQ(table.FindRow("Voltage")->raw_value, kNotRead);
}

SbsRegisterDef RowNamed(std::string_view name) { return *RegisterTable().FindRow(name); }

TEST(ValueConversion, EveryConversionFormatsAsItsCodeSays) {
  struct Case {
    const char* what;
    SbsRegisterInfo info;
    std::int32_t raw;
    std::string_view text;
  };
  const Case cases[] = {
      {"temperature 2981", {"T", 0x08, "%.1f", "'C", Conversion::kTemperature}, 2981, "25.0"},
      {"temperature 0 K", {"T", 0x08, "%.1f", "'C", Conversion::kTemperature}, 0, "-273.1"},
      {"temperature 2731", {"T", 0x08, "%.1f", "'C", Conversion::kTemperature}, 2731, "0.0"},
      {"signed -100", {"I", 0x0A, "%d", "mA", Conversion::kSigned}, 0xFF9C, "-100"},
      {"signed positive", {"I", 0x0A, "%d", "mA", Conversion::kSigned}, 0x7FFF, "32767"},
      {"signed -32768", {"I", 0x0A, "%d", "mA", Conversion::kSigned}, 0x8000, "-32768"},
      {"plain word", {"V", 0x09, "%d", "mV", Conversion::kPlain}, 0xFFFF, "65535"},
      {"hex word", {"M", 0x03, "%04X", "hex", Conversion::kPlain}, 0x6001, "6001"},
      {"32-bit status",
       {"S", 0x51, "%08X", "hex", Conversion::kPlain},
       static_cast<std::int32_t>(0x80000001u),
       "80000001"},
      {"lower-case hex byte", {"F", 0x75, "%02x", "hex", Conversion::kPlain}, 0xAB, "ab"},
      {"low byte", {"L", 0x00, "%02X", "hex", Conversion::kLowByte}, 0x12AB, "AB"},
      {"second byte", {"B", 0x00, "%02X", "hex", Conversion::kByte}, 0x12AB, "12"},
      {"capacity", {"C", 0x0F, "%d", "mAh", Conversion::kCapacity}, 3420, "3420"},
  };
  for (const Case& c : cases) {
    SbsRegisterDef row(c.info);
    ApplyRead(row, c.raw, kNotRead);
    EXPECT_EQ(row.value_text, c.text) << c.what;
    EXPECT_EQ(row.raw_value, c.raw) << c.what;
  }
}

TEST(ValueConversion, CapacityUnitFollowsBatteryModeCapM) {
  struct Case {
    std::int32_t battery_mode;
    std::string_view capacity_unit;
    std::string_view at_rate_unit;
  };
  const Case cases[] = {
      {kNotRead, "?", "?"}, {0x6001, "mAh", "mA"}, {0x8000, "cWh", "cW"}, {0xE001, "cWh", "cW"}};
  for (const Case& c : cases) {
    SbsRegisterDef capacity = RowNamed("RemainingCapacity");
    SbsRegisterDef at_rate = RowNamed("At Rate");
    SbsRegisterDef current = RowNamed("Current");
    ApplyRead(capacity, 100, c.battery_mode);
    ApplyRead(at_rate, 100, c.battery_mode);
    ApplyRead(current, 100, c.battery_mode);
    EXPECT_EQ(capacity.unit, c.capacity_unit) << c.battery_mode;
    EXPECT_EQ(at_rate.unit, c.at_rate_unit) << c.battery_mode;
    EXPECT_EQ(current.unit, "mA") << "only At Rate follows the mode";
  }
}

TEST(ValueConversion, FailureMarksTheRowNotRead) {
  SbsRegisterDef row = RowNamed("Voltage");
  ApplyRead(row, 15200, kNotRead);
  ApplyFailure(row);
  EXPECT_EQ(row.raw_value, kNotRead);
  EXPECT_EQ(row.value_text, " ");
}

TEST(ValueConversion, ManufactureDateNeverShowsMonthOrDayZero) {
  struct Case {
    std::uint16_t raw;
    std::string_view text;
  };
  const Case cases[] = {
      {0x4A21, "2017-1-1"},
      {(43 << 9) | (5 << 5) | 17, "2023-5-17"},
      {(43 << 9) | (0 << 5) | 0, "2023-1-1"},
      {(43 << 9) | (13 << 5) | 3, "2023-12-3"},
      {(43 << 9) | (15 << 5) | 31, "2023-12-31"},
      {0xFFFF, "2107-12-31"},
  };
  for (const Case& c : cases) EXPECT_EQ(ManufactureDateText(c.raw), c.text) << c.raw;
}

TEST(ValueConversion, EnteredTextIsParsedWithTheRowsFormat) {
  EXPECT_EQ(ParseWithFormat("%d", "300"), 300);
  EXPECT_EQ(ParseWithFormat("%d", " -100 "), 0xFF9C);
  EXPECT_EQ(ParseWithFormat("%d", "65535"), 0xFFFF);
  EXPECT_EQ(ParseWithFormat("%04X", "E001"), 0xE001);
  EXPECT_EQ(ParseWithFormat("%04X", "0x6001"), 0x6001);
  EXPECT_EQ(ParseWithFormat("%04X", "e001"), 0xE001);
  EXPECT_FALSE(ParseWithFormat("%d", "65536"));
  EXPECT_FALSE(ParseWithFormat("%d", "-32769"));
  EXPECT_FALSE(ParseWithFormat("%d", "12a"));
  EXPECT_FALSE(ParseWithFormat("%d", "E001"));
  EXPECT_FALSE(ParseWithFormat("%04X", "1G"));
  EXPECT_FALSE(ParseWithFormat("%04X", ""));
}

TEST(StatusBlockFields, RowsFindTheirBytesInTheReply) {
  const RegisterTable table;
  const auto fields = PlaceBlockFields(table);
  const auto field_of = [&](std::string_view name) {
    const RowRef ref = *table.Find(name);
    return fields[static_cast<std::size_t>(ref.table)][ref.index];
  };
  struct Case {
    std::string_view name;
    std::uint8_t subcommand;
    std::uint8_t offset;
    std::uint8_t size;
  };
  const Case cases[] = {
      {"Safety Status", 0x51, 0, 4},     {"Temp Range", 0x55, 0, 1},
      {"Charging Status", 0x55, 1, 2},   {"Cell Voltage 1", 0x71, 0, 2},
      {"Cell Voltage 4", 0x71, 6, 2},    {"Pack Voltage", 0x71, 8, 2},
      {"FET Temperature", 0x72, 10, 2},  {"Gauge Update Index", 0x73, 0, 2},
      {"Cell 4 SOCEOD", 0x73, 30, 2},    {"High Run Time", 0x74, 4, 2},
      {"RC Offset", 0x74, 26, 2},        {"FG Status", 0x75, 8, 1},
      {"Cell 4 ModelFlag", 0x75, 31, 1}, {"True RC", 0x78, 0, 2},
      {"SOH FCE", 0x78, 26, 2},
  };
  for (const Case& c : cases) {
    const auto field = field_of(c.name);
    ASSERT_TRUE(field) << c.name;
    EXPECT_EQ(kCachedBlocks[field->block].subcommand, c.subcommand) << c.name;
    EXPECT_EQ(field->offset, c.offset) << c.name;
    EXPECT_EQ(field->size, c.size) << c.name;
  }
  EXPECT_FALSE(field_of("Voltage"));
  EXPECT_FALSE(field_of("Gauge Debug Info"));
}

}  // namespace
}  // namespace cw::monitor
