#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "monitor/run_log.h"

namespace cw::presentation {

// The offline chart of data logs read back, without its drawing: which runs are open and how
// they are laid side by side, which registers are shown, the span of time shown (zoom and pan),
// the lines to draw for a plot so many pixels wide, and what a cursor at one time reads.

// Where runs meet on the time axis: each at its first row (the axis counts the time since the
// start), or at the clock time each was logged (the axis is the clock).
enum class RunAlignment { kStart, kClock };

struct TimeSpan {
  double start = 0;
  double end = 0;
  double length() const { return end - start; }
  bool operator==(const TimeSpan&) const = default;
};

struct PlotPoint {
  double x = 0;  // on the chart's time axis
  double y = 0;
  bool operator==(const PlotPoint&) const = default;
};

// The rows where a line breaks: a value not read, or a row more than `gap_seconds` after the row
// before it (the logging stopped in between). Few in a run, so thinning scans the rows between
// them without asking each row.
std::vector<std::size_t> BreakRows(std::span<const double> times, std::span<const double> values,
                                   double gap_seconds);

// The lines of one column of one run over [shown.start, shown.end] on the chart's time axis (a
// row's x is its clock time plus `offset`), for a plot `pixel_columns` wide. Each pixel column
// keeps its first, lowest, highest and last value, in time order, so that no spike is lost
// however many rows fall into it. A line breaks where a value was not read and where two rows
// lie more than `gap_seconds` apart; a point each side of the span continues the line to the
// plot's edge. `breaks`, when given, is BreakRows of the same rows (made here when not).
std::vector<std::vector<PlotPoint>> DecimateRun(std::span<const double> times,
                                                std::span<const double> values, double offset,
                                                TimeSpan shown, int pixel_columns,
                                                double gap_seconds,
                                                const std::vector<std::size_t>* breaks = nullptr);

// The row nearest `time` if it lies within `tolerance` of it (times in order).
std::optional<std::size_t> RowNear(std::span<const double> times, double time, double tolerance);

// The usual spacing of a run's rows (the median), 0 with fewer than two rows. Rows farther apart
// than a few of these leave a gap in the line: the logging stopped in between.
double UsualInterval(const monitor::RunLog& run);

// A run made ready for the chart: its usual spacing of rows, the spacing beyond which its lines
// break, and BreakRows of every column with numbers. Made once, where the run is read (off the GUI
// thread), and shared from then on by every chart that shows it and every copy of one.
struct ChartRun {
  std::shared_ptr<const monitor::RunLog> log;
  double interval = 0;
  double gap_seconds = 0;
  std::map<std::string, std::vector<std::size_t>, std::less<>> breaks;
};
std::shared_ptr<const ChartRun> PrepareChartRun(std::shared_ptr<const monitor::RunLog> log);

// The lines of one shown register of one run.
struct PlottedSeries {
  std::size_t run = 0;
  std::string name;
  std::string unit;
  std::vector<std::vector<PlotPoint>> segments;
  // Lowest and highest value drawn; none when the span holds no value read.
  std::optional<double> low;
  std::optional<double> high;
};

// A cursor's reading of one shown register of one run.
struct CursorReading {
  std::size_t run = 0;
  std::string name;
  std::string unit;
  // The row read: its clock time; none when the run has no row near the cursor.
  std::optional<double> time;
  // The value as the lists show it; empty when the row has the value unread.
  std::string text;
  std::optional<double> value;
};

// A chart is cheap to copy (its runs are shared, never changed) and Plot and ReadAt change
// nothing, so a copy can thin the lines on another thread while this one moves on.
class RunChart {
 public:
  // Zooming in stops at this span: a log has at most one row a second.
  static constexpr double kShortestSpanSeconds = 10;

  // The run is drawn with the others from now on; the first run's default registers are shown,
  // and the whole of every run.
  void AddRun(std::shared_ptr<const ChartRun> run);
  void Clear();
  std::size_t run_count() const { return runs_.size(); }
  const monitor::RunLog& run(std::size_t index) const { return *runs_[index]->log; }

  // Registers with numbers to plot, of every run: the first run's order, then those only later
  // runs have.
  std::vector<std::string> Registers() const;
  void Show(const std::string& name, bool shown);
  bool shown(const std::string& name) const;
  const std::vector<std::string>& shown_registers() const { return shown_; }

  void SetAlignment(RunAlignment alignment);
  RunAlignment alignment() const { return alignment_; }
  // Chart x of a run's row = its clock time + this.
  double Offset(std::size_t run) const;

  // All of every run on the time axis.
  TimeSpan Extent() const;
  TimeSpan span() const { return span_; }
  void ShowAll() { span_ = Extent(); }
  // `factor` below 1 zooms in, above 1 out, keeping `x` where it is; never shorter than
  // kShortestSpanSeconds nor longer than the extent.
  void ZoomAt(double x, double factor);
  // Moves the span by `seconds`, never beyond the extent.
  void PanBy(double seconds);
  void SetSpan(TimeSpan span);

  // The lines of every shown register of every run over the span, for a plot `pixel_columns`
  // wide: run by run, registers in the order shown.
  std::vector<PlottedSeries> Plot(int pixel_columns) const;
  // What every shown register of every run reads at `x`: the nearest row within one usual
  // interval.
  std::vector<CursorReading> ReadAt(double x) const;

 private:
  TimeSpan Clamped(TimeSpan span) const;

  std::vector<std::shared_ptr<const ChartRun>> runs_;
  std::vector<std::string> shown_;
  RunAlignment alignment_ = RunAlignment::kStart;
  TimeSpan span_;
};

// Whether a column has numbers to plot.
bool Plottable(const monitor::LogColumn& column);

}  // namespace cw::presentation
