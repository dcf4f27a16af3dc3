#include "gui/page_button.h"

#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace cw::gui {

PageButton::PageButton(const QString& label, QWidget* parent) : QAbstractButton(parent) {
  setText(label);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
  setAccessibleName(label);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void PageButton::SetSelected(bool selected) {
  if (selected == selected_) return;
  selected_ = selected;
  update();
}

void PageButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void PageButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

void PageButton::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF plate = QRectF(rect()).adjusted(2, 2, -2, -2);
  painter.setPen(selected_ ? QPen(QColor(0xE0, 0x10, 0x10), 3) : QPen(Qt::NoPen));
  painter.setBrush(QColor(0x10, 0x10, 0x10));
  painter.drawRoundedRect(plate, 5, 5);

  QFont label_font = font();
  label_font.setBold(true);
  label_font.setPointSizeF(label_font.pointSizeF() * (hovered_ ? 0.95 : 1.05));
  painter.setFont(label_font);
  painter.setPen(hovered_ ? QColor(0xFF, 0x30, 0x30) : QColor(Qt::white));
  painter.drawText(plate, Qt::AlignCenter, text());

  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(5, 5, -5, -5);
    focus.backgroundColor = QColor(0x10, 0x10, 0x10);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

}  // namespace cw::gui
