#include <gtest/gtest.h>

#include <future>
#include <map>
#include <thread>

#include "dataflash/messages.h"
#include "dataflash_fixture.h"
#include "link/messages.h"
#include "sim/gauge_memory.h"
#include "sim/subclass_table.h"

namespace cw::dataflash {
namespace {

using test::BusTransaction;
using test::DataFlashFixture;

constexpr std::uint8_t kPage0 = 0x78;

BusTransaction Select(std::uint8_t id) { return {true, 0x77, {id, 0x00}, 0}; }
BusTransaction PageRead(std::uint8_t page, std::size_t bytes) {
  return {false, static_cast<std::uint8_t>(kPage0 + page), {}, test::BlockReadLength(bytes)};
}
BusTransaction PageWrite(std::uint8_t page, common::ByteView bytes) {
  common::Bytes data{static_cast<std::uint8_t>(bytes.size())};
  data.insert(data.end(), bytes.begin(), bytes.end());
  return {true, static_cast<std::uint8_t>(kPage0 + page), data, 0};
}

// The gauge's own bytes of a subclass.
// A subclass as the gauge's pages show it: the algorithm subclasses in their stored form.
common::Bytes GaugeBytes(DataFlashFixture& f, std::uint8_t id) {
  const auto place = *sim::FindSubclassPlace(id);
  common::Bytes bytes = *f.link.pack->gauge().State().memory.ReadSubclass(place, 0, place.length);
  if (sim::IsStoredFormSubclass(id)) {
    for (auto& byte : bytes) byte = sim::PlainToStoredByte(byte, id);
  }
  return bytes;
}

struct SubclassCase {
  std::uint8_t id;
  std::uint8_t length;  // may be shorter than the gauge's, to try a page of exactly 32
  std::uint8_t block;
  std::vector<std::pair<std::uint8_t, std::size_t>> pages;  // page, bytes
  std::vector<common::Millis> write_waits;
};

class SubclassTransferTest : public ::testing::TestWithParam<SubclassCase> {};

TEST_P(SubclassTransferTest, ReadsAndWritesFullPagesThenTheRemainder) {
  const SubclassCase& c = GetParam();
  DataFlashFixture f;
  const std::array<std::uint8_t, 1> ids = {c.id};
  const std::array<std::uint16_t, 1> layout = {static_cast<std::uint16_t>(c.length << 8 | c.block)};
  FlashImage image{};
  f.TakeFlashTraffic();
  ASSERT_TRUE(f.session.transfer().ReadSubclasses(image, ids, layout, 38));

  std::vector<BusTransaction> expected = {Select(c.id)};
  for (auto [page, bytes] : c.pages) expected.push_back(PageRead(page, bytes));
  EXPECT_EQ(f.TakeFlashTraffic(), expected);
  const common::Bytes gauge = GaugeBytes(f, c.id);
  EXPECT_TRUE(std::equal(gauge.begin(), gauge.begin() + c.length, image.begin() + c.block * 32));
  EXPECT_EQ(f.progress.Reports(common::TaskKind::kDataFlash).front(),
            (test::ProgressReport{38, 1}));
  EXPECT_EQ(f.progress.Reports(common::TaskKind::kDataFlash).back(),
            (test::ProgressReport{38, 1 + static_cast<int>(c.pages.size())}));

  // Written back from the image: the same pages, each with its settle time, then 2.5 s.
  for (std::size_t i = 0; i < c.length; ++i) image[c.block * 32 + i] ^= 0x5A;
  f.link.TakeWaits();
  ASSERT_TRUE(f.session.transfer().WriteSubclasses(image, ids, layout, 50));
  expected = {Select(c.id)};
  for (auto [page, bytes] : c.pages) {
    expected.push_back(
        PageWrite(page, common::ByteView(image).subspan(c.block * 32 + page * 32u, bytes)));
  }
  EXPECT_EQ(f.TakeFlashTraffic(), expected);
  std::vector<common::Millis> waits;
  for (const common::Millis& wait : f.link.TakeWaits()) {
    if (wait.count() == 25 || wait.count() == 40 || wait.count() == 100) waits.push_back(wait);
  }
  std::vector<common::Millis> expected_waits = c.write_waits;
  expected_waits.insert(expected_waits.end(), 25, common::Millis{100});
  EXPECT_EQ(waits, expected_waits);
  const common::Bytes written = GaugeBytes(f, c.id);
  EXPECT_TRUE(
      std::equal(written.begin(), written.begin() + c.length, image.begin() + c.block * 32));
}

using common::Millis;
INSTANTIATE_TEST_SUITE_P(
    Lengths, SubclassTransferTest,
    ::testing::Values(SubclassCase{0x14, 1, 8, {{0, 1}}, {Millis{25}}},
                      SubclassCase{0x00, 26, 0, {{0, 26}}, {Millis{40}}},
                      SubclassCase{0x3A, 32, 21, {{0, 32}}, {Millis{40}}},
                      SubclassCase{0x22,
                                   152,
                                   33,
                                   {{0, 32}, {1, 32}, {2, 32}, {3, 32}, {4, 24}},
                                   {Millis{40}, Millis{40}, Millis{40}, Millis{40}, Millis{40}}}));

TEST(ReadAllTest, FillsImageBackupAndListsAndReportsProgress) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  EXPECT_TRUE(f.session.View().read_done);
  EXPECT_FALSE(f.session.View().busy);
  EXPECT_TRUE(f.session.View().editing_enabled);
  EXPECT_EQ(f.session.View().progress_total, 38);
  EXPECT_EQ(f.session.View().values[f.Row("Manuf Date")].text, "1980-1-1");
  EXPECT_EQ(f.session.View().values[f.Row("Device Name")].text, "KT580714");
  EXPECT_EQ(f.session.View().values[f.Row("OCD1 Threshold")].text, "-8000");
  EXPECT_EQ(f.session.View().backup[0], GaugeBytes(f, 0x50)[0]);
  // 62 pages after the start report, then the final report.
  const auto reports = f.progress.Reports(common::TaskKind::kDataFlash);
  EXPECT_EQ(reports.front(), (test::ProgressReport{65, 0}));
  EXPECT_EQ(reports[reports.size() - 2], (test::ProgressReport{65, 63}));
  EXPECT_EQ(reports.back(), (test::ProgressReport{65, 65}));
  for (std::size_t row = 0; row < kParamCount; ++row)
    EXPECT_EQ(f.session.View().item_data[row], kItemNormal);
}

TEST(ReadAllTest, UnpluggedAdapterShowsUsbNoConnectedAndLeavesReadDoneClear) {
  DataFlashFixture f;
  f.link.pack->Unplug();
  AlgorithmArea backup{};
  EXPECT_FALSE(f.session.ReadAllFlash(backup));
  EXPECT_FALSE(f.session.View().read_done);
  EXPECT_FALSE(f.session.View().busy);
  EXPECT_EQ(f.link.messages.Texts(),
            std::vector<std::string>{std::string(link::messages::kUsbNotConnected)});
  EXPECT_EQ(f.session.View().progress_total, 38);
}

TEST(ReadAllTest, ASecondReadAllMarksValuesChangedOnTheGaugeInBetween) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  auto state = f.link.pack->gauge().State();
  state.memory.WriteSubclass(*sim::FindSubclassPlace(0x00), 0, common::Bytes{0x0F, 0xA0});
  f.link.pack->gauge().Restore(state);
  ASSERT_TRUE(f.session.ReadAll());
  EXPECT_EQ(f.session.View().item_data[f.Row("LT COV Threshold")], kItemMarked);
  EXPECT_EQ(f.session.View().item_data[f.Row("LT COV Recovery")], kItemNormal);
  EXPECT_EQ(f.session.View().values[f.Row("LT COV Threshold")].text, "4000");
}

