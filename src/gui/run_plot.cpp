#include "gui/run_plot.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "gui/qt_text.h"

namespace cw::gui {
namespace {

constexpr double kLegendSample = 24;
constexpr double kLegendGap = 16;
// A click that moves less than this is a click, not a drag.
constexpr double kDragPixels = 4;
// One notch of the wheel shows this share of the span.
constexpr double kWheelZoom = 0.8;
constexpr double kKeyPanShare = 0.1;
const QColor kGrid(0xE4, 0xE4, 0xE4);
const QColor kFrame(0xA0, 0xA0, 0xA0);
const QColor kCursor(0x30, 0x30, 0x30);

double Ratio(double value, double low, double high) {
  return high > low ? (value - low) / (high - low) : 0.5;
}

}  // namespace

RunPlot::RunPlot(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(320, 200);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void RunPlot::SetView(presentation::TimeSpan span, presentation::ChartTimeAxis ticks,
                      QString time_title, std::optional<double> cursor) {
  span_ = span;
  ticks_ = std::move(ticks);
  time_title_ = std::move(time_title);
  cursor_ = cursor;
  update();
}

void RunPlot::SetLines(std::vector<RunPlotLine> lines, std::vector<RunPlotAxis> axes) {
  lines_ = std::move(lines);
  axes_ = std::move(axes);
  update();
}

double RunPlot::LegendHeight(double width) const {
  if (lines_.empty()) return 0;
  const QFontMetricsF metrics(font());
  double x = 0;
  int rows = 1;
  for (const RunPlotLine& line : lines_) {
    const double entry = kLegendSample + 4 + metrics.horizontalAdvance(line.legend) + kLegendGap;
    if (x > 0 && x + entry > width - 8) {
      ++rows;
      x = 0;
    }
    x += entry;
  }
  return rows * (metrics.height() + 2) + 4;
}

RunPlot::Frame RunPlot::Layout(QSizeF size, std::size_t axis_count, int caption_lines) const {
  const QFontMetricsF metrics(font());
  const double line = metrics.height();
  Frame frame;
  frame.caption_height = caption_lines > 0 ? caption_lines * (line + 2) + 6 : 0;
  const double axis_width = metrics.horizontalAdvance("-0000000") + 10;
  const double left = static_cast<double>((axis_count + 1) / 2) * axis_width + 6;
  const double right = static_cast<double>(axis_count / 2) * axis_width + 12;
  const double top = frame.caption_height + LegendHeight(size.width()) + line + 6;
  const double bottom = 2 * line + 10;
  frame.plot = QRectF(left, top, std::max(10.0, size.width() - left - right),
                      std::max(10.0, size.height() - top - bottom));
  return frame;
}

QRectF RunPlot::PlotArea(std::size_t axis_count) const {
  return Layout(size(), axis_count, 0).plot;
}

double RunPlot::TimeAt(double pixel) const {
  const QRectF plot = PlotArea(axes_.size());
  return span_.start + (pixel - plot.left()) / plot.width() * span_.length();
}

void RunPlot::Paint(QPainter& painter, QSizeF size, const QStringList& caption, bool smooth) const {
  const QFontMetricsF metrics(font());
  const double line_height = metrics.height();
  const Frame frame = Layout(size, axes_.size(), static_cast<int>(caption.size()));
  const QRectF plot = frame.plot;
  painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
  painter.setFont(font());
  painter.setRenderHint(QPainter::TextAntialiasing, true);

  for (qsizetype i = 0; i < caption.size(); ++i) {
    painter.setPen(Qt::black);
    painter.drawText(
        QRectF(0, 4 + static_cast<double>(i) * (line_height + 2), size.width(), line_height),
        Qt::AlignHCenter, caption[i]);
  }

  // The legend: a sample of each line and its name, in rows.
  double x = 4;
  double y = frame.caption_height + 2;
  for (const RunPlotLine& line : lines_) {
    const double entry = kLegendSample + 4 + metrics.horizontalAdvance(line.legend) + kLegendGap;
    if (x > 4 && x + entry > size.width() - 8) {
      x = 4;
      y += line_height + 2;
    }
    painter.setPen(QPen(line.colour, 2, line.style));
    painter.drawLine(QPointF(x, y + line_height / 2),
                     QPointF(x + kLegendSample, y + line_height / 2));
    painter.setPen(Qt::black);
    painter.drawText(QPointF(x + kLegendSample + 4, y + metrics.ascent()), line.legend);
    x += entry;
  }

  const auto pixel_x = [&](double seconds) {
    return plot.left() + Ratio(seconds, span_.start, span_.end) * plot.width();
  };
  // The time axis: a grid line and a label at each tick.
  for (const presentation::ChartTick& tick : ticks_.ticks) {
    const double at = pixel_x(tick.seconds);
    painter.setPen(kGrid);
    painter.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom()));
    const QString label = Q(tick.label);
    const double width = metrics.horizontalAdvance(label);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(std::clamp(at - width / 2, 0.0, size.width() - width),
                             plot.bottom() + 4 + metrics.ascent()),
                     label);
  }
  painter.drawText(QRectF(plot.left(), plot.bottom() + line_height + 6, plot.width(), line_height),
                   Qt::AlignHCenter, time_title_);

  // The value axes, outwards from the plot: left, right, left, ...
  const double axis_width = metrics.horizontalAdvance("-0000000") + 10;
  for (std::size_t k = 0; k < axes_.size(); ++k) {
    const RunPlotAxis& axis = axes_[k];
    const bool left = k % 2 == 0;
    const double level = static_cast<double>(k / 2);
    const double at = left ? plot.left() - level * axis_width : plot.right() + level * axis_width;
    painter.setPen(axis.colour);
    painter.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom()));
    const int ticks = std::max(2, axis.range.ticks);
    for (int i = 0; i < ticks; ++i) {
      const double value =
          axis.range.low + (axis.range.high - axis.range.low) * i / static_cast<double>(ticks - 1);
      const double tick_y =
          plot.bottom() - Ratio(value, axis.range.low, axis.range.high) * plot.height();
      if (k == 0) {
        painter.setPen(kGrid);
        painter.drawLine(QPointF(plot.left(), tick_y), QPointF(plot.right(), tick_y));
      }
      painter.setPen(axis.colour);
      const QString label = QString::number(value, 'g', 6);
      const double width = metrics.horizontalAdvance(label);
      painter.drawText(QPointF(left ? at - 4 - width : at + 4, tick_y + metrics.ascent() / 2 - 1),
                       label);
    }
    const double title_width = metrics.horizontalAdvance(axis.unit);
    painter.drawText(QPointF(left ? at - title_width : at, plot.top() - 4), axis.unit);
  }
  painter.setPen(kFrame);
  painter.drawRect(plot);

  // The lines, clipped to the plot.
  painter.save();
  painter.setClipRect(plot);
  painter.setRenderHint(QPainter::Antialiasing, smooth);
  QPolygonF polyline;
  for (const RunPlotLine& line : lines_) {
    if (line.axis >= axes_.size()) continue;
    const presentation::ChartValueRange& range = axes_[line.axis].range;
    QPen pen(line.colour, smooth ? 1.5 : 1.0, line.style);
    for (const auto& segment : line.segments) {
      polyline.clear();
      polyline.reserve(static_cast<qsizetype>(segment.size()));
      for (const presentation::PlotPoint& point : segment) {
        polyline.append({pixel_x(point.x),
                         plot.bottom() - Ratio(point.y, range.low, range.high) * plot.height()});
      }
      if (polyline.size() == 1) {
        // A value read alone between two gaps: a dot, since a line needs two.
        painter.setPen(QPen(line.colour, 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawPoint(polyline.front());
        continue;
      }
      painter.setPen(pen);
      painter.drawPolyline(polyline);
    }
  }
  if (cursor_ && *cursor_ >= span_.start && *cursor_ <= span_.end) {
    painter.setPen(QPen(kCursor, 1));
    painter.drawLine(QPointF(pixel_x(*cursor_), plot.top()),
                     QPointF(pixel_x(*cursor_), plot.bottom()));
  }
  painter.restore();
}

void RunPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter, size(), {}, false);
}

