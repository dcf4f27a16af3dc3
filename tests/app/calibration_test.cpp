// Calibration: the plan worked out from the fields, the bus sequence, the frame around it.
#include "app/calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <latch>
#include <limits>
#include <regex>
#include <thread>

#include "app/messages.h"
#include "monitor/scan_engine.h"
#include "support/link_fixture.h"
#include "support/lossy_gauge.h"
#include "support/recording_sinks.h"

namespace cw::app {
namespace {

using common::Bytes;
using common::Millis;

std::function<std::optional<std::uint16_t>()> Cells(int count) {
  return [count]() -> std::optional<std::uint16_t> {
    return static_cast<std::uint16_t>(count == 4 ? 0x0300 : count == 3 ? 0x0200 : 0x0100);
  };
}

TEST(CalibrationPlanTest, CellVoltageRules) {
  struct Case {
    std::array<std::uint32_t, 4> cells;
    int configured;
    std::optional<std::string_view> error;
    int duration;
  };
  const Case cases[] = {
      {{2000, 2000, 0, 0}, 2, messages::kCellVoltageSumTooLow, 0},
      {{2600, 2600, 0, 0}, 2, std::nullopt, 1000},
      {{3700, 3700, 3700, 0}, 4, messages::kCellVoltageError, 0},
      {{3700, 3700, 3700, 3700}, 4, std::nullopt, 1880},
      {{3700, 3700, 0, 0}, 3, messages::kCellVoltageError, 0},
      {{3700, 3700, 3700, 0}, 3, std::nullopt, 1400},
      {{0, 3700, 3700, 3700}, 4, messages::kCellVoltageError, 0},
  };
  for (const auto& c : cases) {
    CalibrationInput input{.calibrate_voltage = true, .cell_mv = c.cells};
    const auto plan = PlanCalibration(input, Cells(c.configured));
    EXPECT_EQ(plan.error, c.error) << c.cells[0] << "," << c.cells[3] << " on " << c.configured;
    if (!c.error) {
      EXPECT_EQ(plan.duration_ms, c.duration);
      EXPECT_EQ(plan.flags, 0x10);
      EXPECT_EQ(plan.voltage_payload[0], c.cells[0] & 0xFF) << "little-endian words";
      EXPECT_EQ(plan.voltage_payload[1], c.cells[0] >> 8);
    }
  }
  const auto two_cells =
      PlanCalibration({.calibrate_voltage = true, .cell_mv = {2600, 2600, 2600, 2600}}, Cells(2));
  EXPECT_EQ(two_cells.voltage_payload[4], 0) << "a 2-cell pack sends cells 1 and 2 only";
}

TEST(CalibrationPlanTest, TemperatureAndCurrent) {
  EXPECT_EQ(CelsiusToDeciKelvin(25.0f), 2981);
  CalibrationInput ts2{.calibrate_ts = {false, true, false, false}, .ts_celsius = {0, 25.0f, 0, 0}};
  const auto plan = PlanCalibration(ts2, Cells(4));
  EXPECT_EQ(plan.flags, 0x02);
  EXPECT_EQ(plan.duration_ms, 576);
  EXPECT_EQ(plan.temperature_payload, (std::array<std::uint8_t, 8>{0, 0, 0xA5, 0x0B, 0, 0, 0, 0}));

  for (const std::int32_t current : {0, 100}) {
    EXPECT_EQ(PlanCalibration({.calibrate_current = true, .current_ma = current}, Cells(4)).error,
              messages::kCurrentMustBeNegative);
  }
  const auto current = PlanCalibration({.calibrate_current = true, .current_ma = -2000}, Cells(4));
  EXPECT_EQ(current.current_word, 0xF830);
  EXPECT_EQ(current.flags, 0x40);
  const auto with_voltage = PlanCalibration({.calibrate_voltage = true,
                                             .cell_mv = {3700, 3700, 3700, 3700},
                                             .calibrate_current = true,
                                             .current_ma = -2000},
                                            Cells(4));
  EXPECT_EQ(with_voltage.duration_ms, 500) << "the current step replaces the voltage time";
  EXPECT_EQ(with_voltage.flags, 0x50);
  EXPECT_EQ(PlanCalibration({}, Cells(4)).flags, 0);
}

// References no pack can have are refused before anything is read or sent: a cell voltage past
// 16 bits would wrap, a NaN or an infinity has no 0.1 K value.
TEST(CalibrationPlanTest, ReferencesOutsideTheirPhysicalRangeAreRefusedFirst) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    CalibrationInput input;
    std::string error;
  };
  const Case cases[] = {
      {{.calibrate_voltage = true, .cell_mv = {999999, 3000, 3000, 3000}},
       "Cell Voltage 1 must be between 0 and 5000 mV, please reenter!"},
      {{.calibrate_voltage = true, .cell_mv = {3000, 3000, 3000, 5001}},
       "Cell Voltage 4 must be between 0 and 5000 mV, please reenter!"},
      {{.calibrate_ts = {true, false, false, false}, .ts_celsius = {nan, 0, 0, 0}},
       "TS1 Temperature must be a number between -40.0 and 130.0 ℃, please reenter!"},
      {{.calibrate_ts = {false, false, true, false}, .ts_celsius = {0, 0, inf, 0}},
       "TS3 Temperature must be a number between -40.0 and 130.0 ℃, please reenter!"},
      {{.calibrate_ts = {false, true, false, false}, .ts_celsius = {0, -300.0f, 0, 0}},
       "TS2 Temperature must be a number between -40.0 and 130.0 ℃, please reenter!"},
      {{.calibrate_ts = {false, false, false, true}, .ts_celsius = {0, 0, 0, 1e30f}},
       "TS4 Temperature must be a number between -40.0 and 130.0 ℃, please reenter!"},
      {{.calibrate_current = true, .current_ma = -32769},
       "The Enter Actual Current must not be below -32768 mA, please reenter!"},
  };
  for (const Case& c : cases) {
    bool configuration_read = false;
    const auto plan = PlanCalibration(c.input, [&]() -> std::optional<std::uint16_t> {
      configuration_read = true;
      return 0x0300;
    });
    EXPECT_EQ(plan.error, c.error);
    EXPECT_EQ(plan.flags, 0) << c.error;
    EXPECT_FALSE(configuration_read) << c.error;
  }
  // The edges are references a pack can have.
  EXPECT_FALSE(PlanCalibration({.calibrate_voltage = true,
                                .cell_mv = {5000, 5000, 0, 0},
                                .calibrate_ts = {true, true, false, false},
                                .ts_celsius = {-40.0f, 130.0f, 0, 0},
                                .calibrate_current = true,
                                .current_ma = -32768},
                               Cells(2))
                   .error);
}