TEST(WriteAllTest, BeforeAnyReadAllItReadsAndWritesNothing) {
  DataFlashFixture f;
  const int resets = f.link.pack->gauge().resets();
  ASSERT_TRUE(f.session.WriteAll());
  for (const BusTransaction& t : f.TakeFlashTraffic()) {
    EXPECT_FALSE(t.write && t.command >= kPage0) << "page write " << int{t.command};
  }
  EXPECT_TRUE(f.session.View().read_done);
  EXPECT_EQ(f.link.pack->gauge().resets(), resets);
}

TEST(WriteAllTest, WritesEverySubclassVerifiesAndResets) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  const auto before = f.link.pack->gauge().State().memory;
  f.TakeFlashTraffic();
  f.progress.Clear();
  ASSERT_TRUE(f.session.WriteAll());
  int page_writes = 0;
  for (const BusTransaction& t : f.TakeFlashTraffic())
    page_writes += t.write && t.command >= kPage0;
  EXPECT_EQ(page_writes, 62);
  // The displayed values re-encode to the bytes the gauge had.
  EXPECT_EQ(f.link.pack->gauge().State().memory, before);
  EXPECT_EQ(f.link.pack->gauge().resets(), 1);
  EXPECT_EQ(f.progress.Reports(common::TaskKind::kDataFlash).front(),
            (test::ProgressReport{38, 0}));
  EXPECT_EQ(f.progress.Reports(common::TaskKind::kDataFlash).back(),
            (test::ProgressReport{65, 65}));
  EXPECT_EQ(f.session.View().progress_total, 38);
}

