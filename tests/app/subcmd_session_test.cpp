// The SubCMD panel: entry parsing, read and write subcommands, unseal with its two lock tests.
#include "app/subcmd_session.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/messages.h"
#include "link/pec.h"
#include "support/link_fixture.h"
#include "support/lossy_gauge.h"

namespace cw::app {
namespace {

using common::Bytes;
using test::LinkFixture;

struct EntryCase {
  const char* typed;
  std::vector<SubCmdLogRow> rows;
  std::vector<std::string> messages;
};

TEST(SubCmdEntryTest, ParsesAndRefusesLikeTheEntryField) {
  const EntryCase cases[] = {
      {"5 4", {}, {"The SubCMD of 0x54 can't be writed from here!"}},
      {"0a", {}, {"The SubCMD of 0x0a is invalid!"}},
      // Not whole hex: refused as no code at all, never run as the digits it starts with.
      {"zz", {}, {"The Input SubCMD is invalid!"}},
      {"12x", {}, {"The Input SubCMD is invalid!"}},
      {"0x", {}, {"The Input SubCMD is invalid!"}},
      {"4 1g", {}, {"The Input SubCMD is invalid!"}},
      {"1d", {{"0x001D W", "N/A", false}}, {}},
      {"  ", {}, {"The Input SubCMD is invalid!"}},
      {"0x41", {{"0x0041 W", "N/A", false}}, {}},
  };
  for (const auto& c : cases) {
    LinkFixture fx;
    SubCmdSession panel(*fx.link, fx.messages);
    panel.RunEnteredCode(c.typed);
    EXPECT_EQ(panel.View().log, c.rows) << c.typed;
    EXPECT_EQ(fx.messages.Texts(), c.messages) << c.typed;
    EXPECT_EQ(fx.TakeSent().empty(), c.rows.empty()) << c.typed << ": sent only when run";
  }
}

TEST(SubCmdEntryTest, ReadTypeShowsTheWordOfTheReply) {
  LinkFixture fx;
  SubCmdSession panel(*fx.link, fx.messages);
  panel.RunEnteredCode("9");
  ASSERT_EQ(panel.View().log.size(), 1u);
  EXPECT_EQ(panel.View().log[0].cmd, "0x0009 R");
  EXPECT_TRUE(panel.View().log[0].result.starts_with("0x"));
  EXPECT_EQ(panel.View().log[0].result.size(), 6u);
  EXPECT_FALSE(panel.View().log[0].failed);
}

TEST(SubCmdTest, WriteTypeIsAFourByteManufacturerBlockWrite) {
  LinkFixture fx;
  SubCmdSession panel(*fx.link, fx.messages);
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.TakeEvents();
  panel.RunSubcommand(0x0022);
  const auto sent = fx.TakeSent();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0], (Bytes{1, 0x16, 0, 0, 0, 0, 5, 1}));
  EXPECT_EQ(sent[1], (Bytes{3, 0x44, 0x02, 0x22, 0x00, link::Pec({0x16, 0x44, 2, 0x22, 0}), 0, 0}));
}

TEST(SubCmdTest, ReplyEchoingAnotherSubcommandIsAFailure) {
  LinkFixture fx;
  test::ScriptedTarget target;
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.pack->ReplaceTarget(&target);
  target.on_read = [](std::uint8_t command, std::size_t count) -> std::optional<Bytes> {
    Bytes reply = {4, 0x02, 0, 0x34, 0x12};
    reply.push_back(link::Pec({0x16, command, 0x17, 4, 0x02, 0, 0x34, 0x12}));
    reply.resize(count, 0xFF);
    return reply;
  };
  SubCmdSession panel(*fx.link, fx.messages);
  panel.RunSubcommand(0x01);
  ASSERT_EQ(panel.View().log.size(), 1u);
  EXPECT_EQ(panel.View().log[0], (SubCmdLogRow{"0x0001 R", "Fail", true}));
  EXPECT_TRUE(fx.messages.Texts().empty());
  fx.pack->ReplaceTarget(nullptr);
}

TEST(SubCmdTest, RefusedWriteIsMarkedFailNotHidden) {
  LinkFixture fx;
  test::ScriptedTarget target;
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.pack->ReplaceTarget(&target);
  target.on_write = [](common::ByteView) { return false; };
  SubCmdSession panel(*fx.link, fx.messages);
  panel.RunSubcommand(0x10);
  EXPECT_EQ(panel.View().log, (std::vector<SubCmdLogRow>{{"0x0010 W", "Fail", true}}));
  fx.pack->ReplaceTarget(nullptr);
}

