// The main window's rules that are not drawing: progress texts, the charge gauge, the logging
// interval, the About lines and the page selector.
#include <gtest/gtest.h>

#include "app/main_ui_state.h"
#include "app/about_text.h"
#include "app/charge_gauge.h"
#include "app/logging_time.h"
#include "app/status_bar_text.h"
#include "app/workbench.h"
#include "monitor/monitor_session.h"
#include "sim/sim_pack.h"
#include "support/link_fixture.h"

namespace cw::app {
namespace {

using common::TaskKind;

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
    test::RecordingMessageSink messages;
    EXPECT_EQ(ParseLoggingTime(text, messages), expected) << text;
    if (!expected) {
      ASSERT_EQ(messages.Messages().size(), 1u) << text;
      EXPECT_EQ(messages.Messages()[0].text, "Logging rate must be in range of 1 ~ 60 seconds!");
      EXPECT_EQ(messages.Messages()[0].caption, "Cellwarden");
    } else {
      EXPECT_TRUE(messages.Messages().empty());
    }
  }
}

TEST(AboutTest, VersionLinesWithAndWithoutTheAdapter) {
  test::LinkFixture fx;
  const AboutText about = AboutVersionText(*fx.link);
  EXPECT_TRUE(about.text.starts_with("Program Version :   3.07           Date :  2023/05/17\r\n"))
      << about.text;
  EXPECT_NE(about.text.find("MCU Version :"), std::string::npos);
  EXPECT_TRUE(about.text.ends_with("\r\n"));
  EXPECT_TRUE(about.adapter_answered);
  fx.pack->Unplug();
  fx.link->connection().ClearConnected();
  const AboutText unplugged = AboutVersionText(*fx.link);
  EXPECT_TRUE(unplugged.text.ends_with("USB Transfer Error."));
  EXPECT_FALSE(unplugged.adapter_answered);
}

TEST(AboutTest, TheScanRestsWhileTheAdapterIsAsked) {
  struct CountingPause final : common::ScanPause {
    void PauseScan() override { ++paused; }
    void ResumeScan() override { ++resumed; }
    int paused = 0;
    int resumed = 0;
  } scan;
  test::LinkFixture fx;
  EXPECT_TRUE(AboutVersionText(*fx.link, scan).adapter_answered);
  fx.pack->Unplug();
  fx.link->connection().ClearConnected();
  EXPECT_FALSE(AboutVersionText(*fx.link, scan).adapter_answered);
  EXPECT_EQ(scan.paused, 2);
  EXPECT_EQ(scan.resumed, 2);
}

}  // namespace
}  // namespace cw::app

namespace cw::app {
namespace {

TEST(MainUiStateTest, TheMainWindowStaysLockedUntilItsLastHoldEnds) {
  MainUiState state;
  std::vector<bool> heard;
  const common::Subscription watch =
      state.changes().Subscribe([&](bool locked) { heard.push_back(locked); });
  state.UnlockMainUi();  // nobody holds it: nothing changes
  {
    const common::MainUiHold station(state);
    { const common::MainUiHold tool_job(state); }
    EXPECT_TRUE(state.locked()) << "a job's end leaves the station's hold";
  }
  EXPECT_FALSE(state.locked());
  EXPECT_EQ(heard, (std::vector<bool>{true, false}));
}

TEST(WorkbenchConfigTest, ConfigButtonReopensWithTheNewIdAndRestoresTheScan) {
  test::RecordingMessageSink messages;
  WorkbenchOptions options;
  options.device = *ParseDeviceString("sim:clock=virtual");
  auto bench = Workbench::Create(options, messages);
  ASSERT_TRUE(bench.has_value());
  (*bench)->Start();
  EXPECT_FALSE((*bench)->ConfigureAdapter("0x1234")) << "no adapter answers as 1234";
  EXPECT_EQ((*bench)->link().link_status(), link::LinkStatus::kNoAdapter);
  EXPECT_TRUE((*bench)->ConfigureAdapter("0x8888"));
  EXPECT_TRUE((*bench)->monitor().engine().scan_enabled());
}

}  // namespace
}  // namespace cw::app

namespace cw::app {
namespace {

class RecordingTrace final : public common::TraceSink {
 public:
  void Trace(std::string_view layer, std::string_view text) override {
    if (layer == "hotplug") lines.emplace_back(text);
  }
  std::vector<std::string> lines;
};

TEST(WorkbenchNotificationsTest, AdapterArrivalAndRemovalAreReportedNotActedOn) {
  test::RecordingMessageSink messages;
  RecordingTrace trace;
  WorkbenchOptions options;
  options.device = *ParseDeviceString("sim:clock=virtual");
  options.trace = &trace;
  auto bench = Workbench::Create(options, messages);
  ASSERT_TRUE(bench.has_value());
  (*bench)->Start();
  EXPECT_FALSE((*bench)->last_device_event().has_value());
  (*bench)->sim_pack()->Unplug();
  EXPECT_EQ((*bench)->last_device_event(), link::UsbHotplugEvent::kLeft);
  (*bench)->sim_pack()->Plug();
  EXPECT_EQ((*bench)->last_device_event(), link::UsbHotplugEvent::kArrived);
  EXPECT_EQ(trace.lines, (std::vector<std::string>{"adapter left", "adapter arrived"}));
  EXPECT_TRUE(messages.Texts().empty());
}

}  // namespace
}  // namespace cw::app
