#pragma once

#include <optional>

namespace cw::presentation {

// A value axis of the live chart: from `low` to `high` with `ticks` labels on round numbers.
struct ChartValueRange {
  double low = 0;
  double high = 0;
  int ticks = 0;
  bool operator==(const ChartValueRange&) const = default;
};

// The range to show for values from `low` to `high` on an axis now showing [shown_low,
// shown_high], or nothing when it should stay: the axis moves only when the values leave it or
// fill less than a quarter of it, and then with room to spare on both sides, since every move
// lays the whole chart out again and a drifting value would otherwise move it at every sample.
std::optional<ChartValueRange> NextChartValueRange(double low, double high, double shown_low,
                                                   double shown_high);

}  // namespace cw::presentation
