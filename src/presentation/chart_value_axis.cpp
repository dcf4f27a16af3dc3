#include "presentation/chart_value_axis.h"

#include <algorithm>
#include <cmath>

namespace cw::presentation {
namespace {

// Room added on each side, as a share of the values' span...
constexpr double kSpanMargin = 0.25;
// ...and at least this share of their size, so a steady value can wander a little.
constexpr double kSizeMargin = 0.02;
constexpr double kLeastMargin = 0.5;
// Values filling less than this share of the axis get a tighter one.
constexpr double kLooseShare = 0.25;

// A range around [low, high] on round numbers (1, 2 or 5 times a power of ten apart), about four
// steps long, so the labels read well.
ChartValueRange RoundRange(double low, double high) {
  const double rough = (high - low) / 4;
  const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
  double step = magnitude;
  for (double factor : {1.0, 2.0, 5.0, 10.0}) {
    step = factor * magnitude;
    if (step >= rough) break;
  }
  const double round_low = std::floor(low / step) * step;
  const double round_high = std::ceil(high / step) * step;
  return {round_low, round_high,
          static_cast<int>(std::lround((round_high - round_low) / step)) + 1};
}

}  // namespace

std::optional<ChartValueRange> NextChartValueRange(double low, double high, double shown_low,
                                                   double shown_high) {
  const bool inside = low >= shown_low && high <= shown_high;
  const bool loose =
      (high - low) < kLooseShare * (shown_high - shown_low) && (shown_high - shown_low) > 0;
  if (inside && !loose) return std::nullopt;
  const double margin =
      std::max({kSpanMargin * (high - low), kSizeMargin * std::max(std::abs(low), std::abs(high)),
                kLeastMargin});
  const ChartValueRange next = RoundRange(low - margin, high + margin);
  if (next.low == shown_low && next.high == shown_high) return std::nullopt;
  return next;
}

}  // namespace cw::presentation
