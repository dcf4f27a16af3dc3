#pragma once

#include <QColor>
#include <QImage>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "presentation/chart_time_axis.h"
#include "presentation/chart_value_axis.h"
#include "presentation/run_chart.h"

namespace cw::gui {

// One line of the offline chart: a register of a run, as thinned out for the plot's width.
struct RunPlotLine {
  QString legend;
  QColor colour;
  Qt::PenStyle style = Qt::SolidLine;
  std::size_t axis = 0;  // index into the plot's value axes
  std::vector<std::vector<presentation::PlotPoint>> segments;
};

// A value axis: one per unit, in the colour of its first line.
struct RunPlotAxis {
  QString unit;
  QColor colour;
  presentation::ChartValueRange range;
};

// The offline chart's drawing: the lines, a time axis below, value axes alternately left and
// right (outwards from the plot), the legend above, and the cursor. It paints what it is given
// and reports the mouse in the chart's time: the wheel zooms at the pointer, a drag pans, a click
// puts the cursor; Home shows all, + and - zoom, the arrows pan.
class RunPlot final : public QWidget {
 public:
  explicit RunPlot(QWidget* parent = nullptr);

  std::function<void(double x, double factor)> on_zoom;
  std::function<void(double seconds)> on_pan;
  std::function<void(double x)> on_cursor;
  std::function<void()> on_show_all;

  // The time shown, its ticks and title, and the cursor; the lines stay as they are (they are in
  // the chart's time, so a pan moves them at once, before they are thinned again).
  void SetView(presentation::TimeSpan span, presentation::ChartTimeAxis ticks, QString time_title,
               std::optional<double> cursor);
  // The lines and their value axes.
  void SetLines(std::vector<RunPlotLine> lines, std::vector<RunPlotAxis> axes);
  const std::vector<RunPlotLine>& lines() const { return lines_; }
  const std::vector<RunPlotAxis>& axes() const { return axes_; }
  // Where the lines are drawn, in the widget (for `lines` and `axes` as they would be set).
  QRectF PlotArea(std::size_t axis_count) const;
  // The chart at `scale` times its size, `caption` above it (antialiased, for reports).
  QImage Picture(int scale, const QStringList& caption) const;
  // The chart's time at a pixel column of the widget.
  double TimeAt(double pixel) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Everything but the plot, in widget pixels, for a picture `size` wide with `caption_lines`
  // above.
  struct Frame {
    QRectF plot;
    double caption_height = 0;
  };
  Frame Layout(QSizeF size, std::size_t axis_count, int caption_lines) const;
  double LegendHeight(double width) const;
  void Paint(QPainter& painter, QSizeF size, const QStringList& caption, bool smooth) const;

  presentation::TimeSpan span_{0, 1};
  presentation::ChartTimeAxis ticks_;
  QString time_title_;
  std::vector<RunPlotLine> lines_;
  std::vector<RunPlotAxis> axes_;
  std::optional<double> cursor_;
  double press_x_ = 0;
  double last_x_ = 0;
  bool dragging_ = false;
};

}  // namespace cw::gui
