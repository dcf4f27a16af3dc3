// The SMB access page's forms on the simulated gauge: command and data parsing, block lengths,
// PEC checks, protected pages, and what each press leaves in the fields.
#include "presentation/smb_access_form.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "link/pec.h"
#include "support/link_fixture.h"
#include "support/lossy_gauge.h"

namespace cw::presentation {
namespace {

using common::Bytes;
using test::LinkFixture;

class SmbAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fx.link->EnsureConnected());
    fx.pack->gauge().SetSealState(sim::SealState::kUnsealed);
    fx.TakeEvents();
  }
  // A form's button with the fields as typed; the fields then show what the form left, as the
  // page's do.
  common::Outcome Press(SmbForm form) {
    const SmbFormOutcome pressed = SubmitSmbForm(smb, form, typed, fx.messages);
    typed = pressed.detail;
    return pressed;
  }
  LinkFixture fx;
  app::SmbAccess smb{*fx.link};
  SmbAccessFields typed;
};

TEST(SmbParsingTest, CommandIsOneOrTwoHexDigits) {
  EXPECT_EQ(app::ParseSmbCommand("9"), 0x09);
  EXPECT_EQ(app::ParseSmbCommand("0D"), 0x0D);
  EXPECT_EQ(app::ParseSmbCommand("ff"), 0xFF);
  for (const char* bad : {"1G", "", "100", "0x", " 9", "9 "}) {
    EXPECT_FALSE(app::ParseSmbCommand(bad).has_value()) << bad;
  }
}

TEST(SmbParsingTest, BlockDataIsHexPairsSeparatedByBlanks) {
  EXPECT_EQ(app::ParseSmbBlockData("1 2 3"), (Bytes{1, 2, 3}));
  EXPECT_EQ(app::ParseSmbBlockData("0102  0a"), (Bytes{1, 2, 0x0A}));
  EXPECT_EQ(app::ParseSmbBlockData("123"), (Bytes{0x12, 0x03}));
  EXPECT_EQ(app::ParseSmbBlockData(""), Bytes{});
  EXPECT_FALSE(app::ParseSmbBlockData("1G").has_value());
  EXPECT_FALSE(app::ParseSmbBlockData("01,02").has_value());
}

TEST(SmbParsingTest, DataFlashPageLengthsFollowTheSubclassLength) {
  EXPECT_EQ(app::PageBytes(40, 1), 8) << "0x79 of a 40-byte subclass: 8 data bytes";
  EXPECT_FALSE(app::PageBytes(30, 1).has_value()) << "a 30-byte subclass has no page 1";
  EXPECT_EQ(app::PageBytes(64, 1), 32);
  EXPECT_EQ(app::DataFlashPageLength(0x30, 2), 9);
  EXPECT_FALSE(app::DataFlashPageLength(0x15, 0).has_value());
}

TEST_F(SmbAccessTest, ReadWordChecksThePecAndPrintsFourDigits) {
  typed.read_word_command = "9";
  Press(SmbForm::kReadWord);
  ASSERT_EQ(typed.read_word_result.size(), 4u);
  const auto sent = fx.TakeSent();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0], (Bytes{1, 0x17, 0x09, 0, 0, 0, 3, 2}));
}

TEST_F(SmbAccessTest, WordReadOfABlockCommandOrBadTextClearsBothFields) {
  for (const char* command : {"54", "1G"}) {
    typed.read_word_command = command;
    typed.read_word_result = "1234";
    Press(SmbForm::kReadWord);
    EXPECT_EQ(typed.read_word_command, "") << command;
    EXPECT_EQ(typed.read_word_result, "") << command;
  }
  EXPECT_TRUE(fx.TakeSent().empty());
}

TEST_F(SmbAccessTest, WordWithABadPecShowsPecError) {
  test::ScriptedTarget target;
  fx.pack->ReplaceTarget(&target);
  target.on_read = [](std::uint8_t, std::size_t count) -> std::optional<Bytes> {
    Bytes reply = {0x34, 0x12, 0x00};
    reply.resize(count, 0xFF);
    return reply;
  };
  typed.read_word_command = "0D";
  Press(SmbForm::kReadWord);
  EXPECT_EQ(typed.read_word_result, "");
  EXPECT_EQ(fx.messages.Texts(), std::vector<std::string>{"PEC Error!"});
  fx.pack->ReplaceTarget(nullptr);
}

