// Data-flash pages, parameter blocks, raw flash blocks, authentication and reply checks.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "link/pec.h"
#include "support/link_fixture.h"

namespace cw::test {
namespace {

using common::Bytes;
using common::Millis;

TEST(PecTest, IsTheSmbusCrc8) {
  EXPECT_EQ(link::kPecTable[1], 0x07);
  EXPECT_EQ(link::kPecTable[2], 0x0E);
  EXPECT_EQ(link::Pec({'a', 'b', 'c'}), 0x5F);
  EXPECT_EQ(link::Pec({}), 0x00);
  // A write word of 0x0041 to command 0x00 covers the address, the command and both bytes.
  EXPECT_EQ(link::Pec({0x16, 0x00, 0x41, 0x00}), 0x5D);
}

TEST(ReplyCheckTest, ManufacturerBlockReplyMustMatchCountAndSubcommand) {
  struct Case {
    Bytes reply;
    bool valid;
  };
  const Case cases[] = {
      {{4, 0x54, 0, 0x00, 0x40, 0x99}, true},
      {{3, 0x54, 0, 0x00, 0x40, 0x99}, false},  // count 3 instead of 4
      {{4, 0x55, 0, 0x00, 0x40, 0x99}, false},
      {{4, 0x54, 1, 0x00, 0x40, 0x99}, false},
      {{4, 0x54}, false},  // shorter than its own count
  };
  for (const auto& c : cases) {
    EXPECT_EQ(link::ManufacturerBlockData(c.reply, 0x54, 2).has_value(), c.valid)
        << common::ToHex(c.reply);
  }
}

TEST(ReplyCheckTest, BlockTextShowsZerosAsAtSignsAndStopsAt31) {
  EXPECT_EQ(link::BlockText(Bytes{'K', 0, 'T'}), "K@T");
  EXPECT_EQ(link::BlockText(Bytes(40, 'x')), std::string(31, 'x'));
  EXPECT_EQ(link::BlockText(Bytes{}), "");
}

// Gauges whose count byte points past the reply must not make the link read past it.
TEST(ReplyCheckTest, CountBytePastTheReportFailsTheRead) {
  for (const Adapters adapters : {Adapters::kHid, Adapters::kBulk}) {
    LinkFixture fx(adapters);
    ScriptedTarget target;
    ASSERT_TRUE(fx.link->EnsureConnected());
    fx.pack->ReplaceTarget(&target);
    target.on_read = [](std::uint8_t, std::size_t count) -> std::optional<Bytes> {
      Bytes reply(count == link::SmbusTarget::kReadToCountByte ? 33 : count, 'A');
      reply[0] = 0xFF;
      return reply;
    };
    Bytes out;
    // The bulk command form hands back 35 bytes as read and never indexes by the count.
    EXPECT_EQ(fx.link->ReadBlock(0x20, 255, out), adapters == Adapters::kBulk) << int(adapters);
    link::RegisterRow row{.command = 0x20, .max_length = 21};
    EXPECT_FALSE(fx.link->ReadBlock(row)) << int(adapters);
    EXPECT_EQ(fx.link->link_status(), link::LinkStatus::kNotResponding);
    fx.pack->ReplaceTarget(nullptr);
  }
}

class DataFlashPageTest : public ::testing::TestWithParam<Adapters> {
 protected:
  void SetUp() override {
    fx = std::make_unique<LinkFixture>(GetParam());
    ASSERT_TRUE(fx->link->EnsureConnected());
    fx->pack->gauge().SetSealState(sim::SealState::kUnsealed);
    fx->TakeEvents();
    fx->TakeWaits();
  }
  std::unique_ptr<LinkFixture> fx;
};

TEST_P(DataFlashPageTest, PageWrittenIsReadBack) {
  // Subclass 0x30 is 73 bytes: two full pages and nine bytes.
  ASSERT_TRUE(fx->link->SelectSubclass(0x30));
  Bytes page(32);
  for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(0xA0 + i);
  ASSERT_TRUE(fx->link->WriteFlashPage(1, page));
  ASSERT_TRUE(fx->link->SelectSubclass(0x30));
  EXPECT_EQ(fx->link->ReadFlashPage(1, 32), page);
  const auto tail = fx->link->ReadFlashPage(2, 9);
  ASSERT_TRUE(tail.has_value());
  EXPECT_EQ(tail->size(), 9u);
}

TEST_P(DataFlashPageTest, ParameterCrossingAPageIsReadFromBothPages) {
  const link::FlashParamLocation row{.subclass = 0x30, .offset = 31, .size = 2,
                                     .subclass_length = 73};
  const Bytes value = {0x12, 0x34};
  ASSERT_TRUE(fx->link->WriteFlashParameterBlock(row, value));
  const auto pages = fx->link->ReadFlashParameterBlock(row);
  ASSERT_TRUE(pages.has_value());
  EXPECT_EQ(pages->first_page, 0);
  ASSERT_EQ(pages->bytes.size(), 64u);
  EXPECT_EQ(pages->bytes[31], 0x12);
  EXPECT_EQ(pages->bytes[32], 0x34);
}

TEST_P(DataFlashPageTest, ParameterOnThePartialLastPageReadsOnlyItsBytes) {
  const link::FlashParamLocation row{.subclass = 0x30, .offset = 70, .size = 2,
                                     .subclass_length = 73};
  const auto pages = fx->link->ReadFlashParameterBlock(row);
  ASSERT_TRUE(pages.has_value());
  EXPECT_EQ(pages->first_page, 2);
  EXPECT_EQ(pages->bytes.size(), 9u);
}

INSTANTIATE_TEST_SUITE_P(BothAdapters, DataFlashPageTest,
                         ::testing::Values(Adapters::kHid, Adapters::kBulk));

TEST(DataFlashHidTest, SelectAndPageWriteFrames) {
  LinkFixture fx;
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.pack->gauge().SetSealState(sim::SealState::kUnsealed);
  fx.TakeEvents();
  fx.TakeWaits();
  ASSERT_TRUE(fx.link->SelectSubclass(0x22));
  const Bytes data = {1, 2, 3};
  ASSERT_TRUE(fx.link->WriteFlashPage(4, data));
  const auto sent = fx.TakeSent();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[0], (Bytes{1, 0x16, 0x77, 0x22, 0, link::Pec({0x16, 0x77, 0x22, 0}), 0, 5}));
  EXPECT_EQ(sent[2], (Bytes{1, 0x16, 0x7C, 3, 0, 0, 4, 3}));
  EXPECT_EQ(sent[3], (Bytes{3, 1, 2, 3, link::Pec({0x16, 0x7C, 3, 1, 2, 3}), 0, 0, 0}));
  EXPECT_EQ(fx.TakeWaits(), (std::vector<Millis>{Millis{8}, Millis{1}, Millis{25}, Millis{1}}));
}

TEST(DataFlashHidTest, ParameterWriteCarriesTheCountInTheDataReportAndSplitsAtThePageEnd) {
  LinkFixture fx;
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.pack->gauge().SetSealState(sim::SealState::kUnsealed);
  const link::FlashParamLocation row{.subclass = 0x30, .offset = 30, .size = 4,
                                     .subclass_length = 73};
  const Bytes value = {0xDE, 0xAD, 0xBE, 0xEF};
  fx.TakeEvents();
  fx.TakeWaits();
  ASSERT_TRUE(fx.link->WriteFlashParameterBlock(row, value));
  const auto sent = fx.TakeSent();
  // select (2 sets), read page 0 (1), read page 1 (1), then the two page writes, the status.
  ASSERT_EQ(sent.size(), 2u + 1 + 1 + 4 + 1);
  EXPECT_EQ(sent[4], (Bytes{1, 0x16, 0x78, 0, 0, 0, 34, 2}));
  EXPECT_EQ(sent[5][1], 32) << "count byte first in the data report";
  EXPECT_EQ(sent[5][32], 0xDE);
  EXPECT_EQ(sent[5][33], 0xAD);
  EXPECT_EQ(sent[6], (Bytes{1, 0x16, 0x79, 0, 0, 0, 4, 2}));
  EXPECT_EQ(sent[7], (Bytes{3, 2, 0xBE, 0xEF, link::Pec({0x16, 0x79, 2, 0xBE, 0xEF}), 0, 0, 0}));
  const auto waits = fx.TakeWaits();
  ASSERT_GE(waits.size(), 3u);
  EXPECT_EQ(waits[waits.size() - 3], Millis{40}) << "between the two pages";
  EXPECT_EQ(waits[waits.size() - 2], Millis{20}) << "before the one status fetch";
}

TEST(FlashBlockTest, BlockIsAWordWriteThenA32ByteRead) {
  LinkFixture fx;
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.pack->gauge().SetSealState(sim::SealState::kUnsealed);
  fx.TakeEvents();
  const auto block = fx.link->ReadFlashBlock(0xF800, true);
  ASSERT_TRUE(block.has_value());
  const auto sent = fx.TakeSent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], (Bytes{1, 0x16, 0x4A, 0x00, 0xF8, link::Pec({0x16, 0x4A, 0x00, 0xF8}), 0, 5}));
  EXPECT_EQ(sent[2], (Bytes{1, 0x17, 0x4A, 0, 0, 0, 34, 2}));
  EXPECT_FALSE(fx.lock.HeldByThisThread());
}