TEST(UnsealTest, UnsealedDeviceLogsOneRowAndOpensNoDialog) {
  LinkFixture fx;
  fx.pack->gauge().SetSealState(sim::SealState::kUnsealed);
  SubCmdSession panel(*fx.link, fx.messages);
  EXPECT_TRUE(panel.Unseal(UnsealTarget::kUnseal)) << "unlocked: no dialog";
  EXPECT_EQ(panel.View().log, (std::vector<SubCmdLogRow>{{"0x3B9E61D4", "N/A", false}}));
}

TEST(UnsealTest, KeysMoveTheGaugeAndTheLockTestsDiffer) {
  LinkFixture fx;
  fx.pack->gauge().SetSealState(sim::SealState::kSealed);
  SubCmdSession panel(*fx.link, fx.messages);
  EXPECT_FALSE(panel.Unseal(UnsealTarget::kFullAccess)) << "full access needs unsealing first";
  EXPECT_TRUE(panel.Unseal(UnsealTarget::kUnseal));
  EXPECT_EQ(fx.pack->gauge().seal_state(), sim::SealState::kUnsealed);
  EXPECT_TRUE(panel.Unseal(UnsealTarget::kFullAccess));
  EXPECT_EQ(fx.pack->gauge().seal_state(), sim::SealState::kFullAccess);
  EXPECT_EQ(panel.View().log.size(), 3u);
}

TEST(UnsealTest, WrongKeyLeavesTheDeviceLockedAndTheDialogKeyReplacesIt) {
  LinkFixture fx;
  fx.pack->gauge().SetSealState(sim::SealState::kSealed);
  SubCmdSession panel(*fx.link, fx.messages);
  panel.SendNewKey(UnsealTarget::kUnseal, "1234 5678");
  EXPECT_EQ(panel.View().key(UnsealTarget::kUnseal), 0x12345678u);
  EXPECT_EQ(panel.View().KeyText(UnsealTarget::kUnseal), "12345678");
  EXPECT_FALSE(panel.Unseal(UnsealTarget::kUnseal)) << "still locked: the dialog opens";
  panel.SendNewKey(UnsealTarget::kUnseal, "3B9E61D4");
  EXPECT_EQ(fx.pack->gauge().seal_state(), sim::SealState::kUnsealed);
  EXPECT_EQ(panel.View().log.back(), (SubCmdLogRow{"0x3B9E61D4", "N/A", false}));
}

// A key that is not whole hex is no key: it is neither stored nor sent.
TEST(UnsealTest, KeyThatIsNotWholeHexIsRefused) {
  for (const char* typed : {"zz", "1234567g", "", "0x"}) {
    LinkFixture fx;
    SubCmdSession panel(*fx.link, fx.messages);
    EXPECT_EQ(panel.SendNewKey(UnsealTarget::kUnseal, typed).verdict, common::Verdict::kRefused)
        << typed;
    EXPECT_EQ(panel.View().unseal_key, kDefaultUnsealKey) << typed;
    EXPECT_TRUE(panel.View().log.empty()) << typed;
    EXPECT_TRUE(fx.TakeSent().empty()) << typed;
    EXPECT_EQ(fx.messages.Texts(),
              std::vector<std::string>{fmt::format(
                  "The key \"{}\" is not 1 to 8 hex digits (optionally after 0x): nothing was "
                  "sent.",
                  typed)});
  }
}

