// The live chart's axes. Time: round steps for the room there is, labels on the local clock, the
// date where the axis crosses midnight, the caption of an exported picture. Values: round ranges
// that move only when they must.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <optional>

#include "presentation/chart_time_axis.h"
#include "presentation/chart_value_axis.h"

namespace cw::presentation {
namespace {

using Range = std::pair<std::string, std::string>;

// 2026-12-08 20:14:07.4 on the local clock: the chart's second 0.
constexpr double kOrigin = 1'796'760'847.4;

TEST(ChartTimeAxis, RoundStepsOnTheClockForTheRoomThereIs) {
  const struct {
    double start;
    double end;
    double plot_width;
    double step;
    const char* first;
    const char* last;
    std::size_t ticks;
  } cases[] = {
      // 1 min over 600 px at 7 px a character: 11 characters need 77 px, 10 s give 100.
      {0, 60, 600, 10, "20:14:10", "20:15:00", 6},
      // 15 min: the axis starts before the chart did and still spans 15 minutes.
      {-840, 60, 600, 120, "20:02:00", "20:14:00", 7},
      {-840, 60, 1200, 60, "20:01:00", "20:15:00", 15},
      // 1 h over a narrow plot: 15 min would put the labels 75 px apart.
      {-3540, 60, 300, 1800, "19:30:00", "20:00:00", 2},
      // A second's worth of room for every label.
      {0, 10, 10'000, 1, "20:14:08", "20:14:17", 10},
      // Too little room for even 12 h: one label a half day.
      {0, 86'400, 1, 43'200, "2026-12-09 00:00:00", "2026-12-09 12:00:00", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start << ".." << c.end << " over " << c.plot_width);
    const ChartTimeAxis axis = ClockTimeAxis(c.start, c.end, kOrigin, c.plot_width, 7);
    EXPECT_EQ(axis.step_seconds, c.step);
    ASSERT_EQ(axis.ticks.size(), c.ticks);
    EXPECT_EQ(axis.ticks.front().label, c.first);
    EXPECT_EQ(axis.ticks.back().label, c.last);
    for (const ChartTick& tick : axis.ticks) {
      EXPECT_GE(tick.seconds, c.start);
      EXPECT_LE(tick.seconds, c.end);
      EXPECT_NEAR(std::fmod(kOrigin + tick.seconds, c.step), 0, 1e-6) << tick.label;
    }
  }
  EXPECT_TRUE(ClockTimeAxis(60, 60, kOrigin, 600, 7).ticks.empty());
  EXPECT_TRUE(ClockTimeAxis(0, 60, kOrigin, 0, 7).ticks.empty());
}

TEST(ChartTimeAxis, DateWhereTheAxisCrossesMidnight) {
  // 23:50:00 to 00:05:00: the labels are longer, so the step is wider than it would be.
  const double midnight = 1'796'774'400;
  const double start = midnight - 600 - kOrigin;
  const ChartTimeAxis axis = ClockTimeAxis(start, start + 900, kOrigin, 600, 7);
  EXPECT_EQ(axis.step_seconds, 300);
  ASSERT_EQ(axis.ticks.size(), 4u);
  EXPECT_EQ(axis.ticks[0].label, "2026-12-08 23:50:00");
  EXPECT_EQ(axis.ticks[2].label, "2026-12-09 00:00:00");
  EXPECT_EQ(axis.ticks[3].label, "2026-12-09 00:05:00");

  EXPECT_EQ(ClockRange(start, start + 900, kOrigin),
            Range("2026-12-08 23:50:00", "2026-12-09 00:05:00"));
  EXPECT_EQ(ClockRange(-840, 60, kOrigin), Range("2026-12-08 20:00:07", "20:15:07"));
}

TEST(ChartTimeAxis, LocalClockReadsAsTheCalendarDoes) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const double wall = LocalWallSeconds();
  const double seconds_of_day = std::fmod(wall, 86'400);
  const double expected = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  // A second may tick between the two readings, midnight too.
  const double apart = std::abs(seconds_of_day - expected);
  EXPECT_TRUE(apart < 2 || apart > 86'398) << seconds_of_day << " against " << expected;
}

TEST(ChartValueAxis, MovesOnlyWhenTheValuesLeaveItOrFillTooLittleOfIt) {
  const struct {
    double low, high, shown_low, shown_high;
    std::optional<ChartValueRange> next;
  } cases[] = {
      // The first values: a steady voltage gets room around it.
      {15200, 15200, 0, 1, ChartValueRange{14800, 15600, 5}},
      // Small moves inside stay; a tight fit worked out again is the same range.
      {15210, 15250, 14800, 15600, std::nullopt},
      // A drifting current on an axis four times too wide: tighter, with room to drift on.
      {-249, -244, -270, -230, ChartValueRange{-255, -235, 5}},
      {-249, -240, -255, -235, std::nullopt},
      {-249, -234, -255, -235, ChartValueRange{-260, -220, 5}},
      // A tenth of a degree on a four-degree axis.
      {25.0, 25.1, 23, 27, ChartValueRange{24, 26, 5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.low << ".." << c.high << " on " << c.shown_low << ".." << c.shown_high);
    EXPECT_EQ(NextChartValueRange(c.low, c.high, c.shown_low, c.shown_high), c.next);
  }
}

}  // namespace
}  // namespace cw::presentation