TEST_F(SmbAccessTest, BlockRead0x54RequestsFourBytesAndShowsTwo) {
  typed.read_block_command = "54";
  Press(SmbForm::kReadBlock);
  const auto sent = fx.TakeSent();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0], (Bytes{1, 0x17, 0x54, 0, 0, 0, 4, 2}));
  EXPECT_EQ(typed.read_block_result.size(), 6u) << typed.read_block_result;
}

TEST_F(SmbAccessTest, VariableBlockShowsTheCountedBytes) {
  typed.read_block_command = "21";
  Press(SmbForm::kReadBlock);
  EXPECT_EQ(typed.read_block_result, "4B 54 35 38 30 37 31 34 ");  // "KT580714"
}

// A block read shows the bytes the reply carries, on either adapter, and fails on a count byte
// that does not match them; a variable-length block is read a second time, as long as its count
// says, to check its PEC.
TEST(SmbBlockReadTest, ShowsExactlyWhatTheReplyCarries) {
  struct Case {
    test::Adapters adapters;
    bool short_replies;
    bool oversized_replies;
    const char* command;
    const char* result;
    const char* message;  // empty: none
  };
  const char* kName = "4B 54 35 38 30 37 31 34 ";
  const Case cases[] = {
      {test::Adapters::kHid, false, false, "21", kName, ""},
      {test::Adapters::kBulk, false, false, "21", kName, ""},
      {test::Adapters::kHid, true, false, "21", "", "PEC Error!"},
      {test::Adapters::kBulk, true, false, "21", "", "PEC Error!"},
      {test::Adapters::kHid, false, true, "21", "",
       "Reading 0x21 failed (Target Board Not Responding)."},
      {test::Adapters::kBulk, false, true, "21", "",
       "The reply of 0x21 announces 255 bytes; an SMBus block holds at most 32."},
      {test::Adapters::kHid, true, false, "54", "",
       "The reply of 0x54 announces 1 data bytes but carries 2."},
      {test::Adapters::kBulk, false, true, "54", "",
       "The reply of 0x54 announces 255 data bytes but carries 2."},
  };
  for (const Case& c : cases) {
    sim::SimOptions options = test::OptionsFor(c.adapters);
    options.faults.short_replies = c.short_replies;
    options.faults.oversized_replies = c.oversized_replies;
    LinkFixture fx(options);
    app::SmbAccess smb(*fx.link);
    SmbAccessFields typed;
    typed.read_block_command = c.command;
    typed.read_block_result = "stale";
    const SmbFormOutcome read = SubmitSmbForm(smb, SmbForm::kReadBlock, typed, fx.messages);
    const std::string label = fmt::format("{} {}{}", c.command, c.short_replies ? "short " : "",
                                          c.oversized_replies ? "oversized " : "");
    EXPECT_EQ(read.done(), std::string(c.message).empty()) << label;
    EXPECT_EQ(read.detail.read_block_result, c.result) << label;
    EXPECT_EQ(fx.messages.Texts(), std::string(c.message).empty()
                                       ? std::vector<std::string>{}
                                       : std::vector<std::string>{c.message})
        << label;
  }
}

TEST_F(SmbAccessTest, VariableBlockIsReadAgainAsLongAsItsCount) {
  typed.read_block_command = "21";
  Press(SmbForm::kReadBlock);
  std::vector<Bytes> headers;
  for (const Bytes& report : fx.TakeSent()) {
    if (report[0] == 1 && report[1] == 0x17) headers.push_back(report);
  }
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers[0], (Bytes{1, 0x17, 0x21, 0, 0, 0, 0xFF, 2})) << "length from the gauge";
  EXPECT_EQ(headers[1], (Bytes{1, 0x17, 0x21, 0, 0, 0, 10, 2})) << "count, 8 bytes, PEC";
}

