#include "monitor/chart_samples.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "monitor/csv_text.h"
#include "monitor/value_conversion.h"

namespace cw::monitor {
namespace {

constexpr std::string_view kTimeHeading = "Time (s)";
constexpr double kLongestWindowSeconds = ChartSamples::kWindows.back().count() / 1000.0;

bool Plottable(const SbsRegisterDef& row) { return row.format != "%s"; }

bool Before(RowRef a, RowRef b) {
  return std::tuple(a.table, a.index) < std::tuple(b.table, b.index);
}

// Temperatures are shown to a tenth of a degree; every other register is a whole number.
int Decimals(std::string_view format) { return format.find(".1f") != std::string_view::npos; }

std::string Heading(std::string_view name, std::string_view unit) {
  if (unit.empty() || unit == "-") return std::string(name);
  return fmt::format("{} ({})", name, unit);
}

// Appends the samples of `range` to `out`, at most `max_points` of them: the lowest and the
// highest of each slice of time when there are more.
void Decimate(std::span<const ChartPoint> range, double start, double end, std::size_t max_points,
              std::vector<ChartPoint>& out) {
  if (range.size() <= max_points) {
    out.assign(range.begin(), range.end());
    return;
  }
  const std::size_t slices = std::max<std::size_t>(1, max_points / 2);
  const double width = (end - start) / static_cast<double>(slices);
  std::size_t next = 0;
  for (std::size_t slice = 0; slice < slices && next < range.size(); ++slice) {
    const double slice_end = slice + 1 == slices ? end : start + width * (slice + 1);
    const ChartPoint* low = nullptr;
    const ChartPoint* high = nullptr;
    for (; next < range.size() && range[next].seconds <= slice_end; ++next) {
      const ChartPoint& point = range[next];
      if (low == nullptr || point.value < low->value) low = &point;
      if (high == nullptr || point.value > high->value) high = &point;
    }
    if (low == nullptr) continue;
    if (low == high) {
      out.push_back(*low);
    } else if (low->seconds <= high->seconds) {
      out.push_back(*low);
      out.push_back(*high);
    } else {
      out.push_back(*high);
      out.push_back(*low);
    }
  }
}

}  // namespace

ChartSamples::ChartSamples(ScanEngine& engine, const common::Clock& clock)
    : clock_(clock), origin_(clock.Now()), engine_(engine) {
  const auto defaults = engine_.WithTable([](const RegisterTable& table) {
    std::vector<RowRef> rows;
    for (std::string_view name : kDefaultSeries) {
      if (const auto ref = table.Find(name)) rows.push_back(*ref);
    }
    return rows;
  });
  for (RowRef row : defaults) Show(row, true);
  scan_rows_ = engine_.changes().Subscribe(
      [this](RowRef row, const SbsRegisterDef& def) { Record(row, def); });
}

ChartSamples::~ChartSamples() { scan_rows_.Reset(); }

std::vector<RowRef> ChartSamples::ChartableRows(const RegisterTable& table) {
  std::vector<RowRef> rows;
  for (TableId id : kScanTables) {
    const auto defs = table.rows(id);
    for (std::size_t i = 0; i < defs.size(); ++i) {
      if (Plottable(defs[i])) rows.push_back({id, i});
    }
  }
  return rows;
}

bool ChartSamples::Show(RowRef row, bool shown) {
  if (row.table == TableId::kD) return false;
  struct Found {
    bool plottable;
    std::string name;
    std::string unit;
  };
  const Found found = engine_.WithTable([&](const RegisterTable& table) {
    const SbsRegisterDef& def = table.row(row);
    return Found{Plottable(def), std::string(def.name), std::string(def.unit)};
  });
  if (!found.plottable) return false;
  std::lock_guard lock(mutex_);
  const auto at = std::find_if(series_.begin(), series_.end(),
                               [&](const Series& series) { return series.row == row; });
  if (!shown) {
    if (at != series_.end()) series_.erase(at);
    return true;
  }
  if (at != series_.end()) return true;
  const auto place = std::find_if(series_.begin(), series_.end(),
                                  [&](const Series& series) { return Before(row, series.row); });
  series_.insert(place, Series{row, found.name, found.unit, {}});
  return true;
}

bool ChartSamples::shown(RowRef row) const {
  std::lock_guard lock(mutex_);
  return std::any_of(series_.begin(), series_.end(),
                     [&](const Series& series) { return series.row == row; });
}

std::vector<RowRef> ChartSamples::shown_rows() const {
  std::lock_guard lock(mutex_);
  std::vector<RowRef> rows;
  for (const Series& series : series_) rows.push_back(series.row);
  return rows;
}

bool ChartSamples::SetWindow(common::Millis window) {
  if (std::find(kWindows.begin(), kWindows.end(), window) == kWindows.end()) return false;
  std::lock_guard lock(mutex_);
  window_ = window;
  return true;
}

common::Millis ChartSamples::window() const {
  std::lock_guard lock(mutex_);
  return window_;
}

void ChartSamples::SetPaused(bool paused) {
  const double now = Seconds(clock_.Now());
  std::lock_guard lock(mutex_);
  if (paused && !paused_) paused_at_ = now;
  paused_ = paused;
}

bool ChartSamples::paused() const {
  std::lock_guard lock(mutex_);
  return paused_;
}

double ChartSamples::Seconds(common::Millis time) const {
  return static_cast<double>((time - origin_).count()) / 1000.0;
}

double ChartSamples::EndSeconds() const { return paused_ ? paused_at_ : Seconds(clock_.Now()); }

void ChartSamples::Record(RowRef row, const SbsRegisterDef& def) {
  const auto value = NumericValue(def);
  if (!value) return;
  const double now = Seconds(clock_.Now());
  {
    std::lock_guard lock(mutex_);
    const auto at = std::find_if(series_.begin(), series_.end(),
                                 [&](const Series& series) { return series.row == row; });
    if (at == series_.end()) return;
    at->unit = std::string(def.unit);
    auto& samples = at->samples;
    samples.push_back({now, *value});
    while (samples.size() > kMaxSamples ||
           (!samples.empty() && samples.front().seconds < now - kLongestWindowSeconds)) {
      samples.pop_front();
    }
  }
  changes_.Notify();
}

ChartView ChartSamples::View(std::size_t max_points) const {
  std::lock_guard lock(mutex_);
  ChartView view;
  view.end_seconds = EndSeconds();
  const double window = static_cast<double>(window_.count()) / 1000.0;
  // A chart younger than its window fills the plot from its first moment.
  view.start_seconds = std::max(0.0, view.end_seconds - window);
  constexpr double kAxisSteps = 10;
  const double step = window / kAxisSteps;
  view.axis_end = std::ceil(view.end_seconds / step) * step;
  view.axis_start = view.axis_end - window;
  std::vector<ChartPoint> range;
  for (const Series& series : series_) {
    ChartSeriesView shown{series.row, series.name, series.unit, {}, 0, 0};
    const auto first = std::lower_bound(
        series.samples.begin(), series.samples.end(), view.start_seconds,
        [](const ChartPoint& point, double seconds) { return point.seconds < seconds; });
    const auto last = std::upper_bound(
        first, series.samples.end(), view.end_seconds,
        [](double seconds, const ChartPoint& point) { return seconds < point.seconds; });
    range.assign(first, last);
    if (!range.empty()) {
      const auto [low, high] = std::minmax_element(
          range.begin(), range.end(),
          [](const ChartPoint& a, const ChartPoint& b) { return a.value < b.value; });
      shown.min = low->value;
      shown.max = high->value;
    }
    Decimate(range, view.start_seconds, view.end_seconds, max_points, shown.points);
    view.series.push_back(std::move(shown));
  }
  return view;
}

std::string ChartSamples::Csv() const {
  const ChartView view = View(kMaxSamples);
  std::vector<int> decimals;
  std::vector<std::string> fields{std::string(kTimeHeading)};
  engine_.WithTable([&](const RegisterTable& table) {
    for (const ChartSeriesView& series : view.series) {
      decimals.push_back(Decimals(table.row(series.row).format));
      fields.push_back(Heading(series.name, series.unit));
    }
  });
  std::string csv = CsvLine(fields);

  struct Sample {
    double seconds;
    std::size_t series;
    double value;
  };
  std::vector<Sample> samples;
  for (std::size_t i = 0; i < view.series.size(); ++i) {
    for (const ChartPoint& point : view.series[i].points) {
      samples.push_back({point.seconds, i, point.value});
    }
  }
  std::stable_sort(samples.begin(), samples.end(),
                   [](const Sample& a, const Sample& b) { return a.seconds < b.seconds; });

  // One line per scan pass: the pass reads each series once, so a series that already has a
  // value on the line starts the next one.
  std::vector<std::string> line(view.series.size());
  std::vector<bool> filled(view.series.size(), false);
  double line_time = 0;
  bool open = false;
  const auto flush = [&] {
    fields.assign(1, fmt::format("{:.3f}", line_time));
    fields.insert(fields.end(), line.begin(), line.end());
    csv += CsvLine(fields);
    std::fill(line.begin(), line.end(), std::string());
    std::fill(filled.begin(), filled.end(), false);
  };
  for (const Sample& sample : samples) {
    if (open && filled[sample.series]) {
      flush();
      open = false;
    }
    if (!open) line_time = sample.seconds;
    open = true;
    filled[sample.series] = true;
    line[sample.series] = fmt::format("{:.{}f}", sample.value, decimals[sample.series]);
  }
  if (open) flush();
  return csv;
}

}  // namespace cw::monitor