QImage RunPlot::Picture(int scale, const QStringList& caption) const {
  QImage picture(size() * scale, QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.scale(scale, scale);
  Paint(painter, size(), caption, true);
  return picture;
}

void RunPlot::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches != 0 && on_zoom)
    on_zoom(TimeAt(event->position().x()), std::pow(kWheelZoom, notches));
  event->accept();
}

void RunPlot::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  press_x_ = last_x_ = event->position().x();
  dragging_ = false;
}

void RunPlot::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return QWidget::mouseMoveEvent(event);
  const double x = event->position().x();
  if (!dragging_ && std::abs(x - press_x_) < kDragPixels) return;
  dragging_ = true;
  const double seconds_per_pixel = span_.length() / PlotArea(axes_.size()).width();
  if (on_pan) on_pan(-(x - last_x_) * seconds_per_pixel);
  last_x_ = x;
}

void RunPlot::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  if (!dragging_ && on_cursor) on_cursor(TimeAt(event->position().x()));
  dragging_ = false;
}

void RunPlot::keyPressEvent(QKeyEvent* event) {
  const double middle = (span_.start + span_.end) / 2;
  switch (event->key()) {
    case Qt::Key_Home:
      if (on_show_all) on_show_all();
      return;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      if (on_zoom) on_zoom(middle, 0.5);
      return;
    case Qt::Key_Minus:
      if (on_zoom) on_zoom(middle, 2);
      return;
    case Qt::Key_Left:
      if (on_pan) on_pan(-kKeyPanShare * span_.length());
      return;
    case Qt::Key_Right:
      if (on_pan) on_pan(kKeyPanShare * span_.length());
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

}  // namespace cw::gui
