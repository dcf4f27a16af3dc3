#include <gtest/gtest.h>

#include <algorithm>

#include "dataflash/messages.h"
#include "dataflash_fixture.h"
#include "sim/subclass_table.h"

namespace cw::dataflash {
namespace {

using test::DataFlashFixture;

std::size_t PageWrites(const std::vector<test::BusTransaction>& traffic) {
  return std::ranges::count_if(
      traffic, [](const test::BusTransaction& t) { return t.write && t.command >= 0x78; });
}

struct HeldFixture : DataFlashFixture {
  HeldFixture() { EXPECT_TRUE(session.ReadAll()); }
  std::uint16_t GaugeWord(std::uint8_t subclass, std::size_t offset) {
    const auto bytes = link.pack->gauge().State().memory.ReadSubclass(
        *sim::FindSubclassPlace(subclass), offset, 2);
    return static_cast<std::uint16_t>((*bytes)[0] << 8 | (*bytes)[1]);
  }
};

TEST(HeldEditsTest, NothingIsHeldBeforeAReadAllOrOutsideTheLimits) {
  DataFlashFixture f;
  EXPECT_EQ(f.session.HoldEdit(f.Row("CUV Threshold"), "2600").verdict, common::Verdict::kRefused);
  EXPECT_EQ(f.session.View().held_count, 0u);
  EXPECT_TRUE(f.link.messages.Texts().empty());

  ASSERT_TRUE(f.session.ReadAll());
  f.TakeFlashTraffic();
  const common::Outcome refused = f.session.HoldEdit(f.Row("CUV Threshold"), "40000");
  EXPECT_EQ(refused.verdict, common::Verdict::kRefused);
  ASSERT_EQ(refused.messages.size(), 1u);
  EXPECT_TRUE(refused.messages[0].text.starts_with(messages::kOutOfLimitsPrefix));
  EXPECT_FALSE(f.session.HoldEdit(f.Row("Operation Cfg A"), "03G0"));
  EXPECT_EQ(f.session.View().held_count, 0u);
  EXPECT_TRUE(f.TakeFlashTraffic().empty());
}

TEST(HeldEditsTest, HeldEditsAreNotSentAndUndoTakesBackTheLastOne) {
  HeldFixture f;
  f.TakeFlashTraffic();
  const std::size_t cuv = f.Row("CUV Threshold");
  const std::size_t cov = f.Row("COV Time");
  const std::string shown = f.session.View().values[cuv].text;
  ASSERT_TRUE(f.session.HoldEdit(cuv, "2600"));
  ASSERT_TRUE(f.session.HoldEdit(cuv, "2650"));
  ASSERT_TRUE(f.session.HoldEdit(cov, "7"));
  EXPECT_TRUE(f.TakeFlashTraffic().empty());
  EXPECT_EQ(f.session.View().values[cuv].text, shown);
  EXPECT_EQ(f.session.View().held_count, 2u);
  EXPECT_EQ(f.session.View().held[cuv], "2650");

  EXPECT_EQ(f.session.UndoEdit(), cov);
  EXPECT_FALSE(f.session.View().held[cov]);
  EXPECT_EQ(f.session.UndoEdit(), cuv);
  EXPECT_EQ(f.session.View().held[cuv], "2600");
  EXPECT_EQ(f.session.UndoEdit(), cuv);
  EXPECT_FALSE(f.session.View().held[cuv]);
  EXPECT_FALSE(f.session.UndoEdit());
}

TEST(HeldEditsTest, WriteAllWritesTheHeldEditsAndForgetsThem) {
  HeldFixture f;
  const std::size_t cuv = f.Row("CUV Threshold");
  ASSERT_TRUE(f.session.HoldEdit(cuv, "2600"));
  ASSERT_TRUE(f.session.HoldEdit(f.Row("Operation Cfg A"), "0311"));
  f.TakeFlashTraffic();
  const common::Outcome written = f.session.WriteAll();
  EXPECT_TRUE(written);
  EXPECT_TRUE(written.gauge_changed);
  EXPECT_GT(PageWrites(f.TakeFlashTraffic()), 0u);
  EXPECT_EQ(f.GaugeWord(0x00, 21), 2600);
  EXPECT_EQ(f.GaugeWord(0x40, 0), 0x0311);
  EXPECT_EQ(f.session.View().values[cuv].text, "2600");
  EXPECT_EQ(f.session.View().item_data[cuv], kItemNormal);
  EXPECT_EQ(f.session.View().held_count, 0u);
  EXPECT_FALSE(f.session.UndoEdit());
}

TEST(HeldEditsTest, AFailedOrRefusedWriteAllKeepsTheEditsAndTheShownValues) {
  HeldFixture f;
  const std::size_t cuv = f.Row("CUV Threshold");
  const std::string shown = f.session.View().values[cuv].text;
  ASSERT_TRUE(f.session.HoldEdit(cuv, "2600"));

  f.link.pack->gauge().SetSealState(sim::SealState::kSealed);
  const common::Outcome sealed = f.session.WriteAll();
  EXPECT_EQ(sealed.verdict, common::Verdict::kRefused);
  EXPECT_TRUE(sealed.Showed(messages::kSealedWriteAll));
  EXPECT_EQ(f.session.View().values[cuv].text, shown);
  EXPECT_EQ(f.session.View().held[cuv], "2600");

  f.link.pack->gauge().SetSealState(sim::SealState::kUnsealed);
  f.gauge.nack = [](const test::BusTransaction& t) { return t.write && t.command == 0x78; };
  EXPECT_EQ(f.session.WriteAll().verdict, common::Verdict::kFailed);
  EXPECT_EQ(f.session.View().values[cuv].text, shown);
  EXPECT_EQ(f.session.View().held[cuv], "2600");

  // A gauge that does not keep the value: written, but named.
  f.gauge.nack = nullptr;
  f.gauge.forget_writes_to = 0x00;
  const common::Outcome forgotten = f.session.WriteAll();
  EXPECT_EQ(forgotten.verdict, common::Verdict::kFailed);
  ASSERT_FALSE(forgotten.messages.empty());
  EXPECT_NE(forgotten.messages.back().text.find("(1): CUV Threshold"), std::string::npos);
  EXPECT_EQ(f.session.View().held_count, 0u);
}

}  // namespace
}  // namespace cw::dataflash
