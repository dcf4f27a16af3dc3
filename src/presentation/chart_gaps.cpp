#include "presentation/chart_gaps.h"

#include <algorithm>

namespace cw::presentation {
namespace {

// Never less: a full scan pass with the static-data refresh in it takes a few seconds.
constexpr double kShortestGapSeconds = 5.0;
// A pass may now and then take this many times its usual time (a retry, a busy bus).
constexpr double kSlowPassFactor = 4.0;
// Low and high of two neighbouring slices may lie almost two slices apart.
constexpr double kSliceFactor = 2.5;

double MedianSpacing(std::span<const monitor::ChartPoint> points) {
  if (points.size() < 2) return 0;
  std::vector<double> spacing;
  spacing.reserve(points.size() - 1);
  for (std::size_t i = 1; i < points.size(); ++i) {
    spacing.push_back(points[i].seconds - points[i - 1].seconds);
  }
  const auto middle = spacing.begin() + static_cast<std::ptrdiff_t>(spacing.size() / 2);
  std::nth_element(spacing.begin(), middle, spacing.end());
  return *middle;
}

}  // namespace

double ChartGapSeconds(std::span<const monitor::ChartPoint> points, double window_seconds,
                       std::size_t max_points) {
  const double slice =
      window_seconds / static_cast<double>(std::max<std::size_t>(1, max_points / 2));
  return std::max(
      {kShortestGapSeconds, kSliceFactor * slice, kSlowPassFactor * MedianSpacing(points)});
}

std::vector<std::span<const monitor::ChartPoint>> ChartSegments(
    std::span<const monitor::ChartPoint> points, double gap_seconds) {
  std::vector<std::span<const monitor::ChartPoint>> segments;
  std::size_t start = 0;
  for (std::size_t i = 1; i <= points.size(); ++i) {
    if (i == points.size() || points[i].seconds - points[i - 1].seconds > gap_seconds) {
      if (i > start) segments.push_back(points.subspan(start, i - start));
      start = i;
    }
  }
  return segments;
}

}  // namespace cw::presentation
