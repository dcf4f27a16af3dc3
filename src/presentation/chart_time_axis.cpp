#include "presentation/chart_time_axis.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace cw::presentation {
namespace {

constexpr double kDay = 86'400;
constexpr std::array<double, 17> kSteps = {1,   2,   5,    10,   15,   30,    60,    120,  300,
                                           600, 900, 1800, 3600, 7200, 10800, 21600, 43200};
constexpr std::size_t kTimeChars = 8;   // 23:59:59
constexpr std::size_t kDateChars = 11;  // 2026-12-08 and a space
// Room between two labels, in characters, so they read as two.
constexpr double kLabelGapChars = 3;

double Wall(double seconds, double wall_origin) { return wall_origin + seconds; }

long long Day(double wall) { return static_cast<long long>(std::floor(wall / kDay)); }

std::string Label(double wall, bool with_date) {
  // The wall clock counts local seconds from a local midnight, so it reads as UTC.
  const std::time_t whole = static_cast<std::time_t>(std::floor(wall + 1e-6));
  std::tm parts{};
  gmtime_r(&whole, &parts);
  std::array<char, 32> text{};
  const std::size_t length =
      std::strftime(text.data(), text.size(), with_date ? "%Y-%m-%d %H:%M:%S" : "%H:%M:%S", &parts);
  return std::string(text.data(), length);
}

// The finest step whose labels, `label_chars` wide, stay apart.
double StepFor(double start, double end, double plot_width, double label_chars, double char_width) {
  const double label_width = (label_chars + kLabelGapChars) * char_width;
  const double pixels_per_second = plot_width / (end - start);
  for (double step : kSteps) {
    if (step * pixels_per_second >= label_width) return step;
  }
  return kSteps.back();
}

}  // namespace

double LocalWallSeconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  return static_cast<double>(now.tv_sec + local.tm_gmtoff) + static_cast<double>(now.tv_nsec) / 1e9;
}

ChartTimeAxis ClockTimeAxis(double start, double end, double wall_origin, double plot_width,
                            double char_width) {
  ChartTimeAxis axis;
  if (!(end > start) || !(plot_width > 0)) return axis;
  const double first_wall = Wall(start, wall_origin);
  const double last_wall = Wall(end, wall_origin);
  const bool with_date = Day(first_wall) != Day(last_wall);
  axis.step_seconds =
      StepFor(start, end, plot_width,
              static_cast<double>(kTimeChars + (with_date ? kDateChars : 0)), char_width);
  // Multiples of the step counted from midnight: every step divides a day.
  const double first_tick = std::ceil(first_wall / axis.step_seconds - 1e-9);
  for (double k = first_tick; k * axis.step_seconds <= last_wall + 1e-9; ++k) {
    const double wall = k * axis.step_seconds;
    axis.ticks.push_back({wall - wall_origin, Label(wall, with_date)});
  }
  return axis;
}

std::string ElapsedText(double seconds) {
  const auto rounded = static_cast<long long>(std::llround(seconds));
  const long long whole = std::llabs(rounded);
  std::array<char, 32> text{};
  std::snprintf(text.data(), text.size(), "%s%lld:%02lld:%02lld", rounded < 0 ? "-" : "",
                whole / 3600, whole / 60 % 60, whole % 60);
  return text.data();
}

ChartTimeAxis ElapsedTimeAxis(double start, double end, double plot_width, double char_width) {
  ChartTimeAxis axis;
  if (!(end > start) || !(plot_width > 0)) return axis;
  // "123:59:59" at most: a log of days.
  constexpr double kElapsedChars = 9;
  axis.step_seconds = StepFor(start, end, plot_width, kElapsedChars, char_width);
  const double first_tick = std::ceil(start / axis.step_seconds - 1e-9);
  for (double k = first_tick; k * axis.step_seconds <= end + 1e-9; ++k) {
    axis.ticks.push_back({k * axis.step_seconds, ElapsedText(k * axis.step_seconds)});
  }
  return axis;
}

std::pair<std::string, std::string> ClockRange(double start, double end, double wall_origin) {
  const double first_wall = Wall(start, wall_origin);
  const double last_wall = Wall(end, wall_origin);
  return {Label(first_wall, true), Label(last_wall, Day(first_wall) != Day(last_wall))};
}

}  // namespace cw::presentation