// What is typed stays what it is: an empty field is 0, anything a pack cannot have stays out of
// range, so that the range check refuses it by its message.
TEST(CalibrationEntriesTest, TypedTextsBecomeTheNumbersTheChecksJudge) {
  constexpr std::uint32_t kNoCell = std::numeric_limits<std::uint32_t>::max();
  CalibrationEntries typed;
  typed.cells = {" 3700 ", "", "-5", "99999999999"};
  typed.temperatures = {"25.5", "abc", "-1e400", ""};
  typed.current = "-2000";
  CalibrationInput input = ReadCalibrationEntries(typed);
  EXPECT_EQ(input.cell_mv, (std::array<std::uint32_t, 4>{3700, 0, kNoCell, kNoCell}));
  EXPECT_FLOAT_EQ(input.ts_celsius[0], 25.5f);
  EXPECT_TRUE(std::isnan(input.ts_celsius[1]));
  EXPECT_EQ(input.ts_celsius[2], -std::numeric_limits<float>::infinity());
  EXPECT_EQ(input.current_ma, -2000);
  for (const auto& [current, ma] : std::vector<std::pair<std::string, std::int32_t>>{
           {"", 0}, {"abc", INT32_MIN}, {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN}}) {
    typed.current = current;
    EXPECT_EQ(ReadCalibrationEntries(typed).current_ma, ma) << current;
  }
  typed.calibrate_voltage = true;
  typed.current = "-2000";
  EXPECT_TRUE(PlanCalibration(ReadCalibrationEntries(typed), Cells(4)).error.has_value());
}

