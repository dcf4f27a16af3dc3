#include "gui/app_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace cw::gui {

QImage AppIconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);

  // Body and terminal of the cell.
  const QColor frame(0x20, 0x2A, 0x33);
  painter.setPen(Qt::NoPen);
  painter.setBrush(frame);
  painter.drawRoundedRect(QRectF(24, 3, 16, 6), 2, 2);
  painter.drawRoundedRect(QRectF(12, 7, 40, 54), 7, 7);
  painter.setBrush(QColor(0xE0, 0xE0, 0xE0));
  painter.drawRoundedRect(QRectF(17, 12, 30, 44), 4, 4);

  // Charge levels, green over the grey of the empty part.
  const QColor green(0x00, 0xBF, 0x7F);
  painter.setBrush(green);
  for (int level = 0; level < 3; ++level) {
    painter.drawRoundedRect(QRectF(20, 44 - level * 10.5, 24, 8.5), 2, 2);
  }
  painter.setBrush(QColor(0xFF, 0x80, 0x80));
  painter.drawRoundedRect(QRectF(20, 44 - 3 * 10.5, 24, 8.5), 2, 2);

  // The gauge's lightning mark across the cell.
  QPainterPath bolt;
  bolt.moveTo(35, 14);
  bolt.lineTo(24, 35);
  bolt.lineTo(31, 35);
  bolt.lineTo(28, 54);
  bolt.lineTo(41, 30);
  bolt.lineTo(33.5, 30);
  bolt.closeSubpath();
  painter.setBrush(QColor(0xFF, 0xD0, 0x40));
  painter.setPen(QPen(frame, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(bolt);
  return image;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addPixmap(QPixmap::fromImage(AppIconImage(size)));
  return icon;
}

}  // namespace cw::gui
