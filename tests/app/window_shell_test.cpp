// The main window's rules that need the workbench: the About lines, the main-window lock, the
// Config button and device notifications.
#include <gtest/gtest.h>

#include "app/about_text.h"
#include "app/main_ui_state.h"
#include "app/workbench.h"
#include "monitor/monitor_session.h"
#include "sim/sim_pack.h"
#include "support/link_fixture.h"

namespace cw::app {
namespace {

using common::TaskKind;

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
