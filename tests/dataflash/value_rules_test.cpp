// The rules one value follows wherever it comes from: typed in an edit or on the command line,
// or read from a constants file.
#include <gtest/gtest.h>

#include <optional>

#include "dataflash/data_flash_session.h"
#include "dataflash/messages.h"
#include "dataflash/param_codec.h"
#include "dataflash/parameter_table.h"
#include "support/recording_sinks.h"

namespace cw::dataflash {
namespace {

const ParamDef& Def(std::string_view name) { return kParams[*FindParam(name)]; }

struct Encoded {
  std::optional<std::string> refusal;
  common::Bytes bytes;
  StoredAs stored_as = StoredAs::kWritten;
  std::string note;
};

Encoded Encode(const ParamDef& row, std::string_view text, bool interactive) {
  const auto encoded =
      EncodeParam(row, text, interactive ? ValueSource::kTyped : ValueSource::kFile);
  if (!encoded) return {.refusal = encoded.error().message};
  return {.bytes = {encoded->bytes().begin(), encoded->bytes().end()},
          .stored_as = encoded->stored_as,
          .note = encoded->note};
}

std::string Decoded(const ParamDef& row, const common::Bytes& bytes) {
  ParamValue value;
  DecodeParam(row, bytes, value);
  return value.text;
}

// A file's value is read as a typed one is: the whole text, or nothing. The digits a text
// starts with never stand for it.
TEST(ValueRulesTest, AFileValueIsReadByTheRuleOfATypedOne) {
  struct Case {
    std::string_view name;
    std::string text;
    std::optional<common::Bytes> bytes;  // nothing: refused in both forms
  };
  const Case cases[] = {
      {"CUV Threshold",
       "26\xC3\xA9"
       "0",
       std::nullopt},
      {"CUV Threshold", "26 00", std::nullopt},
      {"CUV Threshold", "1e3", std::nullopt},
      {"CUV Threshold", "0x10", std::nullopt},
      {"CUV Threshold", "0xA28", std::nullopt},
      {"CUV Threshold", "0b1", std::nullopt},
      {"CUV Threshold", "2600abc", std::nullopt},
      {"CUV Threshold", "", std::nullopt},
      // What is left of a long text cut to the 32 characters a value holds is no number it is.
      {"CUV Threshold", "2600" + std::string(30, ' ') + "x", std::nullopt},
      {"CUV Threshold", " 2600\t", common::Bytes{0x0A, 0x28}},
      {"OCD1 Threshold", "-500.5", std::nullopt},
      {"Over Temp Chg", "warm", std::nullopt},
      {"Over Temp Chg", "0x19", std::nullopt},
      {"Over Temp Chg", "2.5e1", common::Bytes{0x0B, 0xA5}},
      // Hex rows keep their rule: hex digits, with or without "0x".
      {"Operation Cfg A", "03 10", std::nullopt},
      {"Operation Cfg A", "0x0310", common::Bytes{0x03, 0x10}},
      {"Operation Cfg A", "0310", common::Bytes{0x03, 0x10}},
      {"Manuf Date", "2023-5-17x", std::nullopt},
      {"Manuf Date", "2023-5", std::nullopt},
      {"CC Gain", "1.0.0", std::nullopt},
      {"Cell1 Voltage Gain", "0,5", std::nullopt},
  };
  for (const Case& c : cases) {
    for (const bool interactive : {true, false}) {
      const Encoded encoded = Encode(Def(c.name), c.text, interactive);
      const std::string what =
          std::string(c.name) + " '" + c.text + "'" + (interactive ? " typed" : " from a file");
      if (!c.bytes) {
        EXPECT_EQ(encoded.refusal, messages::kNotANumber) << what;
      } else {
        EXPECT_EQ(encoded.bytes, *c.bytes) << what;
      }
    }
  }
}

// The masked rows store only the bits of their mask: a typed value the mask would change is
// refused with the range the mask allows; a file's is clamped to it, and the clamp is reported.
TEST(ValueRulesTest, AMaskedRowTakesOnlyWhatItStores) {
  struct Case {
    std::string_view name;
    std::string_view text;
    std::optional<common::Bytes> typed;  // nothing: refused with the limits
    common::Bytes from_file;
    StoredAs stored_as;
  };
  const Case cases[] = {
      {"AFE OC Dsg Time", "0F", common::Bytes{0x0F}, {0x0F}, StoredAs::kWritten},
      {"AFE OC Dsg Time", "FF", std::nullopt, {0x0F}, StoredAs::kOtherValue},
      {"AFE OC Dsg Time", "80", std::nullopt, {0x0F}, StoredAs::kOtherValue},
      {"AFE OC Dsg Time", "10", std::nullopt, {0x0F}, StoredAs::kOtherValue},
      {"AFE OC Dsg", "1F", common::Bytes{0x1F}, {0x1F}, StoredAs::kWritten},
      {"AFE OC Dsg", "20", std::nullopt, {0x1F}, StoredAs::kOtherValue},
  };
  for (const Case& c : cases) {
    const ParamDef& row = Def(c.name);
    const Encoded typed = Encode(row, c.text, true);
    if (c.typed) {
      EXPECT_EQ(typed.bytes, *c.typed) << c.name << " " << c.text;
      EXPECT_EQ(typed.refusal, std::nullopt) << c.name << " " << c.text;
      EXPECT_EQ(typed.note, "") << c.name << " " << c.text;
    } else {
      EXPECT_EQ(typed.refusal, LimitMessage(row)) << c.name;
    }
    const Encoded loaded = Encode(row, c.text, false);
    EXPECT_EQ(loaded.bytes, c.from_file) << c.name << " " << c.text;
    EXPECT_EQ(loaded.stored_as, c.stored_as) << c.name << " " << c.text;
  }
  EXPECT_NE(LimitMessage(Def("AFE OC Dsg Time")).find("between 00 and 0F hex"), std::string::npos);
}

// "... between LOW and HIGH UNIT" of a refusal, as the two texts it quotes.
std::pair<std::string, std::string> QuotedLimits(const ParamDef& row) {
  const std::string message = LimitMessage(row);
  const std::string rest = message.substr(messages::kOutOfLimitsPrefix.size());
  const std::size_t and_at = rest.find(" and ");
  const std::string high = rest.substr(and_at + 5);
  return {rest.substr(0, and_at), high.substr(0, high.size() - row.unit.size() - 1)};
}

// A refusal quotes the limits as the row prints values, rounded where the row shows decimals
// (65535 × 2^-16 as 0.999985): each quoted limit is accepted as that limit, typed or from a file.
TEST(ValueRulesTest, EveryQuotedLimitIsAccepted) {
  std::size_t rows = 0;
  for (const ParamDef& row : kParams) {
    if (row.format.find('.') == std::string_view::npos) continue;
    ++rows;
    const auto [low, high] = QuotedLimits(row);
    for (const std::string& limit : {low, high}) {
      const Encoded typed = Encode(row, limit, true);
      ASSERT_EQ(typed.refusal, std::nullopt) << row.name << " " << limit;
      EXPECT_EQ(typed.note, "") << row.name << " " << limit;
      EXPECT_EQ(Decoded(row, typed.bytes), limit) << row.name;
      const Encoded loaded = Encode(row, limit, false);
      EXPECT_EQ(loaded.bytes, typed.bytes) << row.name << " " << limit;
      EXPECT_EQ(loaded.stored_as, StoredAs::kWritten) << row.name << " " << limit;
    }
  }
  EXPECT_EQ(rows, 30u) << "24 temperatures, CC Gain, four cell gains, AFE Pack Gain";
  // Beyond the printed limit is still beyond it.
  EXPECT_EQ(Encode(Def("Cell1 Voltage Gain"), "0.999986", true).refusal,
            LimitMessage(Def("Cell1 Voltage Gain")));
  EXPECT_EQ(Encode(Def("AFE Pack Gain"), "15.999757", true).refusal,
            LimitMessage(Def("AFE Pack Gain")));
  EXPECT_EQ(Encode(Def("Over Temp Chg"), "130.1", true).refusal,
            LimitMessage(Def("Over Temp Chg")));
}

// Manuf Date keeps its rule (year 1980 to 2107, month 1 to 12, day & 0x1F with 0 as 1) and says
// what it stores when that is not what was typed. A day past its month's end is stored as typed
// (the field holds it, and a pack holding one must load back from its saved file) with a warning.
TEST(ValueRulesTest, ManufDateSaysWhatItStores) {
  struct Case {
    std::string_view text;
    std::string_view stored;
    StoredAs stored_as;
  };
  const Case cases[] = {
      {"2023-5-17", "2023-5-17", StoredAs::kWritten},
      {"2023-05-17", "2023-5-17", StoredAs::kWritten},
      {"2024-2-29", "2024-2-29", StoredAs::kWritten},
      {"2108-1-1", "2107-1-1", StoredAs::kOtherValue},
      {"2023-13-1", "2023-12-1", StoredAs::kOtherValue},
      {"2023-0-0", "2023-1-1", StoredAs::kOtherValue},
      {"2023-1-32", "2023-1-1", StoredAs::kOtherValue},
      {"2023-2-30", "2023-2-30", StoredAs::kNoCalendarDate},
      {"2023-2-29", "2023-2-29", StoredAs::kNoCalendarDate},
      {"2100-2-29", "2100-2-29", StoredAs::kNoCalendarDate},
      {"2023-4-31", "2023-4-31", StoredAs::kNoCalendarDate},
  };
  const ParamDef& row = Def("Manuf Date");
  for (const Case& c : cases) {
    const Encoded typed = Encode(row, c.text, true);
    ASSERT_EQ(typed.refusal, std::nullopt) << c.text;
    EXPECT_EQ(Decoded(row, typed.bytes), c.stored) << c.text;
    EXPECT_EQ(typed.stored_as, c.stored_as) << c.text;
    std::string note;
    if (c.stored_as == StoredAs::kOtherValue) {
      note = "Manuf Date " + std::string(c.text) + " is taken as " + std::string(c.stored) + ".";
    } else if (c.stored_as == StoredAs::kNoCalendarDate) {
      note = "Manuf Date " + std::string(c.text) +
             " is no date of the calendar; it is taken as it stands.";
    }
    EXPECT_EQ(typed.note, note) << c.text;
    // From a file the same bytes and note (a load names the key and its line instead).
    const Encoded loaded = Encode(row, c.text, false);
    EXPECT_EQ(loaded.bytes, typed.bytes) << c.text;
    EXPECT_EQ(loaded.stored_as, c.stored_as) << c.text;
    EXPECT_EQ(loaded.note, note) << c.text;
  }
}

// What an edit, or the command line's encode, tells of a value: the refusal's words as a plain
// message, what is stored instead as a warning, nothing for a value stored as written.
TEST(ValueRulesTest, AnEncodeTellsItsRefusalOrItsNote) {
  using common::MessageIcon;
  struct Case {
    std::string_view name;
    std::string_view text;
    ValueSource source;
    std::vector<common::ShownMessage> told;
  };
  const auto message = [](std::string text, MessageIcon icon) {
    return common::ShownMessage{std::move(text), icon};
  };
  const Case cases[] = {
      {"OCD1 Threshold", "-500", ValueSource::kTyped, {}},
      {"OCD1 Threshold",
       "10",
       ValueSource::kTyped,
       {message(LimitMessage(Def("OCD1 Threshold")), MessageIcon::kInformation)}},
      {"OCD1 Threshold",
       "10",
       ValueSource::kFile,
       {message("OCD1 Threshold 10 is taken as 0.", MessageIcon::kWarning)}},
      {"OCD1 Threshold",
       "99999999999999999999",
       ValueSource::kFile,
       {message(std::string(messages::kNotANumber), MessageIcon::kInformation)}},
      {"Manuf Date",
       "2108-1-1",
       ValueSource::kTyped,
       {message("Manuf Date 2108-1-1 is taken as 2107-1-1.", MessageIcon::kWarning)}},
  };
  for (const Case& c : cases) {
    test::RecordingMessageSink told;
    const auto encoded = EncodeAndTell(Def(c.name), c.text, c.source, told);
    EXPECT_EQ(encoded.has_value(), c.told.empty() || c.told[0].icon == MessageIcon::kWarning)
        << c.name << " " << c.text;
    EXPECT_EQ(told.Messages(), c.told) << c.name << " " << c.text;
  }
}

}  // namespace
}  // namespace cw::dataflash
