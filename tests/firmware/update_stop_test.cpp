// What an update that stops or fails leaves the pack in, said as it is: a stop at a record
// boundary, a failure after restarts, a last record that cannot be read back.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool_fixture.h"

namespace cw::firmware {
namespace {

// A close asked for from the update's own progress report lands at the next record boundary; the
// run ends without a message box, and its view keeps what it left for a front end to tell.
TEST(UpdateStop, AStopSaysWhatThePackIsLeftIn) {
  struct Case {
    std::string name;
    std::string stop_at_counter;  // the counter text whose report asks for the close
    std::string note;
    sim::BootMode mode;
  };
  const Case cases[] = {
      {"after the handshake", "0/2843", std::string(messages::kUpdateStoppedNoRecord),
       sim::BootMode::kUpdate},
      {"after 7 records", "7/2843",
       fmt::format(fmt::runtime(messages::kUpdateStoppedPartly), 7, 2843), sim::BootMode::kUpdate},
  };
  for (const Case& c : cases) {
    ToolFixture w;
    w.host.on_update = [&] {
      if (w.Update().counter_text == c.stop_at_counter) w.tool.RequestClose();
    };
    UpdateWith(w.tool, RandomImage(11));
    const UpdateView view = w.Update();
    EXPECT_FALSE(view.outcome) << c.name;
    EXPECT_EQ(view.stop_notes, std::vector<std::string>{c.note}) << c.name;
    EXPECT_TRUE(w.fx.messages.Texts().empty()) << c.name;
    EXPECT_EQ(w.fx.pack->gauge().State().boot.mode, c.mode) << c.name;
  }
}

TEST(UpdateStop, FailuresSayHowFarTheUpdateGotAndWhatIsUnknown) {
  struct Case {
    std::string name;
    std::set<int> spoilt;
    bool refuse_flash_reads;
    std::string status;
    std::string message;
  };
  const Case cases[] = {
      // The first pass wrote 5 records; the later ones got no further than 1.
      {"restarts that got less far",
       {6, 8, 10},
       false,
       "Error: 2180 (PEC error)",
       fmt::format(fmt::runtime(messages::kStatePartlyWritten), 5, 2843)},
      // Every record went in; only reading the last one back failed.
      {"last record not read back",
       {},
       true,
       std::string(messages::kStatusLastRecordUnread),
       std::string(messages::kStateLastRecordUnread)},
  };
  for (const Case& c : cases) {
    ToolFixture w;
    NoisyBus bus(w.fx.pack->gauge());
    bus.spoilt = c.spoilt;
    bus.refuse_flash_reads = c.refuse_flash_reads;
    w.fx.pack->ReplaceTarget(&bus);
    UpdateWith(w.tool, RandomImage(6));
    w.fx.pack->ReplaceTarget(nullptr);
    const UpdateView view = w.Update();
    ASSERT_TRUE(view.outcome) << c.name;
    EXPECT_FALSE(view.outcome->done()) << c.name;
    EXPECT_EQ(view.status_text, c.status) << c.name;
    EXPECT_EQ(w.fx.messages.Texts(), std::vector<std::string>{c.message}) << c.name;
  }
}

}  // namespace
}  // namespace cw::firmware