TEST(FlashBlockTest, SelectorsPlaceTheirBytes) {
  EXPECT_EQ(link::PlaceOfFlashBlock(0x40)->offset, 0u);
  EXPECT_FALSE(link::PlaceOfFlashBlock(0x41)->code);
  EXPECT_EQ(link::PlaceOfFlashBlock(0x7F)->offset, 63u * 32);
  EXPECT_TRUE(link::PlaceOfFlashBlock(0xF801)->code);
  EXPECT_EQ(link::PlaceOfFlashBlock(0xF801)->offset, 32u);
  EXPECT_EQ(link::PlaceOfFlashBlock(0xF800 + 2015)->offset, 2015u * 32);
  EXPECT_FALSE(link::PlaceOfFlashBlock(0x3F).has_value());
  EXPECT_FALSE(link::PlaceOfFlashBlock(0xF800 + 2016).has_value());
}

Bytes Sha1(const Bytes& data) {
  Bytes digest(20);
  unsigned int length = 0;
  EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha1(), nullptr);
  return digest;
}

// SHA-1(K || SHA-1(K || C)) in typed order.
Bytes HostDigest(const Bytes& key, const Bytes& challenge) {
  Bytes inner = key;
  inner.insert(inner.end(), challenge.begin(), challenge.end());
  Bytes outer = key;
  const Bytes inner_digest = Sha1(inner);
  outer.insert(outer.end(), inner_digest.begin(), inner_digest.end());
  return Sha1(outer);
}

