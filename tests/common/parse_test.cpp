// Whole-text parsing of typed numbers: what is accepted is exactly the number typed, and
// everything else is refused rather than read as another value.
#include "common/parse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace cw::common {
namespace {

TEST(ParseTest, HexArgumentsAreTheirDigitsAndNothingElse) {
  struct Case {
    const char* text;
    std::optional<std::uint32_t> word;  // ParseHexWord
    std::optional<std::uint32_t> code;  // ParseSubcommandCode
    std::optional<std::uint32_t> key;   // ParseKeyText
  };
  const Case cases[] = {
      {"190", 0x190, 0x190, 0x190},
      {"0190", 0x190, 0x190, 0x190},
      {"ffFF", 0xFFFF, 0xFFFF, 0xFFFF},
      {"0x190", {}, 0x190, 0x190},
      {"5 4", {}, 0x54, 0x54},
      {"12345", {}, {}, 0x12345},
      {"3B9E61D4", {}, {}, 0x3B9E61D4},
      {"3B9E61D40", {}, {}, {}},
      {"", {}, {}, {}},
      {"0x", {}, {}, {}},
      {"XYZ", {}, {}, {}},
      {"ZZZZ", {}, {}, {}},
      {"-1", {}, {}, {}},
      {"+1", {}, {}, {}},
      {"1G", {}, {}, {}},
      {"GGGGGGGG", {}, {}, {}},
      {"12\t", {}, {}, {}},
  };
  for (const Case& c : cases) {
    const auto word = ParseHexWord(c.text);
    const auto code = ParseSubcommandCode(c.text);
    EXPECT_EQ(word ? std::optional<std::uint32_t>(*word) : std::nullopt, c.word) << c.text;
    EXPECT_EQ(code ? std::optional<std::uint32_t>(*code) : std::nullopt, c.code) << c.text;
    EXPECT_EQ(ParseKeyText(c.text), c.key) << c.text;
  }
}

TEST(ParseTest, IntegersAreWholeAndOverflowIsOutOfRange) {
  using E = NumberError;
  EXPECT_EQ(ParseWholeInteger("-2000"), -2000);
  EXPECT_EQ(ParseWholeInteger("+7"), 7);
  EXPECT_EQ(ParseWholeInteger("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(ParseWholeInteger("9223372036854775808").error(), E::kOutOfRange);
  EXPECT_EQ(ParseWholeInteger("99999999999999999999999").error(), E::kOutOfRange);
  EXPECT_EQ(ParseWholeInteger("0x1F", 16), 0x1F);
  EXPECT_EQ(ParseWholeInteger("1f", 16), 0x1F);
  for (const char* text : {"", "-", "2.6e3", "1e400", " 5", "5 ", "12345x", "0x1F"}) {
    EXPECT_EQ(ParseWholeInteger(text).error(), E::kNotANumber) << text;
  }
  for (const char* text : {"-1", "0x", "G", "1 2"}) {
    EXPECT_EQ(ParseWholeInteger(text, 16).error(), E::kNotANumber) << text;
  }
}

TEST(ParseTest, DecimalsAreWholeFiniteAndLocaleFree) {
  using E = NumberError;
  struct Case {
    const char* text;
    std::optional<double> value;
    E error = E::kNotANumber;
  };
  const Case cases[] = {
      {"25", 25.0},
      {"-40.5", -40.5},
      {"+.5", 0.5},
      {"2.6e3", 2600.0},
      {"1.", 1.0},
      {"1e-400", 0.0},
      {"-0", -0.0},
      {"1e400", {}, E::kOutOfRange},
      {"-1e400", {}, E::kOutOfRange},
      {"0.0001e400", {}, E::kOutOfRange},
      {"nan", {}},
      {"inf", {}},
      {"-inf", {}},
      {"infinity", {}},
      {"0x19", {}},
      {"25C", {}},
      {"2,5", {}},
      {"", {}},
      {".", {}},
      {"e5", {}},
      {"1e", {}},
      {"1e+", {}},
      {" 25", {}},
      {"--1", {}},
  };
  for (const Case& c : cases) {
    const auto parsed = ParseWholeDecimal(c.text);
    if (c.value) {
      ASSERT_TRUE(parsed) << c.text;
      EXPECT_EQ(*parsed, *c.value) << c.text;
      EXPECT_EQ(std::signbit(*parsed), std::signbit(*c.value)) << c.text;
    } else {
      ASSERT_FALSE(parsed) << c.text;
      EXPECT_EQ(parsed.error(), c.error) << c.text;
    }
  }
}

TEST(ParseTest, BlanksAreTrimmedOrRemovedOnlyWhereAsked) {
  EXPECT_EQ(TrimBlanks(" \t25 \t"), "25");
  EXPECT_EQ(TrimBlanks("  "), "");
  EXPECT_EQ(WithoutSpaces(" 5 4 "), "54");
}

}  // namespace
}  // namespace cw::common
