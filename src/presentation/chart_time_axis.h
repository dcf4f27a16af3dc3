#pragma once

#include <string>
#include <utility>
#include <vector>

namespace cw::presentation {

// The live chart's time axis in clock time. The chart keeps its samples in seconds since it
// started (monitor::ChartSamples); `wall_origin` is the local clock at that second 0, in seconds
// since 1970-01-01 00:00 as the local clock reads it, so that midnight falls on a whole day.

struct ChartTick {
  double seconds = 0;  // on the chart's own scale
  std::string label;   // "hh:mm:ss", with the date in front when the axis crosses midnight
  bool operator==(const ChartTick&) const = default;
};

struct ChartTimeAxis {
  double step_seconds = 0;
  std::vector<ChartTick> ticks;
  bool operator==(const ChartTimeAxis&) const = default;
};

// The local clock now, as `wall_origin` wants it.
double LocalWallSeconds();

// Ticks on round clock times (every 1, 2, 5, 10, 15 or 30 s, the same in minutes, 1, 2, 3, 6 or
// 12 h) inside [start, end], the finest step whose labels stay apart: `plot_width` is the width
// the axis is drawn over and `char_width` that of one label character, in the same unit.
ChartTimeAxis ClockTimeAxis(double start, double end, double wall_origin, double plot_width,
                            double char_width);

// Ticks for a time axis counted from a run's start (seconds, not a clock): the same steps,
// labelled "h:mm:ss", the hours going on past a day.
ChartTimeAxis ElapsedTimeAxis(double start, double end, double plot_width, double char_width);
// "25:03:07" for seconds since a start.
std::string ElapsedText(double seconds);

// The span [start, end] as two labels for a picture's caption: the first with its date, the
// second with its own only when the span crosses midnight.
std::pair<std::string, std::string> ClockRange(double start, double end, double wall_origin);

}  // namespace cw::presentation