TEST(CalibrationReadingsTest, TextsFromRawValuesAndNoNumberForAValueNotRead) {
  const auto readings =
      ReadingsText({3800, 3801, 3802, std::nullopt}, {2981, std::nullopt, 0, 0}, 0xF830);
  EXPECT_EQ(readings.cells[0], "3800");
  EXPECT_EQ(readings.cells[3], "not read");
  EXPECT_EQ(readings.temperatures[0], "25.0");
  EXPECT_EQ(readings.temperatures[1], "not read") << "a row never read";
  EXPECT_EQ(readings.current, "-2000");
  EXPECT_EQ(ReadingsText({}, {}, std::nullopt).current, "not read");
}

// The board offset is asked about under a load, not for the few mA a board at rest reads itself.
TEST(CalibrationReadingsTest, BoardOffsetIsQuestionedOnlyUnderALoad) {
  const std::pair<RawReading, bool> cases[] = {
      {std::nullopt, false}, {0, false},     {25, false}, {0xFFCE /* -50 */, false}, {51, true},
      {0xFF0C, true},        {0xF830, true},
  };
  for (const auto& [raw, asked] : cases) {
    const auto question = BoardOffsetLoadQuestion(raw);
    EXPECT_EQ(question.has_value(), asked) << raw.value_or(-1);
  }
  EXPECT_EQ(BoardOffsetLoadQuestion(0xFF0C)->substr(0, 30), "-244 mA flow through the pack.");
}

// Keeps the progress reports and whether the scan was enabled at each.
struct ScanWatchingProgress final : common::ProgressSink {
  void TaskProgress(common::TaskKind kind, int total, int done) override {
    reports.TaskProgress(kind, total, done);
    scanning_while_busy = scanning_while_busy || (engine && engine->scan_enabled());
  }
  test::RecordingProgressSink reports;
  const monitor::ScanEngine* engine = nullptr;
  bool scanning_while_busy = false;
};

// Calibration on the simulated pack (four cells in its Operation Cfg A), with the scan engine it
// stops and restarts.
struct CalibrationFixture {
  CalibrationFixture() { progress.engine = &engine; }
  test::LinkFixture fx;
  ScanWatchingProgress progress;
  std::atomic<bool> busy{false};
  std::atomic<bool> flash_busy{false};
  monitor::ScanEngine engine{*fx.link, progress, busy};
  Calibration calibration{*fx.link, fx.messages, progress, busy, flash_busy, engine};
};

TEST(CalibrationRunTest, CellsAndCurrentReachTheGaugeAsOneSet) {
  CalibrationFixture f;
  Calibration& calibration = f.calibration;
  f.fx.TakeWaits();
  EXPECT_TRUE(calibration.Calibrate({.calibrate_voltage = true,
                                     .cell_mv = {3710, 3720, 3730, 3740},
                                     .calibrate_current = true,
                                     .current_ma = -2000}));
  const auto records = f.fx.pack->gauge().CalibrationRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].command, 0x41);
  EXPECT_EQ(records[0].data, (Bytes{0x7E, 0x0E, 0x88, 0x0E, 0x92, 0x0E, 0x9C, 0x0E}));
  EXPECT_EQ(records[1].command, 0x43);
  EXPECT_EQ(records[1].data, (Bytes{0x30, 0xF8}));
  EXPECT_EQ(records[2].command, 0x40);
  EXPECT_EQ(records[2].data, (Bytes{0x50, 0x00}));
  EXPECT_EQ(f.fx.messages.Texts(), std::vector<std::string>{"Calibration OK."});
  EXPECT_FALSE(f.progress.scanning_while_busy) << "the scan is stopped while the bar moves";
  EXPECT_TRUE(f.engine.scan_enabled()) << "and restarted after";
  EXPECT_FALSE(f.busy);
  EXPECT_EQ(f.progress.reports.Reports(common::TaskKind::kCalibration).back(),
            (test::ProgressReport{100, 100}));
  const auto waits = f.fx.TakeWaits();
  EXPECT_EQ(std::count(waits.begin(), waits.end(), Millis{50}), 10) << "500 ms in ten steps";
  EXPECT_FALSE(f.fx.lock.HeldByThisThread());
}

TEST(CalibrationRunTest, BoardOffsetSendsCalibrationModeThenTheOffsetFlag) {
  CalibrationFixture f;
  Calibration& calibration = f.calibration;
  EXPECT_TRUE(calibration.CalibrateBoardOffset());
  const auto records = f.fx.pack->gauge().CalibrationRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].data, (Bytes{0x20, 0x00}));
  EXPECT_EQ(f.fx.messages.Texts(), std::vector<std::string>{"Offset Calibration OK!"});
}

