// Ctrl-C or SIGTERM during a data flash transfer: it stops between two pages, says what the gauge
// is left in, and sends no page after the stop.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stop_token>

#include "dataflash/data_flash_session.h"
#include "dataflash/messages.h"
#include "dataflash_fixture.h"

namespace cw::dataflash {
namespace {

using test::BusTransaction;
using test::DataFlashFixture;

enum class Operation { kLoadAfi, kSaveAfi, kSetValue };

// Page traffic counted at the gauge: the stop is asked for once `stop_when` says so.
struct PageCount {
  int reads = 0;
  int writes = 0;
};

struct StopCase {
  std::string name;
  Operation operation;
  std::function<bool(const PageCount&)> stop_when;
  std::vector<std::string> messages;
  bool done;  // the stop came after the last page written: the operation ran to its end
};

class DataFlashStop : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("cw_df_stop_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(DataFlashStop, StopsBetweenPagesAndSaysWhatTheGaugeHolds) {
  const auto saved = dir_ / "pack.afi";
  {
    DataFlashFixture f;
    ASSERT_TRUE(f.session.SaveGaugeToAfi(saved).outcome);
  }
  const auto reading = std::string(messages::kStoppedReading);
  const StopCase cases[] = {
      {"load, during the read before the write",
       Operation::kLoadAfi,
       [](const PageCount& c) { return c.reads == 2; },
       {reading},
       false},
      {"load, after three pages written",
       Operation::kLoadAfi,
       [](const PageCount& c) { return c.writes == 3; },
       {fmt::format(fmt::runtime(messages::kStoppedPartlyWritten), 3)},
       false},
      {"load, during the check after the last page",
       Operation::kLoadAfi,
       [](const PageCount& c) { return c.writes > 0 && c.reads > 40; },
       {std::string(messages::kLoadSuccess)},
       true},
      {"save",
       Operation::kSaveAfi,
       [](const PageCount& c) { return c.reads == 5; },
       {reading},
       false},
      {"set, during its Read All",
       Operation::kSetValue,
       [](const PageCount& c) { return c.reads == 2; },
       {reading},
       false},
  };
  for (const StopCase& c : cases) {
    DataFlashFixture f;
    std::stop_source stop;
    PageCount count;
    std::optional<PageCount> at_stop;
    f.gauge.nack = [&](const BusTransaction& t) {
      if (t.command >= 0x78 && t.command < 0x80) ++(t.write ? count.writes : count.reads);
      if (!at_stop && c.stop_when(count)) {
        at_stop = count;
        stop.request_stop();
      }
      return false;
    };
    bool done = false;
    const auto saved_to = dir_ / "again.afi";
    switch (c.operation) {
      case Operation::kLoadAfi:
        done = f.session.LoadAfiToGauge(saved, stop.get_token()).outcome.done();
        break;
      case Operation::kSaveAfi:
        done = f.session.SaveGaugeToAfi(saved_to, stop.get_token()).outcome.done();
        EXPECT_FALSE(std::filesystem::exists(saved_to)) << c.name;
        break;
      case Operation::kSetValue: {
        const ValueSetting set =
            f.session.SetValue(f.Row("CUV Threshold"), "2700", stop.get_token());
        done = !set.stopped && set.edit.done();
        EXPECT_TRUE(set.stopped) << c.name;
        EXPECT_EQ(count.writes, 0) << c.name;
        break;
      }
    }
    ASSERT_TRUE(at_stop) << c.name;
    EXPECT_EQ(done, c.done) << c.name;
    EXPECT_EQ(f.link.messages.Texts(), c.messages) << c.name;
    if (!c.done) {
      EXPECT_EQ(count.writes, at_stop->writes) << c.name << ": a page after the stop";
    }
  }
}

}  // namespace
}  // namespace cw::dataflash