TEST(WriteAllTest, ANackHalfwayFailsWithoutResetAndKeepsTheLists) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  std::vector<std::string> texts;
  for (std::size_t row = 0; row < kParamCount; ++row)
    texts.push_back(f.session.View().values[row].text);
  int page_writes = 0;
  f.gauge.nack = [&](const BusTransaction& t) {
    return t.write && t.command >= kPage0 && ++page_writes == 30;
  };
  EXPECT_FALSE(f.session.WriteAll());
  EXPECT_EQ(f.link.pack->gauge().resets(), 0);
  EXPECT_FALSE(f.session.View().busy);
  EXPECT_TRUE(f.session.View().controls_enabled);
  EXPECT_EQ(f.session.View().progress_total, 38);
  for (std::size_t row = 0; row < kParamCount; ++row) {
    EXPECT_EQ(f.session.View().values[row].text, texts[row]) << kParams[row].name;
  }
  // No page write was tried after the refused one.
  EXPECT_EQ(page_writes, 30);
}

TEST(SealedGaugeTest, RefusesReadAllAndWriteAll) {
  DataFlashFixture f;
  f.link.pack->gauge().SetSealState(sim::SealState::kSealed);
  EXPECT_FALSE(f.session.ReadAll());
  EXPECT_FALSE(f.session.WriteAll());
  EXPECT_EQ(f.link.messages.Texts(),
            (std::vector<std::string>{std::string(messages::kSealedReadAll),
                                      std::string(messages::kSealedWriteAll)}));
  EXPECT_TRUE(f.TakeFlashTraffic().empty());
  EXPECT_FALSE(f.session.View().read_done);
}

TEST(EditTest, BeforeAnyReadAllAnEditIsIgnored) {
  DataFlashFixture f;
  f.TakeFlashTraffic();
  EXPECT_EQ(f.session.WriteValue(f.Row("COV Time"), "3").detail, EditResult::kIgnored);
  EXPECT_TRUE(f.TakeFlashTraffic().empty());
  EXPECT_EQ(f.session.View().values[f.Row("COV Time")].text, "");
}

TEST(EditTest, WritesOneParameterAndReadsItBack) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  f.TakeFlashTraffic();
  const std::size_t row = f.Row("CUV Recovery");  // 0x00, offset 24
  EXPECT_EQ(f.session.WriteValue(row, "3100").detail, EditResult::kWritten);
  EXPECT_EQ(f.session.View().values[row].text, "3100");
  EXPECT_EQ(f.session.View().item_data[row], kItemNormal);
  const common::Bytes gauge = GaugeBytes(f, 0x00);
  EXPECT_EQ(gauge[24], 0x0C);
  EXPECT_EQ(gauge[25], 0x1C);
  const auto traffic = f.TakeFlashTraffic();
  ASSERT_GE(traffic.size(), 4u);
  EXPECT_EQ(traffic[0], Select(0x00));
  EXPECT_EQ(traffic[1], PageRead(0, 26));
  // The page is written from its first byte up to the field's last byte.
  EXPECT_EQ(traffic[2].command, kPage0);
  EXPECT_EQ(traffic[2].data.size(), 1u + 26);
}

TEST(EditTest, AnOutOfLimitValueIsRefusedWithTheLimitMessage) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  f.TakeFlashTraffic();
  const std::size_t row = f.Row("OCD1 Threshold");
  EXPECT_EQ(f.session.WriteValue(row, "10").detail, EditResult::kRefused);
  EXPECT_EQ(f.session.View().values[row].text, "-8000");
  EXPECT_TRUE(f.TakeFlashTraffic().empty());
  EXPECT_EQ(f.link.messages.Texts().back(),
            "The value entered is out of limits. Please enter a value between -32768 and 0 mA");
  EXPECT_FALSE(f.link.lock.HeldByThisThread());
}

