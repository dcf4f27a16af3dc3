#include "presentation/run_chart.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "monitor/chart_samples.h"

namespace cw::presentation {
namespace {

// A row may come late now and then (a busy PC, a stamp rounded to the second) without making a
// gap; more than this many usual intervals apart, the logging stopped in between.
constexpr double kGapFactor = 2.5;

// Appends rows [from, to) of one pixel column, all read, to `line`: the first, lowest, highest
// and last (the first of equals), in time order, each once.
void AppendColumn(std::span<const double> times, std::span<const double> values, double offset,
                  std::size_t from, std::size_t to, std::vector<PlotPoint>& line) {
  std::size_t low = from;
  std::size_t high = from;
  for (std::size_t row = from + 1; row < to; ++row) {
    if (values[row] < values[low]) low = row;
    if (values[row] > values[high]) high = row;
  }
  std::array<std::size_t, 4> rows = {from, low, high, to - 1};
  std::sort(rows.begin(), rows.end());
  const auto end = std::unique(rows.begin(), rows.end());
  for (auto at = rows.begin(); at != end; ++at) line.push_back({times[*at] + offset, values[*at]});
}

}  // namespace

bool Plottable(const monitor::LogColumn& column) {
  return column.kind == monitor::LogColumnKind::kNumber;
}

std::vector<std::size_t> BreakRows(std::span<const double> times, std::span<const double> values,
                                   double gap_seconds) {
  std::vector<std::size_t> breaks;
  for (std::size_t row = 0; row < values.size(); ++row) {
    if (std::isnan(values[row]) || (row > 0 && times[row] - times[row - 1] > gap_seconds)) {
      breaks.push_back(row);
    }
  }
  return breaks;
}

std::vector<std::vector<PlotPoint>> DecimateRun(std::span<const double> times,
                                                std::span<const double> values, double offset,
                                                TimeSpan shown, int pixel_columns,
                                                double gap_seconds,
                                                const std::vector<std::size_t>* breaks) {
  std::vector<std::vector<PlotPoint>> lines;
  if (times.empty() || pixel_columns <= 0 || !(shown.length() > 0)) return lines;
  std::vector<std::size_t> own_breaks;
  if (breaks == nullptr) {
    own_breaks = BreakRows(times, values, gap_seconds);
    breaks = &own_breaks;
  }
  auto first = static_cast<std::size_t>(
      std::lower_bound(times.begin(), times.end(), shown.start - offset) - times.begin());
  auto last = static_cast<std::size_t>(
      std::upper_bound(times.begin(), times.end(), shown.end - offset) - times.begin());
  // One row each side carries the line to the plot's edges.
  if (first > 0) --first;
  if (last < times.size()) ++last;
  const double column_width = shown.length() / pixel_columns;
  const auto column_of = [&](std::size_t row) {
    return static_cast<long long>(std::floor((times[row] + offset - shown.start) / column_width));
  };
  std::vector<PlotPoint> line;
  const auto end_line = [&] {
    if (!line.empty()) lines.push_back(std::move(line));
    line.clear();
  };
  auto next_break = std::lower_bound(breaks->begin(), breaks->end(), first);
  for (std::size_t row = first; row < last;) {
    if (next_break != breaks->end() && *next_break == row) {
      ++next_break;
      end_line();
      if (std::isnan(values[row])) {
        ++row;
        continue;
      }
    }
    // The rows of this pixel column up to the next break: found by their time, then settled by
    // the rule that placed the first, so that a rounding never puts a row into two columns.
    const long long index = column_of(row);
    const double column_end = shown.start - offset + static_cast<double>(index + 1) * column_width;
    auto end = static_cast<std::size_t>(
        std::lower_bound(times.begin() + static_cast<std::ptrdiff_t>(row) + 1,
                         times.begin() + static_cast<std::ptrdiff_t>(last), column_end) -
        times.begin());
    while (end < last && column_of(end) == index) ++end;
    while (end > row + 1 && column_of(end - 1) != index) --end;
    if (next_break != breaks->end()) end = std::min(end, *next_break);
    AppendColumn(times, values, offset, row, end, line);
    row = end;
  }
  end_line();
  return lines;
}

std::optional<std::size_t> RowNear(std::span<const double> times, double time, double tolerance) {
  if (times.empty()) return std::nullopt;
  const auto after = std::lower_bound(times.begin(), times.end(), time);
  auto nearest = after;
  if (after == times.end() || (after != times.begin() && time - *(after - 1) <= *after - time)) {
    nearest = after - 1;
  }
  if (std::abs(*nearest - time) > tolerance) return std::nullopt;
  return static_cast<std::size_t>(nearest - times.begin());
}

double UsualInterval(const monitor::RunLog& run) {
  if (run.rows() < 2) return 0;
  std::vector<double> spacing(run.rows() - 1);
  for (std::size_t i = 1; i < run.rows(); ++i) spacing[i - 1] = run.times[i] - run.times[i - 1];
  const auto middle = spacing.begin() + static_cast<std::ptrdiff_t>(spacing.size() / 2);
  std::nth_element(spacing.begin(), middle, spacing.end());
  return *middle;
}

std::shared_ptr<const ChartRun> PrepareChartRun(std::shared_ptr<const monitor::RunLog> log) {
  auto run = std::make_shared<ChartRun>();
  run->interval = UsualInterval(*log);
  run->gap_seconds =
      run->interval > 0 ? kGapFactor * run->interval : std::numeric_limits<double>::infinity();
  for (const monitor::LogColumn& column : log->columns) {
    if (Plottable(column)) {
      run->breaks.emplace(column.name, BreakRows(log->times, column.values, run->gap_seconds));
    }
  }
  run->log = std::move(log);
  return run;
}

void RunChart::AddRun(std::shared_ptr<const ChartRun> run) {
  runs_.push_back(std::move(run));
  if (runs_.size() == 1) {
    const monitor::RunLog& first = *runs_.front()->log;
    for (std::string_view name : monitor::ChartSamples::kDefaultSeries) {
      const monitor::LogColumn* column = first.Find(name);
      if (column != nullptr && Plottable(*column)) shown_.emplace_back(name);
    }
    if (shown_.empty()) {
      const std::vector<std::string> registers = Registers();
      if (!registers.empty()) shown_.push_back(registers.front());
    }
  }
  ShowAll();
}

void RunChart::Clear() {
  runs_.clear();
  shown_.clear();
  span_ = {};
}

std::vector<std::string> RunChart::Registers() const {
  std::vector<std::string> names;
  for (const auto& run : runs_) {
    for (const monitor::LogColumn& column : run->log->columns) {
      if (Plottable(column) && std::find(names.begin(), names.end(), column.name) == names.end()) {
        names.push_back(column.name);
      }
    }
  }
  return names;
}

void RunChart::Show(const std::string& name, bool shown) {
  const auto at = std::find(shown_.begin(), shown_.end(), name);
  if (!shown && at != shown_.end()) shown_.erase(at);
  if (!shown || at != shown_.end()) return;
  // In the order of the register list, whatever order they were ticked in.
  const std::vector<std::string> order = Registers();
  const auto rank = [&](const std::string& register_name) {
    return std::find(order.begin(), order.end(), register_name) - order.begin();
  };
  const auto place = std::find_if(shown_.begin(), shown_.end(), [&](const std::string& other) {
    return rank(other) > rank(name);
  });
  shown_.insert(place, name);
}

bool RunChart::shown(const std::string& name) const {
  return std::find(shown_.begin(), shown_.end(), name) != shown_.end();
}

void RunChart::SetAlignment(RunAlignment alignment) {
  alignment_ = alignment;
  ShowAll();
}

double RunChart::Offset(std::size_t run) const {
  const monitor::RunLog& log = *runs_[run]->log;
  if (alignment_ == RunAlignment::kClock || log.times.empty()) return 0;
  return -log.times.front();
}

TimeSpan RunChart::Extent() const {
  std::optional<TimeSpan> extent;
  for (std::size_t i = 0; i < runs_.size(); ++i) {
    const monitor::RunLog& log = *runs_[i]->log;
    if (log.times.empty()) continue;
    const TimeSpan run{log.times.front() + Offset(i), log.times.back() + Offset(i)};
    extent =
        extent ? TimeSpan{std::min(extent->start, run.start), std::max(extent->end, run.end)} : run;
  }
  if (!extent) return {0, kShortestSpanSeconds};
  if (extent->length() < kShortestSpanSeconds) extent->end = extent->start + kShortestSpanSeconds;
  return *extent;
}

TimeSpan RunChart::Clamped(TimeSpan span) const {
  const TimeSpan extent = Extent();
  const double length = std::clamp(span.length(), kShortestSpanSeconds, extent.length());
  double start = std::clamp(span.start, extent.start, extent.end - length);
  if (!std::isfinite(start)) start = extent.start;
  return {start, start + length};
}

void RunChart::ZoomAt(double x, double factor) {
  if (!(factor > 0)) return;
  const double length =
      std::clamp(span_.length() * factor, kShortestSpanSeconds, Extent().length());
  // The point under the mouse stays under it.
  const double share = span_.length() > 0 ? (x - span_.start) / span_.length() : 0.5;
  const double start = x - share * length;
  span_ = Clamped({start, start + length});
}

void RunChart::PanBy(double seconds) {
  span_ = Clamped({span_.start + seconds, span_.end + seconds});
}

void RunChart::SetSpan(TimeSpan span) { span_ = Clamped(span); }

std::vector<PlottedSeries> RunChart::Plot(int pixel_columns) const {
  std::vector<PlottedSeries> plotted;
  for (std::size_t r = 0; r < runs_.size(); ++r) {
    const ChartRun& run = *runs_[r];
    for (const std::string& name : shown_) {
      const monitor::LogColumn* column = run.log->Find(name);
      if (column == nullptr) continue;
      PlottedSeries series{r, name, column->unit, {}, std::nullopt, std::nullopt};
      const auto breaks = run.breaks.find(name);
      series.segments =
          DecimateRun(run.log->times, column->values, Offset(r), span_, pixel_columns,
                      run.gap_seconds, breaks == run.breaks.end() ? nullptr : &breaks->second);
      for (const auto& segment : series.segments) {
        for (const PlotPoint& point : segment) {
          series.low = std::min(series.low.value_or(point.y), point.y);
          series.high = std::max(series.high.value_or(point.y), point.y);
        }
      }
      plotted.push_back(std::move(series));
    }
  }
  return plotted;
}

std::vector<CursorReading> RunChart::ReadAt(double x) const {
  std::vector<CursorReading> readings;
  for (std::size_t r = 0; r < runs_.size(); ++r) {
    const ChartRun& run = *runs_[r];
    const auto row = RowNear(run.log->times, x - Offset(r), run.interval);
    for (const std::string& name : shown_) {
      const monitor::LogColumn* column = run.log->Find(name);
      if (column == nullptr) continue;
      CursorReading reading{r, name, column->unit, std::nullopt, {}, std::nullopt};
      if (row) {
        reading.time = run.log->times[*row];
        if (column->read(*row)) {
          reading.value = column->values[*row];
          reading.text = monitor::LogValueText(*column, *reading.value);
        }
      }
      readings.push_back(std::move(reading));
    }
  }
  return readings;
}

}  // namespace cw::presentation
