#include "gui/link_banner_label.h"

#include <QPainter>
#include <algorithm>

#include "gui/product_colours.h"

namespace cw::gui {

LinkBannerLabel::LinkBannerLabel(QWidget* parent) : QLabel(parent) {
  setObjectName("link_banner");
  setContentsMargins(6, 0, 6, 0);
}

bool LinkBannerLabel::SetRoom(int width) {
  width = std::max(width, 0);
  if (width == room_) return false;
  room_ = width;
  updateGeometry();
  return true;
}

QSize LinkBannerLabel::sizeHint() const {
  const QMargins margins = contentsMargins();
  // Whole pixels; the text's own width has a fraction, which would cut its last letter.
  const int text = fontMetrics().horizontalAdvance(this->text()) + 1;
  return {std::min(text + margins.left() + margins.right(), room_),
          fontMetrics().height() + margins.top() + margins.bottom()};
}

QSize LinkBannerLabel::minimumSizeHint() const { return {0, sizeHint().height()}; }

void LinkBannerLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(kBannerBackground));
  const QRect room = contentsRect();
  painter.setPen(Qt::black);
  painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
                   fontMetrics().elidedText(text(), Qt::ElideRight, room.width()));
}

}  // namespace cw::gui