// A write the gauge did not acknowledge is reported with what it holds now, where that can be
// read back; only a read-back showing the new value counts as done.
TEST_F(SmbAccessTest, UnconfirmedWritesTellWhatTheGaugeHoldsNow) {
  const auto to = [](std::uint8_t command) {
    return [command](common::ByteView bytes) { return bytes[0] == command; };
  };
  struct Case {
    const char* name;
    bool lose_ack;  // else refused
    SmbForm form;
    std::function<void(SmbAccessFields&)> type;
    bool done;
    std::string message;
  };
  const auto write_word = [](SmbAccessFields& f) {
    f.write_word_command = "01";
    f.write_word = "0190";
  };
  // In this order: the refused word finds the gauge's own value.
  const Case cases[] = {
      {"word, refused", false, SmbForm::kWriteWord, write_word, false,
       "The gauge did not confirm the write to 0x01 (Target Board Not Responding). The gauge now "
       "holds 012C."},
      {"word, acknowledgement lost", true, SmbForm::kWriteWord, write_word, true,
       "The gauge's acknowledgement was lost, but 0x01 reads back 0190: the word was written."},
      {"combined words, refused", false, SmbForm::kCombinedWord,
       [](SmbAccessFields& f) {
         f.combined_command = "00";
         f.combined_word1 = "1234";
         f.combined_word2 = "5678";
       },
       false,
       "The gauge did not confirm the write to 0x00 (Target Board Not Responding). It cannot be "
       "read back: whether the gauge took the write is unknown."},
      {"data flash page, acknowledgement lost", true, SmbForm::kWriteBlock,
       [](SmbAccessFields& f) {
         f.write_block_command = "78";
         f.write_block_data = "01 02 03 04 05 06";
       },
       true, "The gauge's acknowledgement was lost, but page 0x78 reads back as written."},
  };
  ASSERT_TRUE(fx.link->SelectSubclass(0x03));
  for (const Case& c : cases) {
    fx.messages.Clear();
    test::LossyGauge lossy(fx);
    const std::uint8_t command = std::string_view(c.name).starts_with("data")   ? 0x78
                                 : std::string_view(c.name).starts_with("comb") ? 0x00
                                                                                : 0x01;
    (c.lose_ack ? lossy.lose_ack : lossy.refuse) = to(command);
    SmbAccessFields fields;
    c.type(fields);
    SubmitSmbForm(smb, c.form, fields, fx.messages);
    EXPECT_EQ(fx.messages.Texts(), std::vector<std::string>{c.message}) << c.name;
  }
  EXPECT_EQ(fx.pack->gauge().State().settings.remaining_capacity_alarm, 0x190);
}

TEST_F(SmbAccessTest, UnpluggedAdapterIsNamedAndNothingIsShownAsData) {
  fx.pack->Unplug();
  typed.read_block_command = "21";
  EXPECT_FALSE(Press(SmbForm::kReadBlock));
  EXPECT_EQ(typed.read_block_result, "");
  typed.write_word_command = "01";
  typed.write_word = "0190";
  EXPECT_FALSE(Press(SmbForm::kWriteWord));
  // The link names the adapter that stopped answering once; the page says what it means.
  EXPECT_EQ(fx.messages.Texts(),
            (std::vector<std::string>{
                "sim:hid0:1: the adapter stopped answering: the exchange failed",
                "Reading 0x21 failed (USB Disconnected).",
                "The gauge did not confirm the write to 0x01 (USB Disconnected). Reading it back "
                "failed as well: whether the gauge took the write is unknown."}));
}

TEST_F(SmbAccessTest, DataFlashPageReadUsesTheSelectedSubclass) {
  ASSERT_TRUE(fx.link->SelectSubclass(0x30));
  fx.TakeEvents();
  typed.read_block_command = "7A";
  Press(SmbForm::kReadBlock);
  const auto sent = fx.TakeSent();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent.back(), (Bytes{1, 0x17, 0x7A, 0, 0, 0, 11, 2})) << "count, 9 bytes, PEC";
  EXPECT_EQ(typed.read_block_result.size(), 9u * 3);
  typed.read_block_command = "7B";
  Press(SmbForm::kReadBlock);
  EXPECT_EQ(typed.read_block_result, "") << "subclass 0x30 has no page 3";
}

TEST_F(SmbAccessTest, ProtectedSubclassPagesAreNeverWritten) {
  for (const std::uint8_t subclass : {std::uint8_t{0x22}, std::uint8_t{0x5A}}) {
    ASSERT_TRUE(fx.link->SelectSubclass(subclass));
    fx.messages.Clear();
    fx.TakeEvents();
    typed.write_block_command = "78";
    typed.write_block_data = "01 02";
    Press(SmbForm::kWriteBlock);
    EXPECT_EQ(fx.messages.Texts(),
              std::vector<std::string>{fmt::format(
                  "Inhibit changing SubClassID = 0x{:04X} through Pro interface!", subclass)});
    EXPECT_EQ(typed.write_block_command, "");
    for (const auto& report : fx.TakeSent()) EXPECT_NE(report[1], 0x16) << "nothing written";
  }
}

