#include <gtest/gtest.h>

#include "dataflash_fixture.h"

namespace cw::dataflash {
namespace {

using test::DataFlashFixture;

// Position of a named row in its list.
std::pair<std::size_t, std::size_t> Cell(std::string_view name) {
  const std::size_t row = *FindParam(name);
  const std::size_t list = ListOfRow(row);
  return {list, row - ListStart(list)};
}

TEST(PageRulesTest, NameClicksOpenBitViewsOnlyForFlagRegistersInListsThatHaveThem) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  auto [list, row] = Cell("Operation Cfg A");
  const auto request = f.session.ShowBitViewOf(list, row);
  ASSERT_TRUE(request);
  EXPECT_TRUE(request->show);
  EXPECT_EQ(request->bit_view_id, 1179);
  EXPECT_EQ(request->value, 0x0310);
  EXPECT_TRUE(request->wide);
  EXPECT_EQ(f.session.View().shown_bit_view, 1179);

  // Another tab hides it.
  f.session.SelectTab(5);
  EXPECT_FALSE(f.session.View().shown_bit_view);
  EXPECT_EQ(f.session.View().current_tab, 5u);

  std::tie(list, row) = Cell("Wake Current Reg");
  const auto narrow = f.session.ShowBitViewOf(list, row);
  ASSERT_TRUE(narrow);
  EXPECT_EQ(narrow->bit_view_id, 1187);
  EXPECT_FALSE(narrow->wide);
  // A non-flag row of the same list hides it.
  std::tie(list, row) = Cell("Sleep Wait Time");
  const auto hide = f.session.ShowBitViewOf(list, row);
  ASSERT_TRUE(hide);
  EXPECT_FALSE(hide->show);
  EXPECT_FALSE(f.session.View().shown_bit_view);

  // List 1 may not open bit views: the click does nothing.
  EXPECT_FALSE(f.session.ShowBitViewOf(0, 0));
  // Out of range.
  EXPECT_FALSE(f.session.ShowBitViewOf(21, 0));
  EXPECT_FALSE(f.session.ShowBitViewOf(0, 18));
}

TEST(PageRulesTest, ClicksDoNothingWhileEditingIsDisabled) {
  DataFlashFixture f;
  f.session.SetEditingEnabled(false);
  auto [list, row] = Cell("Operation Cfg A");
  EXPECT_FALSE(f.session.ShowBitViewOf(list, row));
  EXPECT_FALSE(f.session.BeginEdit(list, row));
  f.session.SetEditingEnabled(true);
  EXPECT_TRUE(f.session.BeginEdit(list, row));
}

TEST(PageRulesTest, ValueClickHidesBitViewsAndMouseDownToo) {
  DataFlashFixture f;
  auto [list, row] = Cell("PF Flags 1 Low");
  ASSERT_TRUE(f.session.ShowBitViewOf(list, row));
  EXPECT_EQ(f.session.View().shown_bit_view, 1186);
  EXPECT_TRUE(f.session.BeginEdit(list, row));
  EXPECT_FALSE(f.session.View().shown_bit_view);
  ASSERT_TRUE(f.session.ShowBitViewOf(list, row));
  f.session.HideBitView();
  EXPECT_FALSE(f.session.View().shown_bit_view);
}

TEST(PageRulesTest, RefreshWithoutMarkingClearsMarks) {
  DataFlashFixture f;
  ASSERT_TRUE(f.session.ReadAll());
  f.gauge.forget_writes_to = 0x01;
  const std::size_t row = *FindParam("OCC1 Time");
  ASSERT_EQ(f.session.WriteValue(row, "9").detail, EditResult::kMismatch);
  EXPECT_EQ(f.session.View().item_data[row], kItemMarked);
  f.session.RefreshLists(false);
  EXPECT_EQ(f.session.View().item_data[row], kItemNormal);
}

}  // namespace
}  // namespace cw::dataflash
