// The boot loader conversation: handshake bytes, polls and their limits, result codes.
#include <gtest/gtest.h>

#include "link/messages.h"
#include "link/pec.h"
#include "support/link_fixture.h"

namespace cw::test {
namespace {

using common::Bytes;
using common::Millis;
using link::IspResult;

class IspTest : public ::testing::TestWithParam<Adapters> {
 protected:
  void SetUp() override {
    fx = std::make_unique<LinkFixture>(GetParam());
    ASSERT_TRUE(fx->link->EnsureConnected());
    fx->pack->ReplaceTarget(&target);
    fx->TakeWaits();
  }
  void TearDown() override { fx->pack->ReplaceTarget(nullptr); }

  // The status words the boot loader answers, one per read; the last repeats.
  void AnswerStatus(std::vector<std::uint16_t> words, bool spoil_pec = false) {
    target.on_read = [words, spoil_pec, index = std::size_t{0}](
                         std::uint8_t command, std::size_t count) mutable -> std::optional<Bytes> {
      const std::uint16_t word = words[std::min(index++, words.size() - 1)];
      Bytes reply = WordReply(command, word, count);
      if (spoil_pec) reply[2] ^= 0x01;
      return reply;
    };
  }
  int StatusReads() const { return target.reads; }

  ScriptedTarget target;
  std::unique_ptr<LinkFixture> fx;
};

TEST_P(IspTest, HandshakeWordsCarryTheirPecOnTheBus) {
  AnswerStatus({0x0180});
  EXPECT_EQ(fx->link->IspStepPair(true), (IspResult{link::kIspSuccess, 0}));
  ASSERT_TRUE(fx->link->IspCommand(true));
  ASSERT_EQ(target.writes.size(), 3u);
  EXPECT_EQ(target.writes[0], (Bytes{0x16, 0x47, 0x00, 0xF1, 0x5A}));
  EXPECT_EQ(target.writes[1], (Bytes{0x16, 0x47, 0x00, 0xF2, 0x53}));
  EXPECT_EQ(target.writes[2], (Bytes{0x16, 0x47, 0x00, 0xFF, 0x70}));
}

TEST_P(IspTest, ReadyStatusPecIs0x85) {
  EXPECT_EQ(link::Pec({0x16, 0x47, 0x17, 0x80, 0x01}), 0x85);
  AnswerStatus({0x0180});
  EXPECT_EQ(fx->link->IspStepPair(true).code, link::kIspSuccess);
  auto waits = fx->TakeWaits();
  std::erase(waits, Millis{8});  // the bulk adapter's turnaround
  EXPECT_EQ(waits, (std::vector<Millis>{Millis{10}, Millis{10}, Millis{5}}))
      << "one poll wait per step, then the closing wait";
}

TEST_P(IspTest, ReadyStatusWithAnotherPecIsAPecError) {
  AnswerStatus({0x0180}, /*spoil_pec=*/true);
  EXPECT_EQ(fx->link->IspStepPair(true), (IspResult{link::kIspPecMismatch, 0x0180}));
}

TEST_P(IspTest, FirstPollGivesUpAfterTwentyFiveReads) {
  AnswerStatus({0x0000});
  EXPECT_EQ(fx->link->IspStepPair(true), (IspResult{link::kIspBadStatus, 0x0000}));
  EXPECT_EQ(StatusReads(), 25);
  EXPECT_EQ(target.writes.size(), 1u) << "no second handshake word";
}

TEST_P(IspTest, FirstPollAcceptsUpdateSupportedWithoutUpdateMode) {
  AnswerStatus({0x0000, 0x0080, 0x0180});
  EXPECT_EQ(fx->link->IspStepPair(true).code, link::kIspSuccess);
  EXPECT_EQ(StatusReads(), 3);
}

TEST_P(IspTest, SecondPollThatOnlySeesUpdateSupportedFailsAfterFiftyReads) {
  AnswerStatus({0x0080});
  EXPECT_EQ(fx->link->IspStepPair(true), (IspResult{link::kIspBadStatus, 0x0080}));
  EXPECT_EQ(StatusReads(), 1 + 50);
}

TEST_P(IspTest, SecondPollReadyOnReadFortyNineSucceedsOnFiftyFails) {
  for (const auto& [ready_on, expected] :
       std::vector<std::pair<int, int>>{{49, link::kIspSuccess}, {50, link::kIspBadStatus}}) {
    std::vector<std::uint16_t> words(1, 0x0180);  // first poll
    words.resize(ready_on, 0x0080);
    words.push_back(0x0180);
    target.reads = 0;
    target.writes.clear();
    AnswerStatus(words);
    EXPECT_EQ(fx->link->IspStepPair(true).code, expected) << "ready on read " << ready_on;
  }
}

TEST_P(IspTest, RecordIsOneBlockWriteOfCountDataAndPec) {
  AnswerStatus({0x0180});
  Bytes record(32);
  for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(i * 7);
  EXPECT_EQ(fx->link->IspWriteData(record, true).code, link::kIspSuccess);
  ASSERT_EQ(target.writes.size(), 1u);
  Bytes expected{0x16, 0x48, 32};
  expected.insert(expected.end(), record.begin(), record.end());
  expected.push_back(link::Pec(expected));
  EXPECT_EQ(target.writes[0], expected);
}

// A record write the bus refused is sent again, whole; a write refused every time fails with the
// adapter's message.
TEST_P(IspTest, ARecordWriteTheBusRefusedIsSentAgain) {
  AnswerStatus({0x0180});
  for (const int refusals : {1, 3, 4}) {
    target.writes.clear();
    target.on_write = [refusals, seen = 0](common::ByteView) mutable { return ++seen > refusals; };
    fx->messages.Clear();
    const IspResult result = fx->link->IspWriteData(Bytes(32, 0x5A), true);
    const bool sent = refusals < 4;
    EXPECT_EQ(result.code, sent ? link::kIspSuccess : link::kIspAdapterFailure) << refusals;
    EXPECT_EQ(target.writes.size(), static_cast<std::size_t>(sent ? refusals + 1 : 4));
    EXPECT_EQ(fx->messages.Texts().empty(), sent) << refusals;
  }
}

TEST_P(IspTest, RecordPollAcceptsOnlyReadyWithinFortyNineReads) {
  Bytes record(32, 0xAB);
  for (const auto& [ready_on, expected] :
       std::vector<std::pair<int, int>>{{49, link::kIspSuccess}, {50, link::kIspBadStatus}}) {
    std::vector<std::uint16_t> words(ready_on - 1, 0x0181);  // busy
    words.push_back(0x0180);
    target.reads = 0;
    AnswerStatus(words);
    const IspResult result = fx->link->IspWriteData(record, true);
    EXPECT_EQ(result.code, expected) << "ready on read " << ready_on;
    EXPECT_EQ(StatusReads(), std::min(ready_on, 50));
  }
}

TEST_P(IspTest, NoAdapterShowsTheMessagesAndReturnsZero) {
  fx->pack->Unplug();
  fx->link->connection().ClearConnected();
  const auto status_before = fx->link->link_status();
  EXPECT_EQ(fx->link->IspWriteData(Bytes(32, 0), true).code, link::kIspAdapterFailure);
  EXPECT_EQ(fx->link->link_status(), status_before) << "the data write leaves LinkStatus";
  EXPECT_EQ(fx->link->IspStepPair(true).code, link::kIspAdapterFailure);
  EXPECT_EQ(fx->link->link_status(), link::LinkStatus::kNoAdapter);
  EXPECT_FALSE(fx->link->IspCommand(true));
  EXPECT_EQ(fx->messages.Texts(), (std::vector<std::string>{"USB no Connected", "USB no Connected.",
                                                            "USB no Connected."}));
}

INSTANTIATE_TEST_SUITE_P(BothAdapters, IspTest, ::testing::Values(Adapters::kHid, Adapters::kBulk));

TEST(IspHidTest, WithoutPecTheWordsAreShortAndStatusReadsTwoBytes) {
  LinkFixture fx;
  ScriptedTarget target;
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.pack->ReplaceTarget(&target);
  target.on_read = [](std::uint8_t command, std::size_t count) -> std::optional<Bytes> {
    return WordReply(command, 0x0180, count);
  };
  fx.TakeEvents();
  EXPECT_TRUE(fx.link->IspCommand(false));
  EXPECT_EQ(target.writes.back(), (Bytes{0x16, 0x47, 0x00, 0xFF}));
  EXPECT_EQ(fx.link->IspStepPair(false).code, link::kIspSuccess);
  const auto sent = fx.TakeSent();
  EXPECT_EQ(sent[1], (Bytes{0x01, 0x16, 0x47, 0x00, 0xF1, 0, 0, 4}));
  EXPECT_EQ(sent[2], (Bytes{0x01, 0x17, 0x47, 0, 0, 0, 2, 2}));
  fx.pack->ReplaceTarget(nullptr);
}

TEST(IspHidTest, TransferErrorIsReportedAndReturnsZero) {
  LinkFixture fx;
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.pack->Unplug();  // the handles are open but every exchange now fails
  EXPECT_EQ(fx.link->IspStepPair(true).code, link::kIspAdapterFailure);
  EXPECT_EQ(fx.messages.Texts(), (std::vector<std::string>{"USB Transfer Error"}));
}

}  // namespace
}  // namespace cw::test
