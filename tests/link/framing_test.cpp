// The exact reports and packets of every SMBus transaction, on both adapters.
#include <gtest/gtest.h>

#include "link/pec.h"
#include "support/link_fixture.h"

namespace cw::test {
namespace {

using common::Bytes;
using common::Millis;
using link::BusEvent;
using Kind = link::BusEvent::Kind;

Bytes Padded(Bytes bytes, std::size_t length) {
  bytes.resize(length, 0);
  return bytes;
}

Bytes BulkPacket(Bytes prefix) { return Padded(std::move(prefix), 64); }

class HidFramingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fx.link->EnsureConnected());
    fx.TakeEvents();
    fx.TakeWaits();
  }
  LinkFixture fx{Adapters::kHid};
};

TEST_F(HidFramingTest, CommandFormReadWordSendsShortHeaderAndFetchesReport3) {
  std::uint16_t value = 0;
  ASSERT_TRUE(fx.link->ReadWord(0x09, value));
  const auto events = fx.TakeEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], (BusEvent{Kind::kHidSet, {0x01, 0x17, 0x09, 0, 0, 0, 3, 2}, true}));
  EXPECT_EQ(events[1].kind, Kind::kHidGet);
  ASSERT_EQ(events[1].bytes.size(), 8u);
  EXPECT_EQ(events[1].bytes[0], 3);
  EXPECT_EQ(events[1].bytes[4], 0) << "status sits after the two data bytes and the PEC";
  EXPECT_EQ(value, events[1].bytes[1] | (events[1].bytes[2] << 8));
  EXPECT_EQ(fx.TakeWaits(), (std::vector<Millis>{Millis{8}}));
  EXPECT_EQ(fx.link->link_status(), link::LinkStatus::kConnected);
}

TEST_F(HidFramingTest, RowFormReadWordDoesNotWaitBetweenSetAndGet) {
  link::RegisterRow row{.command = 0x0D};
  ASSERT_TRUE(fx.link->ReadWord(row));
  EXPECT_EQ(fx.TakeSent(), (std::vector<Bytes>{{0x01, 0x17, 0x0D, 0, 0, 0, 3, 2}}));
  EXPECT_TRUE(fx.TakeWaits().empty());
  EXPECT_GE(row.raw_value, 0);
}

TEST_F(HidFramingTest, WriteWordCarriesPecInHeaderAndFetchesStatus) {
  ASSERT_TRUE(fx.link->WriteWord(0x00, 0x0041));
  const std::uint8_t pec = link::Pec({0x16, 0x00, 0x41, 0x00});
  EXPECT_EQ(fx.TakeSent(), (std::vector<Bytes>{{0x01, 0x16, 0x00, 0x41, 0x00, pec, 0, 5},
                                               {0x0A, 0xFF, 0x01, 0, 0, 0, 0, 0}}));
  EXPECT_EQ(fx.TakeWaits(), (std::vector<Millis>{Millis{8}, Millis{1}}));
}

TEST_F(HidFramingTest, WriteBlockPutsCountInHeaderAndDataWithPecInDataReport) {
  Bytes challenge(20);
  for (std::size_t i = 0; i < challenge.size(); ++i) challenge[i] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(fx.link->WriteBlock(0x2F, challenge));
  Bytes data_report{5};
  data_report.insert(data_report.end(), challenge.begin(), challenge.end());
  data_report.push_back(link::Pec(challenge, link::Pec({0x16, 0x2F, 20})));
  EXPECT_EQ(fx.TakeSent(), (std::vector<Bytes>{{0x01, 0x16, 0x2F, 20, 0, 0, 21, 3},
                                               Padded(data_report, 32),
                                               {0x0A, 0xFF, 0x01, 0, 0, 0, 0, 0}}));
  EXPECT_EQ(fx.TakeWaits(), (std::vector<Millis>{Millis{25}, Millis{1}}));
}

