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

// The rows of one pixel column that are drawn: first, lowest, highest and last.
class PixelColumn {
 public:
  bool empty() const { return first_ == kNone; }
  void Start(std::size_t row, double value) {
    first_ = low_ = high_ = last_ = row;
    low_value_ = high_value_ = value;
  }
  void Add(std::size_t row, double value) {
    last_ = row;
    if (value < low_value_) {
      low_ = row;
      low_value_ = value;
    }
    if (value > high_value_) {
      high_ = row;
      high_value_ = value;
    }
  }
  // Rows after the first, whose lowest and highest are `low` and `high` and whose last is `last`.
  void AddRows(std::size_t low, double low_value, std::size_t high, double high_value,
               std::size_t last) {
    last_ = last;
    if (low_value < low_value_) {
      low_ = low;
      low_value_ = low_value;
    }
    if (high_value > high_value_) {
      high_ = high;
      high_value_ = high_value;
    }
  }
  // Appends the column's rows to `line` in time order, each once, and empties the column.
  void Flush(std::span<const double> times, std::span<const double> values, double offset,
             std::vector<PlotPoint>& line) {
    if (empty()) return;
    std::array<std::size_t, 4> rows = {first_, low_, high_, last_};
    std::sort(rows.begin(), rows.end());
    const auto end = std::unique(rows.begin(), rows.end());
    for (auto at = rows.begin(); at != end; ++at) {
      line.push_back({times[*at] + offset, values[*at]});
    }
    first_ = kNone;
  }

 private:
  static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::size_t first_ = kNone;
  std::size_t low_ = kNone;
  std::size_t high_ = kNone;
  std::size_t last_ = kNone;
  double low_value_ = 0;
  double high_value_ = 0;
};

}  // namespace

bool Plottable(const monitor::LogColumn& column) {
  return column.kind == monitor::LogColumnKind::kNumber;
}

std::vector<RowBlock> SummariseRows(std::span<const double> times, std::span<const double> values,
                                    double gap_seconds) {
  constexpr std::size_t kRows = RowBlock::kBlockRows;
  std::vector<RowBlock> blocks(values.size() / kRows);
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    RowBlock& block = blocks[b];
    const std::size_t first = b * kRows;
    block.whole = true;
    block.low = block.high = static_cast<std::uint32_t>(first);
    for (std::size_t row = first; row < first + kRows; ++row) {
      if (std::isnan(values[row]) || (row > first && times[row] - times[row - 1] > gap_seconds)) {
        block.whole = false;
        break;
      }
      if (values[row] < values[block.low]) block.low = static_cast<std::uint32_t>(row);
      if (values[row] > values[block.high]) block.high = static_cast<std::uint32_t>(row);
    }
  }
  return blocks;
}

std::vector<std::vector<PlotPoint>> DecimateRun(std::span<const double> times,
                                                std::span<const double> values, double offset,
                                                TimeSpan shown, int pixel_columns,
                                                double gap_seconds,
                                                std::span<const RowBlock> blocks) {
  constexpr std::size_t kRows = RowBlock::kBlockRows;
  std::vector<std::vector<PlotPoint>> lines;
  if (times.empty() || pixel_columns <= 0 || !(shown.length() > 0)) return lines;
  auto first = static_cast<std::size_t>(
      std::lower_bound(times.begin(), times.end(), shown.start - offset) - times.begin());
  auto last = static_cast<std::size_t>(
      std::upper_bound(times.begin(), times.end(), shown.end - offset) - times.begin());
  // One row each side carries the line to the plot's edges.
  if (first > 0) --first;
  if (last < times.size()) ++last;
  const double column_width = shown.length() / pixel_columns;
  std::vector<PlotPoint> line;
  PixelColumn column;
  long long column_index = 0;
  // The current pixel column's span on the rows' own clock: most rows fall into the column of
  // the row before, and need no division to know it.
  double column_start = 0;
  double column_end = -std::numeric_limits<double>::infinity();
  const auto end_line = [&] {
    column.Flush(times, values, offset, line);
    if (!line.empty()) lines.push_back(std::move(line));
    line.clear();
  };
  // A whole block from `row` whose rows all fall into the current pixel column joins it at once.
  const auto take_block = [&](std::size_t& row) {
    if (row % kRows != 0 || row / kRows >= blocks.size() || row + kRows > last) return;
    const RowBlock& block = blocks[row / kRows];
    const std::size_t block_last = row + kRows - 1;
    if (!block.whole || times[block_last] >= column_end) return;
    column.AddRows(block.low, values[block.low], block.high, values[block.high], block_last);
    row = block_last;
  };
  for (std::size_t row = first; row < last; ++row) {
    const double value = values[row];
    if (std::isnan(value)) {
      end_line();
      continue;
    }
    if (row > first && times[row] - times[row - 1] > gap_seconds) end_line();
    const double time = times[row];
    if (!column.empty() && time >= column_start && time < column_end) {
      column.Add(row, value);
      take_block(row);
      continue;
    }
    const auto index =
        static_cast<long long>(std::floor((time + offset - shown.start) / column_width));
    if (column.empty() || index != column_index) {
      column.Flush(times, values, offset, line);
      column.Start(row, value);
      column_index = index;
      column_start = shown.start - offset + static_cast<double>(index) * column_width;
      column_end = column_start + column_width;
    } else {
      column.Add(row, value);
    }
    take_block(row);
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

void RunChart::AddRun(std::shared_ptr<const monitor::RunLog> run) {
  const double interval = UsualInterval(*run);
  const double gap = interval > 0 ? kGapFactor * interval : std::numeric_limits<double>::infinity();
  runs_.push_back({std::move(run), gap, interval});
  if (runs_.size() == 1) {
    const monitor::RunLog& first = *runs_.front().log;
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
  for (const Run& run : runs_) {
    for (const monitor::LogColumn& column : run.log->columns) {
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
  const monitor::RunLog& log = *runs_[run].log;
  if (alignment_ == RunAlignment::kClock || log.times.empty()) return 0;
  return -log.times.front();
}

TimeSpan RunChart::Extent() const {
  std::optional<TimeSpan> extent;
  for (std::size_t i = 0; i < runs_.size(); ++i) {
    const monitor::RunLog& log = *runs_[i].log;
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
    const Run& run = runs_[r];
    for (const std::string& name : shown_) {
      const monitor::LogColumn* column = run.log->Find(name);
      if (column == nullptr) continue;
      PlottedSeries series{r, name, column->unit, {}, std::nullopt, std::nullopt};
      auto blocks = run.blocks.find(name);
      if (blocks == run.blocks.end()) {
        blocks = run.blocks
                     .emplace(name, SummariseRows(run.log->times, column->values, run.gap_seconds))
                     .first;
      }
      series.segments = DecimateRun(run.log->times, column->values, Offset(r), span_, pixel_columns,
                                    run.gap_seconds, blocks->second);
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
    const Run& run = runs_[r];
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