TEST(EditTest, AValueTheGaugeDoesNotKeepIsMarked) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  f.gauge.forget_writes_to = 0x00;
  const std::size_t row = f.Row("LT COV Threshold");
  EXPECT_EQ(f.session.WriteValue(row, "4000").detail, EditResult::kMismatch);
  EXPECT_EQ(f.session.View().item_data[row], kItemMarked);
  EXPECT_EQ(f.session.View().values[row].text, "4200");
  // A marked row stays editable: its item data keeps the low byte 2.
  EXPECT_TRUE(f.session.BeginEdit(ListOfRow(row), row - ListStart(ListOfRow(row))));
}

TEST(EditTest, ABusHeldElsewhereLeavesTheValueAndWritesNothing) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  f.TakeFlashTraffic();
  std::promise<void> held;
  std::promise<void> done;
  std::thread other([&] {
    ASSERT_TRUE(f.link.lock.Acquire());
    held.set_value();
    done.get_future().wait();
    f.link.lock.Release();
  });
  held.get_future().wait();
  const std::size_t row = f.Row("COV Time");
  EXPECT_EQ(f.session.WriteValue(row, "9").detail, EditResult::kBusBusy);
  done.set_value();
  other.join();
  EXPECT_EQ(f.session.View().values[row].text, "2");
  EXPECT_FALSE(f.session.View().busy);
  EXPECT_TRUE(f.TakeFlashTraffic().empty());
}

TEST(EditTest, JT1RewritesTheChargeTableSubclassesWhole) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  const common::Bytes other_50 = GaugeBytes(f, 0x50);
  const common::Bytes other_53 = GaugeBytes(f, 0x53);
  f.TakeFlashTraffic();
  const std::size_t row = f.Row("JT1");
  EXPECT_EQ(f.session.WriteValue(row, "5").detail, EditResult::kWritten);
  EXPECT_EQ(f.session.View().values[row].text, "5.0");

  std::map<std::uint8_t, std::vector<std::uint8_t>> written_pages;
  std::map<std::uint8_t, int> reads;
  std::uint8_t selected = 0xFF;
  for (const BusTransaction& t : f.TakeFlashTraffic()) {
    if (t.command == 0x77) {
      selected = t.data[0];
    } else if (t.write) {
      written_pages[selected].push_back(t.command);
    } else {
      ++reads[selected];
    }
  }
  EXPECT_EQ(written_pages[0x22], (std::vector<std::uint8_t>{0x78, 0x79, 0x7A, 0x7B, 0x7C}));
  EXPECT_EQ(written_pages[0x50].size(), 8u);
  EXPECT_EQ(written_pages[0x53].size(), 7u);
  EXPECT_EQ(reads[0x50], 8);
  EXPECT_EQ(reads[0x53], 7);
  const common::Bytes table = GaugeBytes(f, 0x22);
  EXPECT_EQ(table[0], 0x0A);
  EXPECT_EQ(table[1], 0xDD);  // 5.0 C = 2781 tenths of a kelvin
  EXPECT_EQ(GaugeBytes(f, 0x50), other_50);
  EXPECT_EQ(GaugeBytes(f, 0x53), other_53);
  EXPECT_EQ(f.session.View().progress_total, 38);
}

TEST(EditTest, AChargeTableReadFailureWritesNothing) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  f.gauge.nack = [](const BusTransaction& t) { return !t.write && t.command == 0x7A; };
  f.TakeFlashTraffic();
  EXPECT_EQ(f.session.WriteValue(f.Row("JT2"), "12").detail, EditResult::kFailed);
  for (const BusTransaction& t : f.TakeFlashTraffic()) {
    EXPECT_FALSE(t.write && t.command >= kPage0);
  }
  EXPECT_EQ(f.session.View().item_data[f.Row("JT2")], kItemMarked);
}

// The edit's own read-back lost, the gauge read once more: holding the value entered, the edit
// was written, and is said to be.
TEST(EditTest, ASetWhoseFirstReadBackIsLostIsJudgedByTheGaugesValue) {
  DataFlashFixture f;
  bool written = false;
  int refused_reads = 0;
  f.gauge.nack = [&](const BusTransaction& t) {
    if (t.write && t.command >= kPage0) written = true;
    // Every attempt of the edit's read-back, and nothing after it.
    if (written && !t.write && t.command >= kPage0 && refused_reads < 5) {
      ++refused_reads;
      return true;
    }
    return false;
  };
  const ValueSetting set = f.session.SetValue(f.Row("CUV Threshold"), "2700");
  EXPECT_EQ(refused_reads, 5);
  EXPECT_EQ(set.edit.detail, EditResult::kWritten);
  EXPECT_TRUE(set.edit.done());
  EXPECT_EQ(set.holds, "2700");
}

}  // namespace
}  // namespace cw::dataflash
