#pragma once

#include <array>
#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "common/front_end.h"
#include "monitor/register_table.h"
#include "monitor/scan_engine.h"

namespace cw::monitor {

struct ChartPoint {
  double seconds = 0;  // since the chart started
  double value = 0;
  bool operator==(const ChartPoint&) const = default;
};

struct ChartSeriesView {
  RowRef row;
  std::string name;
  std::string unit;
  std::vector<ChartPoint> points;  // in time order, at most the asked number
  double min = 0;                  // of every sample in the window, not only the points
  double max = 0;
};

struct ChartView {
  double start_seconds = 0;
  double end_seconds = 0;
  // The time axis to draw: as long as the window, ending at the window's end rounded up to the
  // next tenth of the window. It moves in those steps rather than with every sample, since
  // moving it lays the whole chart out again. A chart younger than its window still shows the
  // whole window, the part before its start empty, so "15 min" always reads as 15 minutes.
  double axis_start = 0;
  double axis_end = 0;
  std::vector<ChartSeriesView> series;  // the shown series, in table order
};

// The live chart of the SBS page without its drawing: which register rows are plotted, the
// samples the scan delivers for them, the time window shown, pause, and the CSV of what is
// shown. Samples arrive on the scan worker (each row as it is read) and are stamped with the
// workbench's clock; the front end reads View() from its own thread.
class ChartSamples {
 public:
  static constexpr std::array<std::string_view, 5> kDefaultSeries = {
      "Voltage", "Current", "Temperature", "TS1 Temperature", "Relative State of Charge"};
  static constexpr std::array<common::Millis, 4> kWindows = {
      common::Millis{60'000}, common::Millis{300'000}, common::Millis{900'000},
      common::Millis{3'600'000}};
  static constexpr common::Millis kDefaultWindow{60'000};
  // Samples kept per series: the longest window at well over one read a second, so a fast scan
  // (or the virtual clock) can never grow the buffer without end.
  static constexpr std::size_t kMaxSamples = 100'000;

  ChartSamples(ScanEngine& engine, const common::Clock& clock);
  ~ChartSamples();
  ChartSamples(const ChartSamples&) = delete;
  ChartSamples& operator=(const ChartSamples&) = delete;

  // Rows with a number to plot: every register row of tables A to C except the text rows.
  static std::vector<RowRef> ChartableRows(const RegisterTable& table);

  // A series starts empty when it is shown and forgets its samples when it is hidden. Rows that
  // cannot be plotted are refused.
  bool Show(RowRef row, bool shown);
  bool shown(RowRef row) const;
  std::vector<RowRef> shown_rows() const;

  // One of kWindows; others are refused.
  bool SetWindow(common::Millis window);
  common::Millis window() const;

  // A paused chart keeps showing the window that ended when it paused; samples still arrive.
  void SetPaused(bool paused);
  bool paused() const;

  // The shown series over the window (from the chart's start while it is younger), each with at
  // most `max_points` points: where a series has more samples, each pair of points is the lowest
  // and highest of one slice of time, so a spike stays visible.
  ChartView View(std::size_t max_points) const;
  // Every sample of the shown window as CSV: a header row "Time (s)" and one column per series
  // with its unit, then one line per scan pass (a line ends when a series repeats).
  std::string Csv() const;

  // A sample arrived for a shown series (on the scan worker's thread).
  common::Observers<>& changes() { return changes_; }

 private:
  struct Series {
    RowRef row;
    std::string name;
    std::string unit;
    std::deque<ChartPoint> samples;
  };

  void Record(RowRef row, const SbsRegisterDef& def);
  double Seconds(common::Millis time) const;
  // The window's end: now, or the moment the chart paused.
  double EndSeconds() const;

  const common::Clock& clock_;
  const common::Millis origin_;
  mutable std::mutex mutex_;
  std::vector<Series> series_;
  common::Millis window_ = kDefaultWindow;
  bool paused_ = false;
  double paused_at_ = 0;
  common::Observers<> changes_;
  ScanEngine& engine_;
  // Last: no sample arrives once anything above is gone.
  common::Subscription scan_rows_;
};

}  // namespace cw::monitor