// When the gauge does not acknowledge every write, the message says what it measures now.
TEST(CalibrationRunTest, UnconfirmedCalibrationReportsTheReadingsNow) {
  struct Case {
    const char* name;
    bool board_offset;
    std::string pattern;
  };
  const Case cases[] = {
      {"cells, TS2 and current", false,
       "The gauge did not confirm the calibration \\(Target Board Not Responding\\)\\. It now "
       "reads: cells [0-9]+, [0-9]+, [0-9]+, [0-9]+ mV; TS2 -?[0-9]+\\.[0-9] ℃; current -?[0-9]+ "
       "mA\\."},
      {"board offset", true,
       "The gauge did not confirm the calibration \\(Target Board Not Responding\\)\\. It now "
       "reads: current -?[0-9]+ mA\\."},
  };
  for (const Case& c : cases) {
    CalibrationFixture f;
    test::LossyGauge lossy(f.fx);
    lossy.refuse = [](common::ByteView bytes) { return bytes[0] == 0x40; };
    const common::Outcome outcome =
        c.board_offset ? f.calibration.CalibrateBoardOffset()
                       : f.calibration.Calibrate({.calibrate_voltage = true,
                                                  .cell_mv = {3900, 3900, 3900, 3900},
                                                  .calibrate_ts = {false, true, false, false},
                                                  .ts_celsius = {0, 25.0f, 0, 0},
                                                  .calibrate_current = true,
                                                  .current_ma = -2000});
    EXPECT_FALSE(outcome.done()) << c.name;
    EXPECT_TRUE(outcome.gauge_changed) << c.name;
    const auto texts = f.fx.messages.Texts();
    ASSERT_EQ(texts.size(), 1u) << c.name;
    EXPECT_TRUE(std::regex_match(texts[0], std::regex(c.pattern))) << texts[0];
  }
}

TEST(CalibrationRunTest, RefusedWhileAFlashTransferRuns) {
  CalibrationFixture f;
  f.flash_busy = true;
  Calibration& calibration = f.calibration;
  EXPECT_FALSE(calibration.CalibrateBoardOffset());
  ASSERT_EQ(f.fx.messages.Messages().size(), 1u);
  EXPECT_EQ(f.fx.messages.Messages()[0].text, "Calibration forbidden. Flash Operation Running!");
  EXPECT_EQ(f.fx.messages.Messages()[0].icon, common::MessageIcon::kError);
  EXPECT_TRUE(f.progress.reports.Reports(common::TaskKind::kOffsetCalibration).empty());
  EXPECT_TRUE(f.fx.pack->gauge().CalibrationRecords().empty());
}

TEST(CalibrationRunTest, InputErrorSendsNothingAndRestartsTheScan) {
  CalibrationFixture f;
  Calibration& calibration = f.calibration;
  f.fx.TakeEvents();
  EXPECT_FALSE(calibration.Calibrate({.calibrate_current = true, .current_ma = 5}));
  EXPECT_EQ(f.fx.messages.Texts(),
            std::vector<std::string>{std::string(messages::kCurrentMustBeNegative)});
  EXPECT_TRUE(f.fx.TakeSent().empty());
  EXPECT_TRUE(f.engine.scan_enabled());
  EXPECT_FALSE(calibration.Calibrate({})) << "nothing ticked: nothing sent, nothing shown";
  EXPECT_EQ(f.fx.messages.Texts().size(), 1u);
}

TEST(CalibrationRunTest, BusyBusIsSystemBusyAfterTwoWaits) {
  CalibrationFixture f;
  Calibration& calibration = f.calibration;
  std::atomic<bool> release{false};
  std::latch held(1);
  std::thread holder([&] {
    ASSERT_TRUE(f.fx.lock.Acquire());
    held.count_down();
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    f.fx.lock.Release();
  });
  held.wait();
  EXPECT_FALSE(calibration.CalibrateBoardOffset());
  release = true;
  holder.join();
  EXPECT_EQ(f.fx.messages.Texts(), std::vector<std::string>{"System Busy"});
  EXPECT_TRUE(f.engine.scan_enabled());
  EXPECT_FALSE(f.busy);
}

}  // namespace
}  // namespace cw::app