TEST_F(HidFramingTest, WriteBytesSendsOnlyTheAddressInTheHeader) {
  const Bytes bytes = {0x00, 0x41, 0x00};
  ASSERT_TRUE(fx.link->WriteBytes(bytes));
  const std::uint8_t pec = link::Pec({0x16, 0x00, 0x41, 0x00});
  EXPECT_EQ(fx.TakeSent(), (std::vector<Bytes>{{0x01, 0x16, 0, 0, 0, 0, 4, 1},
                                               {0x03, 0x00, 0x41, 0x00, pec, 0, 0, 0},
                                               {0x0A, 0xFF, 0x01, 0, 0, 0, 0, 0}}));
}

TEST_F(HidFramingTest, WriteBytesTwiceWritesBothBuffersOneHundredMillisecondsApart) {
  const Bytes first = {0x00, 0xD4, 0x61};
  const Bytes second = {0x00, 0x9E, 0x3B};
  ASSERT_TRUE(fx.link->WriteBytesTwice(first, second));
  const auto sent = fx.TakeSent();
  ASSERT_EQ(sent.size(), 6u);
  EXPECT_EQ(sent[1], (Bytes{0x03, 0x00, 0xD4, 0x61, link::Pec({0x16, 0x00, 0xD4, 0x61}), 0, 0, 0}));
  EXPECT_EQ(sent[4], (Bytes{0x03, 0x00, 0x9E, 0x3B, link::Pec({0x16, 0x00, 0x9E, 0x3B}), 0, 0, 0}));
  EXPECT_EQ(fx.TakeWaits(),
            (std::vector<Millis>{Millis{25}, Millis{1}, Millis{100}, Millis{25}, Millis{1}}));
}

TEST_F(HidFramingTest, LockFormManufacturerBlockUsesTheLongHeader) {
  Bytes reply;
  ASSERT_TRUE(fx.link->ReadManufacturerBlock(0x54, 2, reply));
  const std::uint8_t pec = link::Pec({0x16, 0x44, 2, 0x54, 0});
  const auto sent = fx.TakeSent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], (Bytes{0x02, 0x16, 0x44, 2, 0x54, 0, pec, 0, 0, 0, 0, 0, 0, 0, 0, 6}));
  EXPECT_EQ(sent[1], (Bytes{0x0A, 0xFF, 0x01, 0, 0, 0, 0, 0}));
  EXPECT_EQ(sent[2], (Bytes{0x01, 0x17, 0x44, 0, 0, 0, 6, 2}));
  EXPECT_EQ(fx.TakeWaits(), (std::vector<Millis>{Millis{8}, Millis{1}, Millis{10}}));
  ASSERT_EQ(reply.size(), 6u);
  EXPECT_EQ(reply[0], 4);
  EXPECT_EQ(reply[1], 0x54);
  EXPECT_EQ(reply[5], link::Pec({0x16, 0x44, 0x17, 4, 0x54, 0, reply[3], reply[4]}));
}

TEST_F(HidFramingTest, SubCmdFormManufacturerBlockSendsTheWriteAsData) {
  Bytes reply;
  ASSERT_TRUE(fx.link->ReadSubCmdReply(0x54, 2, reply));
  const std::uint8_t pec = link::Pec({0x16, 0x44, 2, 0x54, 0});
  EXPECT_EQ(fx.TakeSent(), (std::vector<Bytes>{{0x01, 0x16, 0, 0, 0, 0, 5, 1},
                                               {0x03, 0x44, 2, 0x54, 0, pec, 0, 0},
                                               {0x0A, 0xFF, 0x01, 0, 0, 0, 0, 0},
                                               {0x01, 0x17, 0x44, 0, 0, 0, 6, 2}}));
  EXPECT_EQ(fx.TakeWaits(), (std::vector<Millis>{Millis{25}, Millis{1}, Millis{10}, Millis{20}}));
  EXPECT_EQ(reply.size(), 6u);
}

