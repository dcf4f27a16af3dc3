#include "monitor/chart_samples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "monitor/value_conversion.h"
#include "monitor_fixture.h"

namespace cw::test {
namespace {

using common::Millis;
using monitor::ChartSamples;
using monitor::RegisterTable;
using monitor::RowRef;
using monitor::TableId;

constexpr std::uint8_t kTemperature = 0x08;
constexpr std::uint8_t kVoltage = 0x09;
constexpr std::uint8_t kCurrent = 0x0A;
constexpr std::uint8_t kRsoc = 0x0D;

class ChartSamplesTest : public ::testing::Test {
 protected:
  ChartSamplesTest() {
    scan_.gauge.SetWord(kTemperature, 2981);
    scan_.gauge.SetWord(kVoltage, 14800);
    scan_.gauge.SetWord(kCurrent, 0xFF9C);
    scan_.gauge.SetWord(kRsoc, 76);
    scan_.Select({"Voltage", "Current", "Temperature", "Relative State of Charge"});
  }

  RowRef Ref(std::string_view name) {
    return *scan_.engine.WithTable([&](const RegisterTable& table) { return table.Find(name); });
  }
  const monitor::ChartSeriesView* Series(const monitor::ChartView& view, std::string_view name) {
    const auto at = std::find_if(view.series.begin(), view.series.end(),
                                 [&](const auto& series) { return series.name == name; });
    return at == view.series.end() ? nullptr : &*at;
  }
  // One scan pass `after` from now.
  void PassAt(Millis after) {
    scan_.fixture.clock.Advance(after);
    scan_.engine.ScanPass();
  }

