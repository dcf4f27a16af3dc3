// The main window's small rules that have no widget of their own to test them through: the link
// banner, the chart's gaps, the seal state, the SMB result tooltips, where help is found, the
// progress texts, the charge gauge and the logging interval.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "presentation/charge_gauge.h"
#include "presentation/chart_gaps.h"
#include "presentation/data_log_choice.h"
#include "presentation/help_document.h"
#include "presentation/link_banner.h"
#include "presentation/logging_time.h"
#include "presentation/seal_state.h"
#include "presentation/smb_result_tip.h"
#include "presentation/status_bar_text.h"

namespace cw::presentation {
namespace {

using common::TaskKind;
using link::LinkStatus;

TEST(LinkBanner, HoldsTheReasonUntilTheAdapterAnswersAgain) {
  LinkBanner banner;
  // A start without an adapter is the status bar's; a reason to tell is the banner's.
  EXPECT_EQ(banner.Text(LinkStatus::kNoAdapter), "");
  banner.Notice();
  const std::string silent = banner.Text(LinkStatus::kAdapterNotAnswering);
  EXPECT_TRUE(silent.starts_with("The adapter stopped answering (")) << silent;
  EXPECT_NE(silent.find("left blank"), std::string::npos) << "the values are blank, not old";
  EXPECT_NE(banner.Text(LinkStatus::kNoAdapter).find("USB Disconnected"), std::string::npos);
  EXPECT_EQ(banner.Text(LinkStatus::kConnected), "");
  // The same words for the next loss, whatever the link's notice said.
  banner.Notice();
  EXPECT_EQ(banner.Text(LinkStatus::kAdapterNotAnswering), silent);
  // Unplugged after it answered: no notice, but the banner says the adapter went away.
  EXPECT_TRUE(
      banner.Text(LinkStatus::kNoAdapter).starts_with("The adapter went away (USB Disconnected)"));
  EXPECT_EQ(banner.Text(LinkStatus::kNotResponding), "");
  // A gauge waiting in its boot loader is named with what recovers it.
  EXPECT_TRUE(banner.Text(LinkStatus::kNotResponding, true)
                  .starts_with("The gauge waits in its boot loader"));
}

TEST(ChartGaps, SplitWhereNoReadingWasTaken) {
  std::vector<monitor::ChartPoint> points;
  for (double t : {0.0, 1.0, 2.0, 3.0, 183.0, 184.0, 185.0}) points.push_back({t, t});
  const double gap = ChartGapSeconds(points, 300, 1000);
  EXPECT_DOUBLE_EQ(gap, 5.0);  // the floor: 4 x 1 s and 2.5 slices of 0.6 s are less
  const auto segments = ChartSegments(points, gap);
  ASSERT_EQ(segments.size(), 2u);
  EXPECT_EQ(segments[0].size(), 4u);
  EXPECT_EQ(segments[1].front().seconds, 183.0);
  // A thinned-out hour: neighbouring slices are no gap.
  EXPECT_DOUBLE_EQ(ChartGapSeconds(points, 3600, 200), 2.5 * 36);
  EXPECT_TRUE(ChartSegments({}, gap).empty());
}

TEST(SealState, FromOperationStatus) {
  const struct {
    std::uint16_t status;
    SealState state;
  } cases[] = {{0x4000, SealState::kSealed},
               {0xC107, SealState::kSealed},
               {0x8000, SealState::kUnsealed},
               {0x0107, SealState::kFullAccess}};
  for (const auto& c : cases) EXPECT_EQ(SealStateOf(c.status), c.state) << c.status;
  EXPECT_EQ(SealStateText(SealState::kFullAccess), "Full access");
}

TEST(SmbResultTip, WordsInDecimalAndBlocksAsText) {
  EXPECT_EQ(WordResultTip("0140"), "Decimal: 320 (signed: 320)");
  EXPECT_EQ(WordResultTip("FF38"), "Decimal: 65336 (signed: -200)");
  EXPECT_EQ(WordResultTip(""), "");
  EXPECT_EQ(BlockResultTip("4B 54 35 00 "), "4 bytes as text: \"KT5.\"");
  EXPECT_EQ(BlockResultTip(""), "");
}

TEST(DataLogChoice, TheTypedExtensionDecidesThenTheFilter) {
  using monitor::LogFormat;
  const struct {
    const char* typed;
    LogFormat filter;
    const char* path;
    LogFormat format;
  } cases[] = {{"/t/faultlog.csv", LogFormat::kText, "/t/faultlog.csv", LogFormat::kCsv},
               {"/t/run.log", LogFormat::kCsv, "/t/run.log", LogFormat::kText},
               {"/t/run1", LogFormat::kText, "/t/run1.LOG", LogFormat::kText},
               {"/t/run1", LogFormat::kCsv, "/t/run1.csv", LogFormat::kCsv},
               {"/t/a.txt", LogFormat::kCsv, "/t/a.txt.csv", LogFormat::kCsv}};
  for (const auto& c : cases) {
    const DataLogChoice choice = ChooseDataLog(c.typed, c.filter);
    EXPECT_EQ(choice.path, c.path) << c.typed;
    EXPECT_EQ(choice.format, c.format) << c.typed;
  }
  EXPECT_EQ(LogTallyText(1, 0), "1 line logged\n0 with unread values");
  EXPECT_EQ(LogTallyText(2, 1), "2 lines logged\n1 with unread values");
}

TEST(HelpDocument, TheNoteFirstThenTheFirstGuideThere) {
  const auto dir = std::filesystem::temp_directory_path() / "cw_help_document_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "docs");
  const std::vector<std::filesystem::path> guides = {dir / "missing.md", dir / "docs/guide.md"};
  EXPECT_FALSE(FindHelpDocument(dir, guides));
  std::ofstream(guides[1]) << "# guide\n";
  auto found = FindHelpDocument(dir, guides);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->kind, HelpDocument::Kind::kUserGuide);
  EXPECT_EQ(found->path, guides[1]);
  std::ofstream(dir / "Cellwarden Tools Application Note.pdf") << "%PDF\n";
  found = FindHelpDocument(dir, guides);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->kind, HelpDocument::Kind::kApplicationNote);
  std::filesystem::remove_all(dir);
}

