// How readings become JSON values: numbers in their unit, texts where there is no number, null
// for what was not read.
#include "cli/json_output.h"

#include <gtest/gtest.h>

#include "monitor/value_conversion.h"

namespace cw::cli::json {
namespace {

TEST(JsonOutputTest, AWordReadingIsItsTableRowWithTheValueAsANumber) {
  struct Case {
    std::uint8_t command;
    std::uint16_t raw;
    std::int32_t battery_mode;
    Json expected;
  };
  const Case cases[] = {
      {0x09,
       16000,
       monitor::kNotRead,
       {{"name", "Voltage"},
        {"command", 9},
        {"raw", 16000},
        {"value", 16000},
        {"text", "16000"},
        {"unit", "mV"}}},
      {0x08,
       2982,
       monitor::kNotRead,
       {{"name", "Temperature"},
        {"command", 8},
        {"raw", 2982},
        {"value", 25.1},
        {"text", "25.1"},
        {"unit", "'C"}}},
      {0x0A,
       0xFF06,
       monitor::kNotRead,
       {{"name", "Current"},
        {"command", 10},
        {"raw", 0xFF06},
        {"value", -250},
        {"text", "-250"},
        {"unit", "mA"}}},
      {0x16,
       0x00C0,
       monitor::kNotRead,
       {{"name", "Battery Status"},
        {"command", 0x16},
        {"raw", 0xC0},
        {"value", 0xC0},
        {"text", "00C0"},
        {"unit", "hex"}}},
      // Capacity in 10 mWh when Battery Mode says so.
      {0x0F,
       3420,
       0x8000,
       {{"name", "RemainingCapacity"},
        {"command", 15},
        {"raw", 3420},
        {"value", 3420},
        {"text", "3420"},
        {"unit", "cWh"}}},
      // A command no row reads as a word: a nameless hex word.
      {0x71,
       0x1234,
       monitor::kNotRead,
       {{"name", nullptr},
        {"command", 0x71},
        {"raw", 0x1234},
        {"value", 0x1234},
        {"text", "1234"},
        {"unit", "hex"}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Register(WordRegister(c.command, c.raw, c.battery_mode)), c.expected)
        << int{c.command};
  }
  EXPECT_TRUE(UnitFollowsBatteryMode(0x0F));
  EXPECT_FALSE(UnitFollowsBatteryMode(0x09));
}

TEST(JsonOutputTest, ARowNotReadHasNoValue) {
  monitor::SbsRegisterDef row = WordRegister(0x09, 1);
  monitor::ApplyFailure(row);
  const Json reading = Register(row);
  EXPECT_TRUE(reading["raw"].is_null());
  EXPECT_TRUE(reading["value"].is_null());
  EXPECT_EQ(reading["text"], "");
}

TEST(JsonOutputTest, AnErrorNamesItsKind) {
  EXPECT_EQ(Error(ErrorKind::kGaugeNotResponding, "Target Board Not Responding"),
            Json::parse(R"({"error": {"kind": "gauge_not_responding",
                                      "message": "Target Board Not Responding"}})"));
}

}  // namespace
}  // namespace cw::cli::json
