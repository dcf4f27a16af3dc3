#pragma once

#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/job_worker.h"
#include "gui/run_plot.h"
#include "presentation/run_chart.h"

class QComboBox;
class QListWidget;
class QListWidgetItem;

namespace cw::gui {

// Data logs looked at afterwards, without an adapter: one or more logs the product wrote, read on
// a worker of the window's own, drawn over each other (each run in its own line style, its file
// name in the legend), aligned at their start or at the clock. The wheel zooms at the pointer, a
// drag pans, a click puts a cursor that reads every shown register of every run; Export PNG
// saves the picture as the live chart does. Every rule is presentation::RunChart's.
//
// Thinning a day of rows for twenty registers takes longer than a frame, so it runs on a second
// worker of the window's own, on a copy of the chart: input moves the plot at once with the lines
// it has, the worker thins for the view as it stands, and the plot takes its lines when they come.
// One thinning runs at a time; input that comes meanwhile is thinned for once it is done.
class RunViewer final : public QWidget {
  Q_OBJECT

 public:
  explicit RunViewer(QWidget* parent = nullptr);
  ~RunViewer() override;

  // Reads the files on the window's worker; each opens in the chart once read. A file that is no
  // data log is named with its line at fault in the window's status line.
  void Open(const QStringList& paths);
  // The file dialog, then Open.
  void AskOpen();
  // Files given to Open that are still being read.
  int reading() const { return reading_; }
  // Lines for the view as it stands are still to come.
  bool thinning() const { return drawn_version_ != view_version_; }

  const presentation::RunChart& chart() const { return chart_; }
  RunPlot& plot() const { return *plot_; }
  QListWidget& register_list() const { return *list_; }
  QComboBox& alignment_choice() const { return *alignment_; }
  QLabel& status() const { return *status_; }
  QLabel& cursor_readout() const { return *readout_; }
  // The legend's entries, in order.
  QStringList LegendNames() const;
  // The runs of line drawn for plotted line `index` (run by run, registers in order).
  int SegmentCount(std::size_t index) const;

  // What the mouse asks, in the chart's time.
  void SetCursorAt(double x);
  void ZoomAt(double x, double factor);
  void PanBy(double seconds);
  void ShowAll();
  // Thins out the lines for the plot's width and hands them to it now, on the calling thread (for
  // a picture that must show the view as it stands; input has them thinned on the worker).
  void Redraw();
  bool ExportPng(const QString& path);

 signals:
  // A file was read and opened, or refused.
  void fileRead();
  // The plot holds the lines thinned for the view as it stands.
  void linesDrawn();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Opened(std::shared_ptr<const presentation::ChartRun> run);
  void Refused(const QString& message);
  void ShowStatus();
  void FillRegisterList();
  void OnItemChanged(QListWidgetItem* item);
  void OnAlignment(int index);
  void AskPng();
  // What a thinning is for: a copy of the chart as it stood, the units of its lines (an axis
  // each, whose number sets the plot's width) and the width.
  struct LinesRequest {
    presentation::RunChart chart;
    std::vector<std::string> units;
    int width = 1;
    unsigned view = 0;
    unsigned lines = 0;
  };
  LinesRequest Request() const;
  // The view changed: the span, the width, or (`lines_changed`) which lines there are.
  void RedrawSoon(bool lines_changed = false);
  void Refresh();
  void Thin();
  void Thinned(const LinesRequest& request, std::vector<presentation::PlottedSeries> plotted);
  void ShowLines(const LinesRequest& request, std::vector<presentation::PlottedSeries> plotted);
  void ShowView();
  void ShowReadout();
  QString RunName(std::size_t run) const;
  QStringList PictureCaption() const;

  presentation::RunChart chart_;
  int reading_ = 0;
  QStringList errors_;
  std::optional<double> cursor_;
  // The value axis shown for each unit: it moves only when the values leave it or shrink well
  // inside it, so that a pan does not make the scale jump.
  std::map<std::string, presentation::ChartValueRange> value_ranges_;
  QListWidget* list_;
  QComboBox* alignment_;
  QLabel* status_;
  QLabel* readout_;
  RunPlot* plot_;
  QTimer redraw_;
  // Counts every change of the view; `lines_version_` only those that change which lines there
  // are (runs, registers, alignment), after which older lines are not drawn again.
  unsigned view_version_ = 0;
  unsigned lines_version_ = 0;
  unsigned drawn_version_ = 0;
  bool thinning_ = false;
  // Last: their threads end before anything they report to is gone.
  common::JobWorker reader_;
  common::JobWorker thinner_;
};

}  // namespace cw::gui
