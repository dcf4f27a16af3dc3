#pragma once

#include <QLabel>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <string>

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
  // Thins out the lines for the plot's width and hands them to it now (input asks for it on the
  // next turn of the event loop, so a fast drag redraws once per turn).
  void Redraw();
  bool ExportPng(const QString& path);

 signals:
  // A file was read and opened, or refused.
  void fileRead();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Opened(std::shared_ptr<const monitor::RunLog> run);
  void Refused(const QString& message);
  void ShowStatus();
  void FillRegisterList();
  void OnItemChanged(QListWidgetItem* item);
  void OnAlignment(int index);
  void AskPng();
  void RedrawSoon();
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
  // Last: its thread ends before anything it reports to is gone.
  common::JobWorker reader_;
};

}  // namespace cw::gui
