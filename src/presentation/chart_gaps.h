#pragma once

#include <span>
#include <vector>

#include "monitor/chart_samples.h"

namespace cw::presentation {

// A chart line is drawn only where the register was read: consecutive points farther apart than
// this leave a gap (a lost adapter, the scan off, a tool window holding the bus) instead of a
// straight ramp that no reading ever showed. The bound is generous enough for the points of a
// thinned-out window (each slice of time gives its lowest and highest sample) and for a slow scan
// of many rows.
double ChartGapSeconds(std::span<const monitor::ChartPoint> points, double window_seconds,
                       std::size_t max_points);

// The runs of `points` that are drawn as one line each, in time order.
std::vector<std::span<const monitor::ChartPoint>> ChartSegments(
    std::span<const monitor::ChartPoint> points, double gap_seconds);

}  // namespace cw::presentation