struct SizeClassCase {
  std::uint8_t length;
  std::uint8_t report_id;
  std::size_t report_length;
  std::size_t status_position;
};

class ResponseSizeClassTest : public HidFramingTest,
                              public ::testing::WithParamInterface<SizeClassCase> {};

TEST_P(ResponseSizeClassTest, ReadBlockFetchesTheReportOfItsSizeClass) {
  const auto& c = GetParam();
  Bytes out;
  ASSERT_TRUE(fx.link->ReadBlock(0x09, c.length, out));
  const auto events = fx.TakeEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].bytes, (Bytes{0x01, 0x17, 0x09, 0, 0, 0, c.length, 2}));
  EXPECT_EQ(events[1].bytes.size(), c.report_length);
  EXPECT_EQ(events[1].bytes[0], c.report_id);
  EXPECT_EQ(events[1].bytes[c.status_position], 0);
  EXPECT_EQ(out.size(), c.length);
}

INSTANTIATE_TEST_SUITE_P(SizeClasses, ResponseSizeClassTest,
                         ::testing::Values(SizeClassCase{3, 3, 8, 4}, SizeClassCase{7, 4, 16, 8},
                                           SizeClassCase{16, 5, 32, 17},
                                           SizeClassCase{34, 6, 48, 35}));

TEST_F(HidFramingTest, BlockReadOfGaugeGivenLengthReturnsCountDataAndTwoMore) {
  Bytes out;
  ASSERT_TRUE(fx.link->ReadBlock(0x21, 255, out));  // device name
  const auto events = fx.TakeEvents();
  EXPECT_EQ(events[0].bytes, (Bytes{0x01, 0x17, 0x21, 0, 0, 0, 255, 2}));
  EXPECT_EQ(events[1].bytes.size(), 48u);
  ASSERT_EQ(out.size(), 35u);
  EXPECT_EQ(std::string(out.begin() + 1, out.begin() + 1 + out[0]), "KT580714");
  EXPECT_EQ(fx.TakeWaits(), (std::vector<Millis>{Millis{25}}));
}

TEST_F(HidFramingTest, RowFormBlockReadFormatsTheTextWithTheRowFormat) {
  link::RegisterRow row{.command = 0x21, .format = "[%s]", .max_length = 21};
  ASSERT_TRUE(fx.link->ReadBlock(row));
  EXPECT_EQ(row.value_text, "[KT580714]");
  EXPECT_EQ(fx.TakeSent(), (std::vector<Bytes>{{0x01, 0x17, 0x21, 0, 0, 0, 255, 2}}));
}

TEST_F(HidFramingTest, LongestRawWriteFillsTheLargestDataReport) {
  Bytes bytes(46, 0x5A);
  bytes[0] = 0x70;
  fx.link->WriteBytes(bytes);
  const auto sent = fx.TakeSent();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0], (Bytes{0x01, 0x16, 0, 0, 0, 0, 47, 1}));
  ASSERT_EQ(sent[1].size(), 48u);
  EXPECT_EQ(sent[1][0], 6);
  EXPECT_EQ(sent[1][47], link::Pec(bytes, link::Pec({0x16})));
}

// Nothing longer fits the HID adapter's largest data report, so neither adapter sends it.
TEST(RawWriteLengthTest, WriteLongerThanTheLargestDataReportIsRefusedUnsent) {
  for (const Adapters adapters : {Adapters::kHid, Adapters::kBulk}) {
    LinkFixture fx(adapters);
    std::uint16_t value = 0;
    ASSERT_TRUE(fx.link->ReadWord(0x09, value));
    fx.TakeEvents();
    const Bytes bytes(47, 0x70);
    EXPECT_FALSE(fx.link->WriteBytes(bytes)) << int(adapters);
    EXPECT_FALSE(fx.link->WriteBytesTwice(bytes, bytes)) << int(adapters);
    EXPECT_TRUE(fx.TakeEvents().empty()) << int(adapters);
    EXPECT_EQ(fx.link->link_status(), link::LinkStatus::kConnected) << int(adapters);
  }
}

class BulkFramingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fx.link->EnsureConnected());
    ASSERT_EQ(fx.link->connection().transport(), link::Transport::kBulk);
    fx.TakeEvents();
    fx.TakeWaits();
  }
  LinkFixture fx{Adapters::kBulk};
};

TEST_F(BulkFramingTest, ReadWordIsOneReadPacketPair) {
  std::uint16_t value = 0;
  ASSERT_TRUE(fx.link->ReadWord(0x09, value));
  const auto events = fx.TakeEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].bytes, BulkPacket({0x02, 0, 0, 0, 0x02, 0x16, 0, 0x09, 0, 2}));
  EXPECT_EQ(events[1].bytes[0], 0x02);
  EXPECT_NE(events[1].bytes[6], 0);
  EXPECT_EQ(value, events[1].bytes[10] | (events[1].bytes[11] << 8));
  EXPECT_EQ(fx.TakeWaits(), (std::vector<Millis>{Millis{8}}));
}

TEST_F(BulkFramingTest, WritesAlwaysCarryThePec) {
  ASSERT_TRUE(fx.link->WriteWord(0x00, 0x0041));
  const Bytes bytes = {0x00, 0x41, 0x00};
  ASSERT_TRUE(fx.link->WriteBytes(bytes));
  const Bytes expected = BulkPacket(
      {0x07, 0, 0, 0, 0x02, 0x16, 0, 0x00, 3, 0, 0x41, 0x00, link::Pec({0x16, 0x00, 0x41, 0x00})});
  EXPECT_EQ(fx.TakeSent(), (std::vector<Bytes>{expected, expected}));
}

TEST_F(BulkFramingTest, WriteBlockSendsCountDataAndPec) {
  const Bytes challenge(20, 0x3C);
  ASSERT_TRUE(fx.link->WriteBlock(0x2F, challenge));
  Bytes packet = {0x07, 0, 0, 0, 0x02, 0x16, 0, 0x2F, 22, 0, 20};
  packet.insert(packet.end(), challenge.begin(), challenge.end());
  packet.push_back(link::Pec(challenge, link::Pec({0x16, 0x2F, 20})));
  EXPECT_EQ(fx.TakeSent(), (std::vector<Bytes>{BulkPacket(packet)}));
}

TEST_F(BulkFramingTest, ManufacturerBlockWritesTheSubcommandThenReadsTheReply) {
  Bytes reply;
  ASSERT_TRUE(fx.link->ReadManufacturerBlock(0x54, 2, reply));
  EXPECT_EQ(fx.TakeSent(),
            (std::vector<Bytes>{BulkPacket({0x07, 0, 0, 0, 0x02, 0x16, 0, 0x44, 4, 0, 2, 0x54, 0,
                                            link::Pec({0x16, 0x44, 2, 0x54, 0})}),
                                BulkPacket({0x02, 0, 0, 0, 0x02, 0x16, 0, 0x44, 0, 6})}));
  ASSERT_EQ(reply.size(), 6u);
  EXPECT_TRUE(link::ManufacturerBlockData(reply, 0x54, 2).has_value());
}

TEST_F(BulkFramingTest, BlockReadOfGaugeGivenLengthAsksForThirtySixBytes) {
  Bytes out;
  ASSERT_TRUE(fx.link->ReadBlock(0x21, 255, out));
  EXPECT_EQ(fx.TakeSent(),
            (std::vector<Bytes>{BulkPacket({0x02, 0, 0, 0, 0x02, 0x16, 0, 0x21, 0, 36})}));
  EXPECT_EQ(out.size(), 35u);
}

}  // namespace
}  // namespace cw::test