TEST(TaskProgressTest, TextsForEveryRange) {
  struct Case {
    TaskKind kind;
    int total;
    int done;
    TaskProgressView view;
  };
  const Case cases[] = {
      {TaskKind::kSbsScan, 0, 0, {"SBS Task Progress: 0%", false, 0, "  "}},
      {TaskKind::kSbsScan, 40, 0, {"SBS Task Progress: 0%", true, 0, "  "}},
      {TaskKind::kSbsScan, 40, 10, {"SBS Task Progress: 25%", true, 25, "  "}},
      {TaskKind::kDataFlash, 65, 65, {"DF Task Progress: 100%", false, 100, " Task Completed."}},
      {TaskKind::kDataFlash, 650, 1, {"DF Task Progress: 0%", true, 0, "  "}},
      {TaskKind::kDataFlash, 10, 12, {"DF Task Progress: 120%", true, 120, "  "}},
  };
  for (const auto& c : cases) {
    const TaskProgressView view = TaskProgressText(c.kind, c.total, c.done);
    EXPECT_EQ(view.progress_text, c.view.progress_text) << c.total << "/" << c.done;
    EXPECT_EQ(view.bar_visible, c.view.bar_visible) << c.total << "/" << c.done;
    EXPECT_EQ(view.bar_position, c.view.bar_position) << c.total << "/" << c.done;
    EXPECT_EQ(view.pane2, c.view.pane2) << c.total << "/" << c.done;
  }
}

TEST(ChargeGaugeTest, PercentageAboveFullIsShownAndTheBarTakesItsIntegerPart) {
  ChargeGauge gauge;
  const auto view = gauge.Update(4600, 4798);
  ASSERT_TRUE(view.has_value());
  EXPECT_EQ(view->text, "104.3%");
  EXPECT_EQ(view->position, 104);
  EXPECT_FALSE(gauge.Update(4600, 4798).has_value()) << "same value: nothing to redraw";
}

TEST(ChargeGaugeTest, UnreadOrZeroFullShowsZeroOnceAndUnreadRemainingKeepsTheValue) {
  ChargeGauge gauge;
  const auto zero = gauge.Update(-1, 1000);
  ASSERT_TRUE(zero.has_value());
  EXPECT_EQ(zero->text, "0.0%");
  EXPECT_FALSE(gauge.Update(0, 1000).has_value());
  ASSERT_TRUE(gauge.Update(2000, 1000).has_value());
  EXPECT_FALSE(gauge.Update(2000, -1).has_value());
}

TEST(LoggingTimeTest, OneToSixtySecondsAreTaken) {
  for (const auto& [text, expected] :
       std::vector<std::pair<std::string, std::optional<int>>>{{"60", 60},
                                                               {"1", 1},
                                                               {"15", 15},
                                                               {"61", std::nullopt},
                                                               {"0", std::nullopt},
                                                               {"", std::nullopt},
                                                               {"ab", std::nullopt}}) {
    const auto seconds = ParseLoggingTime(text);
    if (expected) {
      EXPECT_EQ(seconds, *expected) << text;
    } else {
      EXPECT_EQ(seconds.error().message, "Logging rate must be in range of 1 ~ 60 seconds!")
          << text;
    }
  }
}

}  // namespace
}  // namespace cw::presentation
