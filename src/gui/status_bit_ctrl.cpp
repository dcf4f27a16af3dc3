#include "gui/status_bit_ctrl.h"

#include <QPainter>
#include <array>

#include "gui/qt_text.h"
#include "monitor/sbs_session.h"
#include "monitor/status_display_data.h"

namespace cw::gui {
namespace {

using monitor::CellState;

constexpr QRgb kSetColour = 0xFF8080;      // light red
constexpr QRgb kClearColour = 0x00BF7F;    // green
constexpr QRgb kNotReadColour = 0xCFCFCF;  // grey
constexpr QRgb kBackground = 0xE0E0E0;

// The cells of the 356 x 49 picture: the title above, two rows of eight.
constexpr int kCellWidth = 44;
constexpr int kCellHeight = 16;
constexpr std::array<int, 8> kCellX = {0, 44, 89, 133, 178, 222, 267, 311};
constexpr int kUpperRowY = 15;
constexpr int kLowerRowY = 32;

QRect CellBox(int cell) {
  return {kCellX[static_cast<std::size_t>(cell % 8)], cell < 8 ? kUpperRowY : kLowerRowY,
          kCellWidth - 1, kCellHeight};
}

QColor CellColour(CellState state) {
  switch (state) {
    case CellState::kSet:
      return QColor(kSetColour);
    case CellState::kClear:
      return QColor(kClearColour);
    case CellState::kNotRead:
      break;
  }
  return QColor(kNotReadColour);
}

}  // namespace

StatusBitCtrl::StatusBitCtrl(std::size_t display, QWidget* parent)
    : QWidget(parent), display_(display), value_(monitor::kDisplayNotRead) {
  setObjectName("StatusBit_CTRL");
  setFixedSize(kWidth, kHeight);
  setAccessibleName(Q(monitor::kStatusDisplays[display].title));
}

QPoint StatusBitCtrl::CellCentre(int cell) { return CellBox(cell).center(); }

void StatusBitCtrl::SetValue(std::int32_t value) {
  if (value == value_) return;
  value_ = value;
  update();
}

void StatusBitCtrl::paintEvent(QPaintEvent*) {
  const monitor::StatusDisplayDef& def = monitor::kStatusDisplays[display_];
  QPainter painter(this);
  painter.fillRect(rect(), QColor(kBackground));
  painter.setPen(Qt::black);

  QFont title_font = font();
  title_font.setPixelSize(11);
  title_font.setBold(true);
  painter.setFont(title_font);
  painter.drawText(QRect(2, 0, kWidth - 4, kUpperRowY), Qt::AlignLeft | Qt::AlignVCenter,
                   Q(monitor::SbsSession::DisplayTitle(display_)));

  QFont cell_font = font();
  cell_font.setPixelSize(9);
  painter.setFont(cell_font);
  for (int cell = 0; cell < 16; ++cell) {
    const QRect box = CellBox(cell);
    painter.fillRect(box, CellColour(monitor::SbsSession::Cell(value_, 15 - cell)));
    painter.drawRect(box);
    painter.drawText(box, Qt::AlignCenter, Q(def.bits[cell]));
  }
}

}  // namespace cw::gui