// SEAL is judged by the Operation Status read after it, never by the acknowledgement alone.
TEST(SealTest, OperationStatusDecidesWhatSealReports) {
  const auto is_seal = [](common::ByteView bytes) {
    return bytes.size() >= 3 && bytes[0] == 0x44 && bytes[2] == 0x30;
  };
  struct Case {
    const char* name;
    bool refuse = false;
    bool lose_ack = false;
    bool lose_status = false;
    bool done = false;
    std::string message_start;  // empty: no message
    sim::SealState after = sim::SealState::kSealed;
  };
  const Case cases[] = {
      {.name = "acknowledged", .done = true},
      {.name = "acknowledgement lost",
       .lose_ack = true,
       .done = true,
       .message_start = std::string(messages::kSealedAcknowledgementLost)},
      {.name = "refused",
       .refuse = true,
       .message_start = "The gauge is not sealed: its Operation Status reads 0x",
       .after = sim::SealState::kUnsealed},
      {.name = "status unreadable",
       .lose_status = true,
       .message_start = "SEAL was sent, but no valid Operation Status could be read"},
  };
  for (const Case& c : cases) {
    LinkFixture fx;
    fx.pack->gauge().SetSealState(sim::SealState::kUnsealed);
    test::LossyGauge lossy(fx);
    if (c.refuse) lossy.refuse = is_seal;
    if (c.lose_ack) lossy.lose_ack = is_seal;
    if (c.lose_status) lossy.lose_reply = [](std::uint8_t command) { return command == 0x44; };
    SubCmdSession panel(*fx.link, fx.messages);
    const common::Outcome sealed = panel.RunSubcommand(0x30);
    EXPECT_EQ(sealed.done(), c.done) << c.name;
    const auto texts = fx.messages.Texts();
    if (c.message_start.empty()) {
      EXPECT_TRUE(texts.empty()) << c.name;
    } else {
      ASSERT_EQ(texts.size(), 1u) << c.name;
      EXPECT_TRUE(texts[0].starts_with(c.message_start)) << c.name << ": " << texts[0];
    }
    EXPECT_EQ(panel.View().log,
              (std::vector<SubCmdLogRow>{{"0x0030 W", c.done ? "N/A" : "Fail", !c.done}}))
        << c.name;
    EXPECT_EQ(fx.pack->gauge().seal_state(), c.after) << c.name;
  }
}

// A reply that cannot be read says nothing about the lock: it is never taken for "unlocked".
TEST(UnsealTest, UnreadableOperationStatusLeavesTheLockUnknown) {
  struct Case {
    const char* name;
    bool short_replies = false;
    bool lose_status = false;
    bool refuse_key = false;
    LockState state;
    std::vector<std::string> messages;
    sim::SealState after;
  };
  const std::string unknown(messages::kLockStateUnknown);
  const Case cases[] = {
      {"malformed status replies",
       true,
       false,
       false,
       LockState::kUnknown,
       {unknown},
       sim::SealState::kUnsealed},
      {"status never answered",
       false,
       true,
       false,
       LockState::kUnknown,
       {unknown},
       sim::SealState::kUnsealed},
      {"key words refused",
       false,
       false,
       true,
       LockState::kLocked,
       {"The key words were not confirmed by the gauge (Target Board Not Responding)."},
       sim::SealState::kSealed},
  };
  for (const Case& c : cases) {
    sim::SimOptions options = test::OptionsFor(test::Adapters::kHid);
    options.faults.short_replies = c.short_replies;
    LinkFixture fx(options);
    fx.pack->gauge().SetSealState(sim::SealState::kSealed);
    test::LossyGauge lossy(fx);
    if (c.lose_status) lossy.lose_reply = [](std::uint8_t command) { return command == 0x44; };
    if (c.refuse_key) lossy.refuse = [](common::ByteView bytes) { return bytes[0] == 0x00; };
    SubCmdSession panel(*fx.link, fx.messages);
    const auto unsealed = panel.Unseal(UnsealTarget::kUnseal);
    EXPECT_FALSE(unsealed.done()) << c.name;
    EXPECT_EQ(unsealed.detail.lock, c.state) << c.name;
    EXPECT_EQ(fx.messages.Texts(), c.messages) << c.name;
    EXPECT_EQ(fx.pack->gauge().seal_state(), c.after) << c.name;
  }
}

TEST(SubCmdListsTest, RefusedCodesAreAcceptedCodesAndButtonsFollowTheWriteList) {
  for (std::uint16_t code = 0; code < 0x100; ++code) {
    EXPECT_TRUE(!IsRefusedFromEntry(code) || IsAcceptedSubCmd(code)) << code;
  }
  EXPECT_TRUE(IsWriteTypeSubCmd(0x1E));
  EXPECT_FALSE(IsAcceptedSubCmd(0x1E)) << "the FET toggles are buttons only";
  EXPECT_FALSE(IsWriteTypeSubCmd(0x01));
}

}  // namespace
}  // namespace cw::app
