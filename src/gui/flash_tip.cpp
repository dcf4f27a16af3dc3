#include "gui/flash_tip.h"

#include <QMouseEvent>
#include <QPainter>

#include "dataflash/bit_view.h"
#include "gui/product_colours.h"
#include "gui/qt_text.h"

namespace cw::gui {
namespace {

// Room around a name in its cell, and between the names and the cells.
constexpr int kNamePadding = 8;
constexpr int kRowGap = 3;
// A cell is this much higher than a line of text.
constexpr int kCellPadding = 8;

// What each cell's name needs, leftmost first.
std::vector<int> NameWidths(const dataflash::FlagRegister& flag, const QFontMetrics& metrics) {
  std::vector<int> widths;
  for (const dataflash::BitCell& cell : dataflash::BitCells(flag)) {
    widths.push_back(metrics.horizontalAdvance(Q(dataflash::BitName(flag, cell.bit))) +
                     kNamePadding);
  }
  return widths;
}

}  // namespace

FlashTip::FlashTip(QWidget* parent) : QWidget(parent) {
  setObjectName("FlashTip");
  setCursor(Qt::ArrowCursor);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  FitFont();
}

void FlashTip::FitFont() {
  least_width_ = LeastWidth();
  setFixedHeight(CellBottom() + 1);
  updateGeometry();
}

int FlashTip::NameHeight() const { return fontMetrics().height() + kRowGap; }

int FlashTip::CellBottom() const { return NameHeight() + fontMetrics().height() + kCellPadding; }

int FlashTip::LeastWidth() const {
  int least = dataflash::kWidestBitView;
  for (const dataflash::FlagRegister& flag : dataflash::kFlagRegisters) {
    const std::vector<int> widths = NameWidths(flag, fontMetrics());
    const auto cells = dataflash::FitBitCells(flag, dataflash::kWidestBitView, widths);
    // Scaled up to the widest picture, so that this register too gets its share.
    least = std::max(least, cells.back().right * dataflash::kWidestBitView /
                                dataflash::BitCells(flag).back().right);
  }
  return least;
}

QSize FlashTip::sizeHint() const { return {least_width_, CellBottom() + 1}; }

QSize FlashTip::minimumSizeHint() const { return sizeHint(); }

void FlashTip::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) FitFont();
  QWidget::changeEvent(event);
}

std::vector<dataflash::BitCell> FlashTip::Cells() const {
  if (!flag_) return {};
  return dataflash::FitBitCells(*flag_, width(), NameWidths(*flag_, fontMetrics()));
}

QRect FlashTip::Box(const dataflash::BitCell& cell) const {
  return {cell.left + 1, NameHeight(), cell.right - cell.left - 2, CellBottom() - NameHeight() - 1};
}

QRect FlashTip::CellRect(int bit) const {
  for (const dataflash::BitCell& cell : Cells()) {
    if (cell.bit == bit) return Box(cell);
  }
  return {};
}
void FlashTip::Show(const dataflash::FlagRegister& flag, std::int32_t value) {
  const bool same = flag_ && flag_->bit_view_id == flag.bit_view_id && value_ == value;
  if (!same) toggled_ = 0;
  flag_ = flag;
  value_ = value;
  setAccessibleName(Q(flag.name));
  update();
  if (!same) emit editedChanged();
}

void FlashTip::Clear() {
  flag_.reset();
  value_ = -1;
  toggled_ = 0;
  update();
  emit editedChanged();
}

std::optional<std::uint16_t> FlashTip::edited() const {
  if (!flag_ || value_ < 0 || toggled_ == 0) return std::nullopt;
  return static_cast<std::uint16_t>(value_ ^ toggled_);
}

void FlashTip::Revert() {
  toggled_ = 0;
  update();
  emit editedChanged();
}

void FlashTip::Toggle(int bit) {
  if (!flag_ || value_ < 0 || bit < 0 || bit >= dataflash::BitCount(*flag_)) return;
  toggled_ ^= static_cast<std::uint16_t>(1u << bit);
  update();
  emit editedChanged();
}

void FlashTip::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !flag_) return;
  const int y = static_cast<int>(event->position().y());
  if (y < NameHeight() || y >= CellBottom()) return;
  if (const auto bit = dataflash::BitAt(Cells(), static_cast<int>(event->position().x()))) {
    Toggle(*bit);
  }
  event->accept();
}

void FlashTip::paintEvent(QPaintEvent*) {
  if (!flag_ || value_ < 0) return;
  QPainter painter(this);
  painter.fillRect(rect(), QColor(kProductBackground));
  painter.setFont(TextFont());
  const std::uint32_t shown = static_cast<std::uint32_t>(value_) ^ toggled_;
  for (const dataflash::BitCell& cell : Cells()) {
    const QRect name_box(cell.left, 0, cell.right - cell.left, NameHeight());
    painter.setPen(Qt::black);
    painter.drawText(name_box, Qt::AlignCenter, Q(dataflash::BitName(*flag_, cell.bit)));

    const bool set = (shown >> cell.bit) & 1u;
    const QRect box = Box(cell);
    painter.fillRect(box, QColor(set ? kSetCell : kClearCell));
    const bool toggled = (toggled_ >> cell.bit) & 1u;
    painter.setPen(QPen(toggled ? QColor(kToggledOutline) : QColor(Qt::darkGray), toggled ? 2 : 1));
    painter.drawRect(box);
    painter.setPen(set ? Qt::white : Qt::black);
    painter.drawText(box, Qt::AlignCenter, set ? QStringLiteral("1") : QStringLiteral("0"));
  }
}

}  // namespace cw::gui