Bytes Reversed(Bytes bytes) {
  std::reverse(bytes.begin(), bytes.end());
  return bytes;
}

class AuthenticationTest : public ::testing::TestWithParam<Adapters> {};

TEST_P(AuthenticationTest, GaugeAnswerReversedIsTheHostDigest) {
  LinkFixture fx(GetParam());
  const Bytes key = *common::ParseExactHexField("5A3C96E1B04F7D2288E1C35A9F06B47D", 16);
  Bytes challenge(20);
  for (std::size_t i = 0; i < challenge.size(); ++i) challenge[i] = static_cast<std::uint8_t>(i * 13 + 1);
  const auto answer = fx.link->SendChallenge(Reversed(challenge));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(Reversed(Bytes(answer->begin(), answer->end())), HostDigest(key, challenge));
}

TEST_P(AuthenticationTest, ChangedKeyAnswersTheZeroChallenge) {
  LinkFixture fx(GetParam());
  fx.pack->gauge().SetSealState(sim::SealState::kUnsealed);
  Bytes key(16);
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(0xF0 - i);
  const auto answer = fx.link->ChangeAuthKey(Reversed(key));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(Reversed(Bytes(answer->begin(), answer->end())), HostDigest(key, Bytes(20, 0)));
  Bytes challenge(20, 0x5C);
  const auto next = fx.link->SendChallenge(challenge);
  ASSERT_TRUE(next.has_value());
  EXPECT_EQ(Reversed(Bytes(next->begin(), next->end())), HostDigest(key, challenge));
}

INSTANTIATE_TEST_SUITE_P(BothAdapters, AuthenticationTest,
                         ::testing::Values(Adapters::kHid, Adapters::kBulk));

TEST(AuthenticationHidTest, ChallengeFramesAndWaits) {
  LinkFixture fx;
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.TakeEvents();
  fx.TakeWaits();
  ASSERT_TRUE(fx.link->SendChallenge(Bytes(20, 1)).has_value());
  const auto sent = fx.TakeSent();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0], (Bytes{1, 0x16, 0x2F, 20, 0, 0, 21, 3}));
  EXPECT_EQ(sent[3], (Bytes{1, 0x17, 0x2F, 0, 0, 0, 22, 2}));
  EXPECT_EQ(fx.TakeWaits(), (std::vector<Millis>{Millis{25}, Millis{1}, Millis{100}, Millis{20}}));
}

TEST(SealStateTest, OperationStatusComesFromSubcommand0x54) {
  LinkFixture fx;
  fx.pack->gauge().SetSealState(sim::SealState::kSealed);
  const auto sealed = fx.link->ReadOperationStatus();
  ASSERT_TRUE(sealed.has_value());
  EXPECT_NE(*sealed & 0x4000, 0);
  fx.pack->gauge().SetSealState(sim::SealState::kUnsealed);
  const auto unsealed = fx.link->ReadOperationStatus();
  ASSERT_TRUE(unsealed.has_value());
  EXPECT_EQ(*unsealed & 0x4000, 0);
}

}  // namespace
}  // namespace cw::test