TEST_F(SmbAccessTest, PageWriteIsPaddedToThePageLength) {
  ASSERT_TRUE(fx.link->SelectSubclass(0x03));  // 6 bytes
  fx.TakeEvents();
  typed.write_block_command = "78";
  typed.write_block_data = "1 2 3";
  Press(SmbForm::kWriteBlock);
  const auto sent = fx.TakeSent();
  const Bytes frame = {0x78, 6, 1, 2, 3, 0, 0, 0};
  ASSERT_GE(sent.size(), 2u);
  Bytes data_report{4};
  data_report.insert(data_report.end(), frame.begin(), frame.end());
  data_report.push_back(link::Pec(frame, link::Pec({0x16})));
  data_report.resize(16, 0);
  EXPECT_EQ(sent[sent.size() - 2], data_report);
}

TEST_F(SmbAccessTest, BadBlockDataIsAnInputDataError) {
  typed.write_block_command = "2F";
  typed.write_block_data = "1G";
  Press(SmbForm::kWriteBlock);
  EXPECT_EQ(fx.messages.Texts(), std::vector<std::string>{"Input Data Error!"});
  fx.messages.Clear();
  typed.write_block_data.clear();
  for (int i = 0; i < 62; ++i) typed.write_block_data += "01 ";
  Press(SmbForm::kWriteBlock);
  EXPECT_EQ(fx.messages.Texts(), std::vector<std::string>{"Input Data Error!"});
}

TEST_F(SmbAccessTest, EmptyFixedBlockSendsNothing) {
  typed.write_block_command = "44";
  typed.write_block_data = "";
  Press(SmbForm::kWriteBlock);
  EXPECT_EQ(typed.write_block_command, "");
  EXPECT_TRUE(fx.TakeSent().empty());
}

TEST_F(SmbAccessTest, CombinedWordOnlyForManufacturerAccessAndTheBootLoader) {
  typed.combined_command = "10";
  typed.combined_word1 = "1234";
  typed.combined_word2 = "5678";
  Press(SmbForm::kCombinedWord);
  EXPECT_EQ(typed.combined_command, "");
  EXPECT_EQ(typed.combined_word1, "");
  EXPECT_TRUE(fx.TakeSent().empty());

  fx.pack->gauge().SetSealState(sim::SealState::kSealed);
  typed.combined_command = "00";
  typed.combined_word1 = "61D4";
  typed.combined_word2 = "3B9E";
  Press(SmbForm::kCombinedWord);
  EXPECT_EQ(typed.combined_command, "00") << "kept after a successful write";
  EXPECT_EQ(fx.pack->gauge().seal_state(), sim::SealState::kUnsealed)
      << "the two words are the unseal key, low word first";
}

TEST_F(SmbAccessTest, WordWriteOfABlockCommandBlanksOrClearsTheCommand) {
  typed.write_word_command = "21";
  Press(SmbForm::kWriteWord);
  EXPECT_EQ(typed.write_word_command, "  ");
  typed.write_word_command = "54";
  Press(SmbForm::kWriteWord);
  EXPECT_EQ(typed.write_word_command, "");
  typed.write_word_command = "3";
  typed.write_word = "12345";
  Press(SmbForm::kWriteWord);
  const auto sent = fx.TakeSent();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[1][1], 0x03);
  EXPECT_EQ(sent[1][2], 0x00) << "a word longer than four digits is sent as 0x0000";
}

