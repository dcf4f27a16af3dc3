#include "gui/flash_tip.h"

#include <QMouseEvent>
#include <QPainter>

#include "dataflash/bit_view.h"
#include "gui/product_colours.h"
#include "gui/qt_text.h"

namespace cw::gui {
namespace {

constexpr int kNamePixels = 9;
constexpr int kRightMargin = 2;
constexpr int kWidestView = 713 + kRightMargin;

}  // namespace

FlashTip::FlashTip(QWidget* parent) : QWidget(parent) {
  setObjectName("FlashTip");
  setCursor(Qt::ArrowCursor);
  setFixedHeight(dataflash::kBitViewHeight);
  setMinimumWidth(kWidestView);
}

QSize FlashTip::sizeHint() const { return {kWidestView, dataflash::kBitViewHeight}; }

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
  if (y < dataflash::kBitCellTop || y >= dataflash::kBitCellBottom) return;
  if (const auto bit = dataflash::BitAt(*flag_, static_cast<int>(event->position().x()))) {
    Toggle(*bit);
  }
  event->accept();
}

void FlashTip::paintEvent(QPaintEvent*) {
  if (!flag_ || value_ < 0) return;
  QPainter painter(this);
  painter.fillRect(rect(), QColor(kProductBackground));
  const std::uint32_t shown = static_cast<std::uint32_t>(value_) ^ toggled_;
  QFont names = font();
  names.setPixelSize(kNamePixels);
  for (const dataflash::BitCell& cell : dataflash::BitCells(*flag_)) {
    const QRect name_box(cell.left, 0, cell.right - cell.left, dataflash::kBitCellTop);
    const QString name = Q(dataflash::BitName(*flag_, cell.bit));
    QFont fitted = names;
    // Narrow cells take their name a pixel smaller rather than cut it.
    while (QFontMetrics(fitted).horizontalAdvance(name) > name_box.width() - 2 &&
           fitted.pixelSize() > 6) {
      fitted.setPixelSize(fitted.pixelSize() - 1);
    }
    painter.setFont(fitted);
    painter.setPen(Qt::black);
    painter.drawText(name_box, Qt::AlignCenter, name);

    const bool set = (shown >> cell.bit) & 1u;
    const QRect box(cell.left + 1, dataflash::kBitCellTop, cell.right - cell.left - 2,
                    dataflash::kBitCellBottom - dataflash::kBitCellTop - 1);
    painter.fillRect(box, QColor(set ? kSetCell : kClearCell));
    const bool toggled = (toggled_ >> cell.bit) & 1u;
    painter.setPen(QPen(toggled ? QColor(kToggledOutline) : QColor(Qt::darkGray), toggled ? 2 : 1));
    painter.drawRect(box);
    painter.setFont(names);
    painter.setPen(set ? Qt::white : Qt::black);
    painter.drawText(box, Qt::AlignCenter, set ? QStringLiteral("1") : QStringLiteral("0"));
  }
}

}  // namespace cw::gui