  ScanFixture scan_;
  ChartSamples chart_{scan_.engine, scan_.fixture.clock};
};

TEST_F(ChartSamplesTest, DefaultSeriesAreShownAndOnlyNumericRegisterRowsCanBe) {
  std::vector<std::string> names;
  scan_.engine.WithTable([&](const RegisterTable& table) {
    for (RowRef row : chart_.shown_rows()) names.emplace_back(table.row(row).name);
    const auto chartable = ChartSamples::ChartableRows(table);
    EXPECT_EQ(std::count_if(chartable.begin(), chartable.end(),
                            [](RowRef row) { return row.table == TableId::kD; }),
              0);
    EXPECT_EQ(std::find(chartable.begin(), chartable.end(), *table.Find("Gauge Debug Info")),
              chartable.end());
  });
  EXPECT_EQ(names, (std::vector<std::string>{"Temperature", "Voltage", "Current",
                                             "Relative State of Charge", "TS1 Temperature"}));
  EXPECT_FALSE(chart_.Show(Ref("Gauge Debug Info"), true));
  EXPECT_FALSE(chart_.Show(Ref("Device Name"), true));
  EXPECT_TRUE(chart_.Show(Ref("Voltage"), false));
  EXPECT_FALSE(chart_.shown(Ref("Voltage")));
}

TEST_F(ChartSamplesTest, ScannedValuesArriveConvertedAndFailedReadsAddNothing) {
  int notified = 0;
  const auto subscription = chart_.changes().Subscribe([&] { ++notified; });
  PassAt(Millis{1000});
  scan_.gauge.FailWord(kVoltage);
  PassAt(Millis{1000});
  const auto view = chart_.View(100);
  ASSERT_NE(Series(view, "Current"), nullptr);
  EXPECT_EQ(Series(view, "Current")->unit, "mA");
  ASSERT_EQ(Series(view, "Current")->points.size(), 2u);
  EXPECT_DOUBLE_EQ(Series(view, "Current")->points[0].value, -100);
  EXPECT_NEAR(Series(view, "Temperature")->points[0].value, 25.0, 1e-4);
  EXPECT_EQ(Series(view, "Voltage")->points.size(), 1u) << "the failed read is no point";
  EXPECT_TRUE(Series(view, "TS1 Temperature")->points.empty()) << "shown but not scanned";
  EXPECT_EQ(notified, 7);
}

TEST_F(ChartSamplesTest, WindowEndsNowOrWhenPausedAndOldSamplesLeaveIt) {
  PassAt(Millis{1000});
  EXPECT_EQ(chart_.View(100).start_seconds, 0) << "younger than its window";
  // The axis steps in tenths of the window, ahead of the newest sample; young, it still spans
  // the whole window.
  auto expect_axis = [](const monitor::ChartView& shown, double length) {
    EXPECT_EQ(std::fmod(shown.axis_end, 6.0), 0.0) << shown.axis_end;
    EXPECT_GE(shown.axis_end, shown.end_seconds);
    EXPECT_LT(shown.axis_end - shown.end_seconds, 6.0);
    EXPECT_EQ(shown.axis_end - shown.axis_start, length);
  };
  expect_axis(chart_.View(100), 60.0);
  PassAt(Millis{90'000});
  auto view = chart_.View(100);
  EXPECT_EQ(view.end_seconds - view.start_seconds, 60);
  expect_axis(view, 60.0);
  EXPECT_EQ(Series(view, "Voltage")->points.size(), 1u) << "the first pass is 90 s old";
  EXPECT_TRUE(chart_.SetWindow(Millis{300'000}));
  EXPECT_FALSE(chart_.SetWindow(Millis{1234}));
  EXPECT_EQ(chart_.window(), Millis{300'000});
  EXPECT_EQ(chart_.View(100).series[1].points.size(), 2u);

  chart_.SetPaused(true);
  const double paused_end = chart_.View(100).end_seconds;
  PassAt(Millis{5000});
  view = chart_.View(100);
  EXPECT_EQ(view.end_seconds, paused_end);
  EXPECT_EQ(Series(view, "Voltage")->points.size(), 2u) << "the new pass is after the window";
  chart_.SetPaused(false);
  EXPECT_EQ(Series(chart_.View(100), "Voltage")->points.size(), 3u) << "recorded while paused";
}

TEST_F(ChartSamplesTest, ThinnedViewKeepsASpikeAndTheRangeOfEverySample) {
  for (int i = 0; i < 600; ++i) {
    scan_.gauge.SetWord(kVoltage, i == 333 ? 16000 : 14000 + i % 7);
    PassAt(Millis{50});
  }
  const auto view = chart_.View(40);
  const auto& voltage = *Series(view, "Voltage");
  EXPECT_LE(voltage.points.size(), 40u);
  EXPECT_TRUE(std::any_of(voltage.points.begin(), voltage.points.end(),
                          [](const auto& point) { return point.value == 16000; }));
  EXPECT_TRUE(std::is_sorted(voltage.points.begin(), voltage.points.end(),
                             [](const auto& a, const auto& b) { return a.seconds < b.seconds; }));
  EXPECT_EQ(voltage.min, 14000);
  EXPECT_EQ(voltage.max, 16000);
}

TEST_F(ChartSamplesTest, CsvHasOneLinePerPassWithUnitsInTheHeading) {
  chart_.Show(Ref("Temperature"), false);
  chart_.Show(Ref("TS1 Temperature"), false);
  chart_.Show(Ref("Relative State of Charge"), false);
  PassAt(Millis{1500});
  scan_.gauge.SetWord(kCurrent, 2000);
  scan_.gauge.FailWord(kVoltage);
  PassAt(Millis{1000});
  const std::string csv = chart_.Csv();
  const auto lines = std::count(csv.begin(), csv.end(), '\n');
  ASSERT_EQ(lines, 3) << csv;
  EXPECT_TRUE(csv.starts_with("Time (s),Voltage (mV),Current (mA)\r\n1.5")) << csv;
  EXPECT_NE(csv.find(",14800,-100\r\n"), std::string::npos) << csv;
  EXPECT_TRUE(csv.ends_with(",,2000\r\n")) << csv;
}

TEST(NumericValue, FollowsTheRowsConversion) {
  RegisterTable table;
  const auto value = [&](std::string_view name, std::int32_t raw) {
    monitor::SbsRegisterDef row = *table.FindRow(name);
    row.raw_value = raw;
    return monitor::NumericValue(row);
  };
  EXPECT_NEAR(*value("Temperature", 2981), 25.0, 1e-4);
  EXPECT_EQ(*value("Current", 0xFF9C), -100);
  EXPECT_EQ(*value("Voltage", 0xFF9C), 0xFF9C);
  EXPECT_EQ(*value("Safety Status", static_cast<std::int32_t>(0x80000001u)), 0x80000001u);
  EXPECT_FALSE(value("Voltage", monitor::kNotRead));
  EXPECT_FALSE(value("Device Name", 20));
  EXPECT_FALSE(value("Gauge Debug Info", 33));
}

}  // namespace
}  // namespace cw::test
