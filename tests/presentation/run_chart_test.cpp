#include "presentation/run_chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "presentation/chart_time_axis.h"

namespace cw::presentation {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> Seconds(std::size_t count, double start = 0, double step = 1) {
  std::vector<double> times(count);
  for (std::size_t i = 0; i < count; ++i) times[i] = start + step * static_cast<double>(i);
  return times;
}

TEST(RunDecimation, KeepsEverySpikeOfADayInAFewPointsPerPixel) {
  const std::vector<double> times = Seconds(86'400);
  std::vector<double> values(times.size(), 3700);
  values[40'001] = 4200;  // one row high
  values[60'017] = 2900;  // one row low
  const int pixels = 300;
  const auto lines = DecimateRun(times, values, 0, {0, 86'399}, pixels, 2.5);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_LE(lines[0].size(), 4u * pixels + 2);
  const auto [low, high] = std::minmax_element(lines[0].begin(), lines[0].end(),
                                               [](auto& a, auto& b) { return a.y < b.y; });
  EXPECT_EQ(*high, (PlotPoint{40'001, 4200}));
  EXPECT_EQ(*low, (PlotPoint{60'017, 2900}));
  EXPECT_TRUE(
      std::is_sorted(lines[0].begin(), lines[0].end(), [](auto& a, auto& b) { return a.x < b.x; }));
}

TEST(RunDecimation, BreaksWhereAValueWasNotReadOrRowsAreMissing) {
  struct Case {
    const char* what;
    std::vector<double> times;
    std::vector<double> values;
    std::vector<std::size_t> line_lengths;
  };
  const Case cases[] = {
      {"all read", Seconds(5), {1, 2, 3, 4, 5}, {5}},
      {"unread in the middle", Seconds(5), {1, 2, kNaN, 4, 5}, {2, 2}},
      {"unread at both ends", Seconds(5), {kNaN, 2, 3, 4, kNaN}, {3}},
      {"nothing read", Seconds(3), {kNaN, kNaN, kNaN}, {}},
      {"logging paused", {0, 1, 2, 10, 11}, {1, 2, 3, 4, 5}, {3, 2}},
  };
  for (const Case& c : cases) {
    const auto lines = DecimateRun(c.times, c.values, 0, {0, 11}, 1000, 2.5);
    std::vector<std::size_t> lengths;
    for (const auto& line : lines) lengths.push_back(line.size());
    EXPECT_EQ(lengths, c.line_lengths) << c.what;
  }
}

TEST(RunDecimation, OneRowEachSideCarriesTheLineToTheEdges) {
  const std::vector<double> times = Seconds(100, 1000);
  std::vector<double> values(times.size());
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i);
  // Offset -1000: rows on the chart from 0 to 99; the span shows 10.5 to 20.5.
  const auto lines = DecimateRun(times, values, -1000, {10.5, 20.5}, 1000, 2.5);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].front(), (PlotPoint{10, 10}));
  EXPECT_EQ(lines[0].back(), (PlotPoint{21, 21}));
}

// The rules row by row, written plainly: what the scan between breaks must draw.
std::vector<std::vector<PlotPoint>> DecimateRowByRow(const std::vector<double>& times,
                                                     const std::vector<double>& values,
                                                     TimeSpan shown, int pixels, double gap) {
  std::vector<std::vector<PlotPoint>> lines(1);
  std::vector<std::size_t> column;  // its rows, in time order
  long long index = 0;
  const auto flush = [&] {
    if (column.empty()) return;
    const auto by_value = [&](std::size_t a, std::size_t b) { return values[a] < values[b]; };
    std::vector<std::size_t> kept = {column.front(), column.back(),
                                     *std::min_element(column.begin(), column.end(), by_value),
                                     *std::max_element(column.begin(), column.end(), by_value)};
    std::sort(kept.begin(), kept.end());
    kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
    for (std::size_t row : kept) lines.back().push_back({times[row], values[row]});
    column.clear();
  };
  const auto end_line = [&] {
    flush();
    if (!lines.back().empty()) lines.emplace_back();
  };
  const auto first = std::max<std::ptrdiff_t>(
      0, std::lower_bound(times.begin(), times.end(), shown.start) - times.begin() - 1);
  const auto last = std::min<std::ptrdiff_t>(
      static_cast<std::ptrdiff_t>(times.size()),
      std::upper_bound(times.begin(), times.end(), shown.end) - times.begin() + 1);
  for (auto row = static_cast<std::size_t>(first); row < static_cast<std::size_t>(last); ++row) {
    if (std::isnan(values[row]) || (row > 0 && times[row] - times[row - 1] > gap)) end_line();
    if (std::isnan(values[row])) continue;
    const auto at =
        static_cast<long long>(std::floor((times[row] - shown.start) / (shown.length() / pixels)));
    if (at != index) flush();
    index = at;
    column.push_back(row);
  }
  end_line();
  lines.pop_back();
  return lines;
}

// Across spans from a few rows per pixel to hundreds, with unread values, missing rows, repeated
// lowest and highest values and spans that start and end between rows.
TEST(RunDecimation, DrawsWhatTheRulesRowByRowDraw) {
  std::vector<double> times = Seconds(20'000);
  for (std::size_t i = 9'000; i < times.size(); ++i) times[i] += 120;  // the logging stopped
  std::vector<double> values(times.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    values[i] = static_cast<double>((i * 7919) % 101) - (i % 977 == 0 ? 500 : 0);
  }
  for (std::size_t i = 3'000; i < 3'050; ++i) values[i] = kNaN;
  values[12'345] = kNaN;
  const struct {
    TimeSpan shown;
    int pixels;
  } cases[] = {{{0, 20'119}, 1000},    {{0, 20'119}, 37}, {{1'000.5, 1'900}, 800},
               {{8'000, 12'000}, 333}, {{17, 16'000}, 1}, {{0, 500}, 2000},
               {{2'990.5, 3'060.5}, 7}};
  for (const auto& c : cases) {
    EXPECT_EQ(DecimateRun(times, values, 0, c.shown, c.pixels, 2.5),
              DecimateRowByRow(times, values, c.shown, c.pixels, 2.5))
        << c.shown.start << " to " << c.shown.end << " on " << c.pixels << " pixels";
  }
}

TEST(RunCursor, FindsTheNearestRowWithinItsTolerance) {
  const std::vector<double> times = {10, 11, 12, 20};
  struct Case {
    double time;
    std::optional<std::size_t> row;
  };
  const Case cases[] = {{10, 0}, {11.4, 1}, {11.6, 2}, {13, 2}, {13.1, {}},
                        {9, 0},  {8.9, {}}, {19.5, 3}, {21, 3}, {21.5, {}}};
  for (const Case& c : cases) EXPECT_EQ(RowNear(times, c.time, 1.0), c.row) << c.time;
  EXPECT_EQ(RowNear({}, 1, 1), std::nullopt);
}

std::shared_ptr<const ChartRun> MakeRun(double start, std::vector<double> voltage) {
  auto run = std::make_shared<monitor::RunLog>();
  run->times = Seconds(voltage.size(), start, 2);
  run->columns.push_back({"Voltage", "mV", monitor::LogColumnKind::kNumber, "%d", voltage});
  run->columns.push_back({"Battery Status", "hex", monitor::LogColumnKind::kHex, "%04X",
                          std::vector<double>(voltage.size(), 0xC0)});
  return PrepareChartRun(run);
}

TEST(RunChartRules, RunsMeetAtTheirStartOrAtTheClock) {
  RunChart chart;
  chart.AddRun(MakeRun(36'000, {16'000, 16'010, kNaN, 16'030}));  // 10:00:00, rows 2 s apart
  chart.AddRun(MakeRun(36'003, {15'000, 15'010, 15'020}));
  EXPECT_EQ(chart.Registers(), std::vector<std::string>{"Voltage"}) << "a status word is no line";
  EXPECT_EQ(chart.shown_registers(), std::vector<std::string>{"Voltage"});

  EXPECT_EQ(chart.alignment(), RunAlignment::kStart);
  EXPECT_EQ(chart.span(), (TimeSpan{0, 10})) << "6 s of rows, shown as the shortest span";
  const auto at_2 = chart.ReadAt(2);
  ASSERT_EQ(at_2.size(), 2u);
  EXPECT_EQ(at_2[0].text, "16010");
  EXPECT_EQ(at_2[0].time, 36'002);
  EXPECT_EQ(at_2[1].text, "15010");
  EXPECT_EQ(at_2[1].time, 36'005);
  EXPECT_EQ(chart.ReadAt(4)[0].text, "") << "unread";
  EXPECT_EQ(chart.ReadAt(4)[0].time, 36'004);

  chart.SetAlignment(RunAlignment::kClock);
  EXPECT_EQ(chart.span(), (TimeSpan{36'000, 36'010}));
  const auto at_clock = chart.ReadAt(36'002);
  EXPECT_EQ(at_clock[0].text, "16010");
  EXPECT_EQ(at_clock[1].text, "15000") << "the second run's row at 10:00:03 is nearest";
  const auto plotted = chart.Plot(100);
  ASSERT_EQ(plotted.size(), 2u);
  EXPECT_EQ(plotted[0].segments.size(), 2u) << "the unread value leaves a gap";
  EXPECT_EQ(plotted[1].segments[0].front(), (PlotPoint{36'003, 15'000}));
  EXPECT_EQ(plotted[1].low, 15'000);
  EXPECT_EQ(plotted[1].high, 15'020);
}

TEST(RunChartRules, ZoomAndPanStayInsideTheRuns) {
  RunChart chart;
  chart.AddRun(MakeRun(0, std::vector<double>(501, 1)));  // 0 to 1000 s
  struct Step {
    const char* what;
    std::function<void(RunChart&)> act;
    TimeSpan span;
  };
  const Step steps[] = {
      {"zoom in at 250", [](RunChart& c) { c.ZoomAt(250, 0.5); }, {125, 625}},
      {"pan right", [](RunChart& c) { c.PanBy(100); }, {225, 725}},
      {"pan past the end", [](RunChart& c) { c.PanBy(1000); }, {500, 1000}},
      {"zoom in very far", [](RunChart& c) { c.ZoomAt(600, 1e-6); }, {598, 608}},
      {"zoom out past all", [](RunChart& c) { c.ZoomAt(600, 1e6); }, {0, 1000}},
      {"pan before the start", [](RunChart& c) { c.PanBy(-50); }, {0, 1000}},
  };
  for (const Step& step : steps) {
    step.act(chart);
    EXPECT_EQ(chart.span(), step.span) << step.what;
  }
}

TEST(ElapsedAxis, CountsHoursOnPastADay) {
  const ChartTimeAxis axis = ElapsedTimeAxis(0, 30 * 3600.0, 600, 10);
  EXPECT_EQ(axis.step_seconds, 21'600);
  ASSERT_EQ(axis.ticks.size(), 6u);
  EXPECT_EQ(axis.ticks[1], (ChartTick{21'600, "6:00:00"}));
  EXPECT_EQ(axis.ticks[5], (ChartTick{108'000, "30:00:00"}));
}

}  // namespace
}  // namespace cw::presentation
