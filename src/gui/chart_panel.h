#pragma once

#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/front_end.h"
#include "gui/change_relay.h"
#include "monitor/chart_samples.h"
#include "presentation/chart_time_axis.h"

class QCheckBox;
class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSettings;
class QChart;
class QChartView;
class QLineSeries;
class QCategoryAxis;
class QValueAxis;

namespace cw::gui {

// The SBS page's live chart: the registers ticked in the list beside it, plotted against the
// local clock over the chosen window, with pause and export of what is shown (CSV of the samples,
// PNG of the picture). The samples and every rule about them are monitor::ChartSamples', the
// ticks of the time axis presentation::ClockTimeAxis'.
class ChartPanel final : public QWidget {
  Q_OBJECT

 public:
  ChartPanel(monitor::ScanEngine& engine, const common::Clock& clock, common::MessageSink& messages,
             QWidget* parent = nullptr);
  ~ChartPanel() override;

  monitor::ChartSamples& samples() { return samples_; }
  QChart* chart() const { return chart_; }
  QChartView& view() const { return *view_; }
  QPushButton& pause_button() const { return *pause_; }
  QComboBox& window_choice() const { return *window_; }
  // The time axis as drawn: its ticks in the chart's seconds and their clock labels.
  const presentation::ChartTimeAxis& time_ticks() const { return time_ticks_; }
  // The samples' second the last redraw showed as now (or as the pause).
  double drawn_until() const { return drawn_until_; }
  // The caption of an exported picture: the title, then the span of time the chart shows.
  QStringList PictureCaption() const;
  // The series list marks rows that are ticked but not scanned.
  void RefreshSeriesList();
  // Redraws from the samples (also while hidden, for a caller that wants the picture now).
  void Redraw();
  // The runs of line drawn for the shown series `index` (more than one where it has gaps).
  int SegmentCount(std::size_t index) const;
  // The registers shown and the window, kept for the next run.
  void SaveChoice(QSettings& settings) const;
  void RestoreChoice(const QSettings& settings);
  bool ExportCsv(const QString& path);
  // The chart at twice its size on the screen, with the caption above it.
  bool ExportPng(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildSeriesList();
  void OnItemChanged(QListWidgetItem* item);
  void OnPause(bool paused);
  void OnWindow(int index);
  void AskCsv();
  void AskPng();
  void Rebuild(const monitor::ChartView& view);
  void ShowTimeAxis(const monitor::ChartView& view);
  // A new run of line for the shown series `index`, drawn like its first one.
  QLineSeries* AddSegment(std::size_t index);
  QColor SeriesColour(monitor::RowRef row) const;

  monitor::ScanEngine& engine_;
  common::MessageSink& messages_;
  monitor::ChartSamples samples_;
  // The local clock at the samples' second 0; right after them, so the two agree.
  const double wall_origin_;
  ChangeRelay relay_;
  // Moves the time axis on with the clock while no sample comes (an adapter whose reads wait
  // out their time-out, a scan switched off): the chart never looks as if time stood still.
  QTimer clock_tick_;
  QListWidget* list_;
  QPushButton* pause_;
  QComboBox* window_;
  QChart* chart_;
  QChartView* view_;
  QCategoryAxis* time_axis_;
  presentation::ChartTimeAxis time_ticks_;
  double drawn_until_ = 0;
  // Per shown series, its runs of line; the first one carries the legend entry.
  std::vector<std::vector<QLineSeries*>> lines_;
  std::vector<monitor::RowRef> series_rows_;
  std::map<std::string, QValueAxis*> unit_axes_;
};

}  // namespace cw::gui
