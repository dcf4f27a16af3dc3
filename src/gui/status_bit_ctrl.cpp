#include "gui/status_bit_ctrl.h"

#include <QPainter>

#include "gui/qt_text.h"
#include "monitor/sbs_session.h"
#include "monitor/status_display_data.h"

namespace cw::gui {
namespace {

using monitor::CellState;
using monitor::kCellColours;

QColor Rgb(std::uint32_t rgb) { return QColor::fromRgb(rgb); }

QColor CellColour(CellState state) {
  switch (state) {
    case CellState::kSet:
      return Rgb(kCellColours.set);
    case CellState::kClear:
      return Rgb(kCellColours.clear);
    case CellState::kNotRead:
      break;
  }
  return Rgb(kCellColours.not_read);
}

}  // namespace

StatusBitCtrl::StatusBitCtrl(std::size_t display, QWidget* parent)
    : QWidget(parent), display_(display), value_(monitor::kDisplayNotRead) {
  setObjectName("StatusBit_CTRL");
  setFixedSize(kWidth, kHeight);
  setAccessibleName(Q(monitor::kStatusDisplays[display].title));
}

void StatusBitCtrl::SetValue(std::int32_t value) {
  if (value == value_) return;
  value_ = value;
  update();
}

void StatusBitCtrl::paintEvent(QPaintEvent*) {
  const monitor::StatusDisplayDef& def = monitor::kStatusDisplays[display_];
  QPainter painter(this);
  painter.fillRect(rect(), Rgb(kCellColours.background));
  painter.setPen(Qt::black);

  QFont title_font = font();
  title_font.setPixelSize(11);
  title_font.setBold(true);
  painter.setFont(title_font);
  painter.drawText(QRect(2, 0, kWidth - 4, monitor::kUpperRowY), Qt::AlignLeft | Qt::AlignVCenter,
                   Q(monitor::SbsSession::DisplayTitle(display_)));

  QFont cell_font = font();
  cell_font.setPixelSize(9);
  painter.setFont(cell_font);
  for (int cell = 0; cell < 16; ++cell) {
    const int bit = 15 - cell;
    const int column = cell % 8;
    const int y = cell < 8 ? monitor::kUpperRowY : monitor::kLowerRowY;
    const QRect box(monitor::kCellX[column], y, monitor::kCellWidth - 1, monitor::kCellHeight);
    painter.fillRect(box, CellColour(monitor::SbsSession::Cell(value_, bit)));
    painter.drawRect(box);
    painter.drawText(box, Qt::AlignCenter, Q(def.bits[cell]));
  }
}

}  // namespace cw::gui
