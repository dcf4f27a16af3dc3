#include <gtest/gtest.h>

#include <optional>

#include "dataflash/messages.h"
#include "dataflash/param_codec.h"
#include "dataflash/parameter_table.h"

namespace cw::dataflash {
namespace {

const ParamDef& Def(std::string_view name) { return kParams[*FindParam(name)]; }

struct EncodeCase {
  std::string_view name;
  std::string_view text;
  bool interactive;
  std::optional<common::Bytes> bytes;  // nothing: refused
  std::string_view note = {};          // the warning of a value stored otherwise than typed
};

common::Bytes BytesOf(const EncodedValue& encoded) {
  return {encoded.bytes().begin(), encoded.bytes().end()};
}

ValueSource SourceOf(bool interactive) {
  return interactive ? ValueSource::kTyped : ValueSource::kFile;
}

class EncodeTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeTest, StoresTheRawBytesOrRefuses) {
  const EncodeCase& c = GetParam();
  const auto encoded = EncodeParam(Def(c.name), c.text, SourceOf(c.interactive));
  if (!c.bytes) {
    ASSERT_FALSE(encoded);
    EXPECT_FALSE(encoded.error().message.empty());
    return;
  }
  ASSERT_TRUE(encoded) << encoded.error().message;
  EXPECT_EQ(BytesOf(*encoded), *c.bytes);
  if (c.interactive) {
    EXPECT_EQ(encoded->note, c.note);
  }
}

using B = common::Bytes;
INSTANTIATE_TEST_SUITE_P(
    Rules, EncodeTest,
    ::testing::Values(
        // Temperatures: tenths of a kelvin, truncated; limits in tenths of a degree.
        EncodeCase{"Over Temp Chg", "25", true, B{0x0B, 0xA5}},
        EncodeCase{"Over Temp Chg", "-40.0", true, B{0x09, 0x1B}},
        EncodeCase{"Over Temp Chg", "130.1", true, std::nullopt},
        EncodeCase{"Over Temp Chg", "130.1", false, B{0x0F, 0xBF}},
        // Signed words and bytes.
        EncodeCase{"OCD1 Threshold", "-500", true, B{0xFE, 0x0C}},
        EncodeCase{"OCD1 Threshold", "10", true, std::nullopt},
        EncodeCase{"OCD1 Threshold", "10", false, B{0x00, 0x00}},
        EncodeCase{"OCD1 Threshold", "-99999999999999", false, B{0x80, 0x00}},
        EncodeCase{"Max Cell Temperature", "-20", true, B{0xEC}},
        EncodeCase{"Max Cell Temperature", "128", false, B{0x7F}},
        // Unsigned by format: hex rows take hex; a negative number is below the limit.
        EncodeCase{"Operation Cfg A", "0310", true, B{0x03, 0x10}},
        EncodeCase{"COV Time", "-1", true, std::nullopt},
        EncodeCase{"COV Time", "-1", false, B{0x00}}, EncodeCase{"COV Time", "256", false, B{0xFF}},
        EncodeCase{"Flash Update OK Voltage", "100", false, B{0x15, 0x7C}},
        EncodeCase{"AFE OC Dsg", "1F", true, B{0x1F}},
        EncodeCase{"AFE OC Dsg Time", "FF", true, std::nullopt},
        EncodeCase{"AFE OC Dsg Time", "FF", false, B{0x0F}},
        EncodeCase{"AFE OC Dsg Time", "80", false, B{0x0F}},
        EncodeCase{"CC Deadband Reg", "4", false, B{0x03}},
        EncodeCase{"LT COV Threshold", "", true, std::nullopt},
        EncodeCase{"IATA RE", "6480", true, B{0x19, 0x50}},
        // The date: year-month-day, month and day held inside their fields.
        EncodeCase{"Manuf Date", "2023-5-17", true, B{0x56, 0xB1}},
        EncodeCase{"Manuf Date", "2023-0-0", true, B{0x56, 0x21},
                   "Manuf Date 2023-0-0 is taken as 2023-1-1."},
        EncodeCase{"Manuf Date", "2023-13-40", true, B{0x57, 0x88},
                   "Manuf Date 2023-13-40 is taken as 2023-12-8."},
        EncodeCase{"Manuf Date", "1900-1-1", true, B{0x00, 0x21},
                   "Manuf Date 1900-1-1 is taken as 1980-1-1."},
        EncodeCase{"Manuf Date", "yesterday", true, std::nullopt},
        // Counted strings: cut to the maximum, "@" stored as NUL.
        EncodeCase{"Device Chemistry", "LI@N", true, B{0x04, 'L', 'I', 0x00, 'N'}},
        EncodeCase{"Device Chemistry", "LIPOLY", true, B{0x04, 'L', 'I', 'P', 'O'},
                   "Device Chemistry LIPOLY is taken as LIPO."},
        EncodeCase{"Manuf Name", "", true, B{0x00}},
        // Gains.
        EncodeCase{"CC Gain", "1.0", true, B{0x3F, 0x80, 0x00, 0x00}},
        EncodeCase{"CC Gain", "0.05", true, std::nullopt},
        EncodeCase{"CC Gain", "0.05", false, B{0x3D, 0xCC, 0xE0, 0x00}},
        EncodeCase{"Cell1 Voltage Gain", "0.97", true, B{0xF8, 0x51}},
        EncodeCase{"Cell1 Voltage Gain", "1.0", true, std::nullopt},
        EncodeCase{"AFE Pack Gain", "4.64", true, B{0x4A, 0x3D}}));

// An edit is the number and nothing else, in the row's format; what is no number is refused as
// such, a number beyond every limit with the limits.
TEST(EncodeParamTest, AnEditMustBeAWholeNumberInTheRowsFormat) {
  const std::string not_a_number(messages::kNotANumber);
  struct Case {
    std::string_view name;
    std::string_view text;
    std::optional<common::Bytes> bytes;
    std::string message;  // when refused
  };
  const Case cases[] = {
      {"CUV Threshold", "2600", B{0x0A, 0x28}, ""},
      {"CUV Threshold", " 2600\t", B{0x0A, 0x28}, ""},
      {"CUV Threshold", "1e400", std::nullopt, not_a_number},
      {"CUV Threshold", "2.6e3", std::nullopt, not_a_number},
      {"CUV Threshold", "26OO", std::nullopt, not_a_number},
      {"CUV Threshold", "99999999999999999999", std::nullopt, LimitMessage(Def("CUV Threshold"))},
      {"OCD1 Threshold", "-500.5", std::nullopt, not_a_number},
      {"OCD1 Threshold", "+0", B{0x00, 0x00}, ""},
      {"Operation Cfg A", "0x0310", B{0x03, 0x10}, ""},
      {"Operation Cfg A", "03G0", std::nullopt, not_a_number},
      {"Over Temp Chg", "2.5e1", B{0x0B, 0xA5}, ""},
      {"Over Temp Chg", "1e400", std::nullopt, LimitMessage(Def("Over Temp Chg"))},
      {"Over Temp Chg", "nan", std::nullopt, not_a_number},
      {"Over Temp Chg", "-inf", std::nullopt, not_a_number},
      {"Over Temp Chg", "0x19", std::nullopt, not_a_number},
      {"Over Temp Chg", "25C", std::nullopt, not_a_number},
      {"CC Gain", "1.0.0", std::nullopt, not_a_number},
      {"Manuf Date", "2023-5-17x", std::nullopt, not_a_number},
      {"Manuf Date", "2023--5-17", std::nullopt, not_a_number},
  };
  for (const Case& c : cases) {
    const auto encoded = EncodeParam(Def(c.name), c.text, ValueSource::kTyped);
    if (c.bytes) {
      ASSERT_TRUE(encoded) << c.name << " " << c.text;
      EXPECT_EQ(BytesOf(*encoded), *c.bytes) << c.text;
    } else {
      ASSERT_FALSE(encoded) << c.name << " " << c.text;
      EXPECT_EQ(encoded.error().message, c.message) << c.name << " " << c.text;
    }
  }
}

TEST(EncodeParamTest, CutsATooLongStringAndItsText) {
  const auto encoded = EncodeParam(Def("Device Name"), std::string(25, 'x'), ValueSource::kTyped);
  ASSERT_TRUE(encoded);
  ASSERT_EQ(encoded->size, 21u);
  EXPECT_EQ(encoded->field[0], 20);
  EXPECT_EQ(encoded->value.text, std::string(20, 'x'));
  EXPECT_EQ(encoded->note,
            "Device Name " + std::string(25, 'x') + " is taken as " + std::string(20, 'x') + ".");
}

struct LimitCase {
  std::string_view name;
  std::string_view message;
};

TEST(LimitMessageTest, PrintsTheLimitsAsTheRowShowsValues) {
  const LimitCase cases[] = {
      {"OCD1 Threshold", "between -32768 and 0 mA"},
      {"Over Temp Chg", "between -40.0 and 130.0 ℃"},
      {"CC Gain", "between 0.100037 and 3.999939 -"},
      {"Cell1 Voltage Gain", "between 0.000000 and 0.999985 -"},
      {"AFE Pack Gain", "between 0.000000 and 15.999756 uV/cnt"},
      {"AFE OC Dsg", "between 00 and 1F hex"},
      {"Flash Update OK Voltage", "between 5500 and 32767 mV"},
  };
  for (const LimitCase& c : cases) {
    EXPECT_EQ(LimitMessage(Def(c.name)),
              "The value entered is out of limits. Please enter a value " + std::string(c.message))
        << c.name;
  }
}

struct DecodeCase {
  std::string_view name;
  common::Bytes raw;
  std::string_view text;
  std::int32_t raw_value;
};

TEST(DecodeParamTest, ShowsTheValueAsTheRowFormatsIt) {
  const DecodeCase cases[] = {
      {"Over Temp Chg", {0x0B, 0xA5}, "25.0", 0x0BA5},
      {"Over Temp Chg", {0x00, 0x00}, "-273.1", 0},
      {"OCD1 Threshold", {0xFE, 0x0C}, "-500", 0xFE0C},
      {"Max Cell Temperature", {0xEC}, "-20", 0xEC},
      {"Operation Cfg A", {0x03, 0x10}, "0310", 0x0310},
      {"Manuf Date", {0x56, 0xB1}, "2023-5-17", 0x56B1},
      {"Manuf Date", {0x56, 0x00}, "2023-1-1", 0x5600},
      {"Manuf Date", {0x57, 0xE0}, "2023-12-1", 0x57E0},
      {"Device Chemistry", {0x03, 'L', 0x00, 'N'}, "L@N", 3},
      {"Device Chemistry", {0x09, 'L', 'I', 'O', 'N'}, "LION", 4},
      {"CC Gain", {0x3F, 0x80, 0x00, 0x00}, "1.000000", 0x3F800000},
      {"Cell1 Voltage Gain", {0xF8, 0x51}, "0.969986", 0xF851},
      {"AFE Pack Gain", {0x4A, 0x3D}, "4.639893", 0x4A3D},
      {"AFE OC Dsg", {0xFF}, "1F", 0x1F},
      {"AFE OC Dsg Time", {0xFF}, "0F", 0x0F},
      {"IATA RE", {0x19, 0x50}, "6480", 6480},
      {"Ext1 Temp Offset", {0xFF}, "-1", 0xFF},
      // Bytes missing from a short buffer read as zeros rather than past its end.
      {"Design Capacity", {0x12}, "4608", 0x1200},
  };
  for (const DecodeCase& c : cases) {
    ParamValue value;
    DecodeParam(Def(c.name), c.raw, value);
    EXPECT_EQ(value.text, c.text) << c.name;
    EXPECT_EQ(value.raw_value, c.raw_value) << c.name;
  }
}

TEST(CodecRoundTripTest, EveryRowReencodesItsDisplayedValue) {
  // The displayed text of any in-limit raw value must encode back to the same bytes: a saved
  // .afi then writes exactly what was read.
  for (const ParamDef& row : kParams) {
    if (row.type == kTypeString) continue;
    const std::size_t size = RawSize(row);
    for (std::uint32_t seed : {0u, 1u, 0x1234u, 0x7F7Fu, 0xA5A5u}) {
      std::array<std::uint8_t, kMaxFieldSize> raw{};
      for (std::size_t i = 0; i < size; ++i)
        raw[i] = static_cast<std::uint8_t>(seed >> (8 * (i % 2)));
      ParamValue shown;
      DecodeParam(row, raw, shown);
      // What the page shows can always be typed back in: never "not a valid number".
      const auto edited = EncodeParam(row, shown.text, ValueSource::kTyped);
      if (!edited) {
        EXPECT_NE(edited.error().message, messages::kNotANumber) << row.name << " " << shown.text;
      }
      const auto typed = EncodeParam(row, shown.text, ValueSource::kFile);
      ASSERT_TRUE(typed) << row.name << " " << shown.text;
      ParamValue again;
      DecodeParam(row, typed->bytes(), again);
      // Clamping may move an out-of-limit value; what is shown must then stay stable.
      const auto third = EncodeParam(row, again.text, ValueSource::kFile);
      ASSERT_TRUE(third) << row.name << " " << again.text;
      EXPECT_EQ(BytesOf(*typed), BytesOf(*third)) << row.name << " seed " << seed;
      if (typed->value.raw_value == shown.raw_value) {
        EXPECT_EQ(again.text, shown.text) << row.name;
      }
    }
  }
}

}  // namespace
}  // namespace cw::dataflash