// Every press that sends nothing says why, and no byte reaches the gauge. Fixed-length blocks
// longer than their frame are refused rather than cut to it.
TEST(SmbRefusalTest, EveryRefusalSaysWhatFailedAndSendsNothing) {
  struct Case {
    SmbForm form;
    std::vector<const char*> typed;  // command, then the form's other fields
    std::optional<std::uint8_t> subclass;
    std::string message;
  };
  const std::string kNoBlockWrite =
      " takes no block write: block writes go to 0x2F, 0x44, 0x70, the data flash pages 0x78 to "
      "0x7C and 0xFF (a raw frame).";
  std::string bytes_25, bytes_40, bytes_7;
  for (int i = 0; i < 40; ++i) (i < 25 ? bytes_25 : bytes_40) += "01 ";
  bytes_40 += bytes_25;
  for (int i = 0; i < 7; ++i) bytes_7 += "AA ";
  const Case cases[] = {
      {SmbForm::kWriteBlock, {"20", "41 42"}, {}, "0x20" + kNoBlockWrite},
      {SmbForm::kWriteBlock, {"00", "41"}, {}, "0x00" + kNoBlockWrite},
      {SmbForm::kWriteBlock, {"7D", "01"}, {}, "0x7D" + kNoBlockWrite},
      {SmbForm::kWriteBlock, {"1G", "01"}, {}, "\"1G\" is not an SMB command: 1 or 2 hex digits."},
      {SmbForm::kWriteBlock,
       {"2F", ""},
       {},
       "0x2F needs at least one data byte: nothing was sent."},
      {SmbForm::kWriteBlock,
       {"44", " "},
       {},
       "0x44 needs at least one data byte: nothing was sent."},
      {SmbForm::kWriteBlock,
       {"FF", "01"},
       {},
       "A raw frame (0xFF) needs at least 2 bytes: nothing was sent."},
      {SmbForm::kWriteBlock,
       {"2F", bytes_25.c_str()},
       {},
       "0x2F takes at most 20 data bytes, not 25: nothing was sent."},
      {SmbForm::kWriteBlock,
       {"2F", bytes_40.c_str()},
       {},
       "0x2F takes at most 20 data bytes, not 40: nothing was sent."},
      {SmbForm::kWriteBlock,
       {"78", bytes_7.c_str()},
       0x03,
       "0x78 takes at most 6 data bytes, not 7: nothing was sent."},
      {SmbForm::kWriteBlock,
       {"78", "01"},
       {},
       "0x77 reads 0xFFFF, which is no data flash subclass: select one by writing its id to 0x77 "
       "as a word."},
      {SmbForm::kWriteBlock,
       {"79", "01"},
       0x03,
       "Subclass 0x03 holds 6 bytes: it has no page 0x79."},
      {SmbForm::kReadBlock, {"7B"}, 0x30, "Subclass 0x30 holds 73 bytes: it has no page 0x7B."},
      {SmbForm::kReadBlock, {"09"}, {}, "0x09 is not a block command: read it as a word."},
      {SmbForm::kReadWord, {"54"}, {}, "0x54 is a block command: read and write it as a block."},
      {SmbForm::kWriteWord,
       {"21", "1"},
       {},
       "0x21 is a block command: read and write it as a block."},
      {SmbForm::kWriteWord, {"01", "12G"}, {}, "\"12G\" is not a hex word: 1 to 4 hex digits."},
      {SmbForm::kCombinedWord,
       {"10", "1234", "5678"},
       {},
       "Combined words go to 0x00 (ManufacturerAccess) or 0x47 (the boot loader), not to 0x10."},
      {SmbForm::kCombinedWord,
       {"00", "", "5678"},
       {},
       "\"\" is not a hex word: 1 to 4 hex digits."},
  };
  for (const Case& c : cases) {
    LinkFixture fx;
    ASSERT_TRUE(fx.link->EnsureConnected());
    fx.pack->gauge().SetSealState(sim::SealState::kUnsealed);
    if (c.subclass) {
      ASSERT_TRUE(fx.link->SelectSubclass(*c.subclass));
    }
    fx.messages.Clear();
    test::LossyGauge spy(fx);
    int writes = 0;
    spy.refuse = [&writes](common::ByteView) {
      ++writes;
      return false;
    };
    SmbAccessFields typed;
    std::string* fields[][3] = {
        {&typed.read_word_command},
        {&typed.write_word_command, &typed.write_word},
        {&typed.combined_command, &typed.combined_word1, &typed.combined_word2},
        {&typed.read_block_command},
        {&typed.write_block_command, &typed.write_block_data},
    };
    for (std::size_t i = 0; i < c.typed.size(); ++i) {
      *fields[static_cast<int>(c.form)][i] = c.typed[i];
    }
    app::SmbAccess smb(*fx.link);
    const std::string label = fmt::format("form {} {}", static_cast<int>(c.form), c.typed[0]);
    EXPECT_FALSE(SubmitSmbForm(smb, c.form, typed, fx.messages).done()) << label;
    EXPECT_EQ(fx.messages.Texts(), std::vector<std::string>{c.message}) << label;
    EXPECT_EQ(writes, 0) << label;
  }
}

}  // namespace
}  // namespace cw::presentation
