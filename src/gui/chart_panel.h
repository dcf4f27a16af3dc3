#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/front_end.h"
#include "gui/change_relay.h"
#include "monitor/chart_samples.h"

class QCheckBox;
class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSettings;
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;

namespace cw::gui {

// The SBS page's live chart: the registers ticked in the list beside it, plotted against the
// clock over the chosen window, with pause and export of what is shown (CSV of the samples, PNG
// of the picture). The samples and every rule about them are monitor::ChartSamples'.
class ChartPanel final : public QWidget {
  Q_OBJECT

 public:
  ChartPanel(monitor::ScanEngine& engine, const common::Clock& clock, common::MessageSink& messages,
             QWidget* parent = nullptr);
  ~ChartPanel() override;

  monitor::ChartSamples& samples() { return samples_; }
  QChart* chart() const { return chart_; }
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
  bool ExportPng(const QString& path);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void BuildSeriesList();
  void OnItemChanged(QListWidgetItem* item);
  void OnPause(bool paused);
  void OnWindow(int index);
  void AskCsv();
  void AskPng();
  void Rebuild(const monitor::ChartView& view);
  // A new run of line for the shown series `index`, drawn like its first one.
  QLineSeries* AddSegment(std::size_t index);
  QColor SeriesColour(monitor::RowRef row) const;

  monitor::ScanEngine& engine_;
  common::MessageSink& messages_;
  monitor::ChartSamples samples_;
  ChangeRelay relay_;
  QListWidget* list_;
  QPushButton* pause_;
  QComboBox* window_;
  QChart* chart_;
  QChartView* view_;
  QValueAxis* time_axis_;
  // Per shown series, its runs of line; the first one carries the legend entry.
  std::vector<std::vector<QLineSeries*>> lines_;
  std::vector<monitor::RowRef> series_rows_;
  std::map<std::string, QValueAxis*> unit_axes_;
};

}  // namespace cw::gui
