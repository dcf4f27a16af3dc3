#include <gtest/gtest.h>

#include "common/bytes.h"
#include "common/clock.h"
#include "common/printf_format.h"

namespace cw::common {
namespace {

TEST(HexTest, ParsesBytesWithOrWithoutPrefix) {
  struct Case {
    const char* text;
    std::optional<std::uint8_t> value;
  };
  const Case cases[] = {{"0A", 0x0A}, {"a", 0x0A},         {"0xff", 0xFF}, {"0X7f", 0x7F},
                        {"100", {}},  {"", {}},            {"0x", {}},     {"G1", {}},
                        {" 1", {}},   {"0x100", {}}};
  for (const auto& c : cases) EXPECT_EQ(ParseHexByte(c.text), c.value) << c.text;
}

TEST(HexTest, ExactFieldNeedsEveryDigitAndNothingElse) {
  EXPECT_EQ(ParseExactHexField("5a3C", 2), (Bytes{0x5A, 0x3C}));
  EXPECT_FALSE(ParseExactHexField("5A3", 2));
  EXPECT_FALSE(ParseExactHexField("5A3C0", 2));
  EXPECT_FALSE(ParseExactHexField("5A 3", 2));
  EXPECT_FALSE(ParseExactHexField("0x5A", 2));
}

TEST(HexTest, ListsAndNumbers) {
  EXPECT_EQ(ParseHexByteList("16 47, 0x00"), (Bytes{0x16, 0x47, 0x00}));
  EXPECT_FALSE(ParseHexByteList("16 4G"));
  EXPECT_EQ(ParseHexNumber("0x8888", 0xFFFF), 0x8888u);
  EXPECT_FALSE(ParseHexNumber("10000", 0xFFFF));
  EXPECT_EQ(ToHex(Bytes{0x00, 0xAB, 0x5F}), "00 AB 5F");
  EXPECT_EQ(ToHex(Bytes{0x00, 0xAB}, ""), "00AB");
}

TEST(ManualClockTest, RecordsWaitsAndAdvancesWithoutSleeping) {
  ManualClock clock;
  const auto start = clock.Now();
  clock.SleepFor(Millis{100});
  clock.Advance(Millis{5});
  clock.SleepFor(Millis{8});
  EXPECT_EQ(clock.Now() - start, Millis{113});
  EXPECT_EQ(clock.Waits(), (std::vector<Millis>{Millis{100}, Millis{8}}));
  clock.ClearWaits();
  EXPECT_TRUE(clock.Waits().empty());
}

TEST(PrintfFormatTest, FormatsAndFallsBackWhenTheFormatDoesNotFit) {
  EXPECT_EQ(FormatPrintf("%04X", 0x2A), "002A");
  EXPECT_EQ(FormatPrintf("%.1f", 25.04), "25.0");
  EXPECT_EQ(FormatPrintf("[%s]", std::string("KT")), "[KT]");
  EXPECT_EQ(FormatPrintf("%d", std::string("text")), "text");
}

}  // namespace
}  // namespace cw::common
