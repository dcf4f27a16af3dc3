#pragma once

#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

#include "dataflash/bit_view.h"
#include "dataflash/page_layout.h"

namespace cw::gui {

// "FlashTip": the bit view of one flag register. The bit names over the cells, then one cell per
// bit: filled when the bit is set, open when it is clear. A click toggles a bit; toggled bits
// are outlined until the value is written or reverted. Names and digits are in the window's
// own font: the view takes the width it is given, and never less than its names need.
class FlashTip final : public QWidget {
  Q_OBJECT

 public:
  static constexpr QRgb kSetCell = 0x2F6FB7;
  static constexpr QRgb kClearCell = 0xFFFFFF;
  static constexpr QRgb kToggledOutline = 0xFF8C00;

  explicit FlashTip(QWidget* parent = nullptr);

  // Shows `flag` with the value the gauge holds (-1: nothing to show). Toggled bits are kept
  // while the same register stays shown and its value does not change.
  void Show(const dataflash::FlagRegister& flag, std::int32_t value);
  void Clear();
  // The value with the toggled bits, when any bit differs from the gauge's.
  std::optional<std::uint16_t> edited() const;
  void Revert();
  void Toggle(int bit);
  std::int32_t value() const { return value_; }
  const std::optional<dataflash::FlagRegister>& flag() const { return flag_; }
  // Where the cell of `bit` is drawn now, and the font of every text the view draws.
  QRect CellRect(int bit) const;
  QFont TextFont() const { return font(); }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  void editedChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The cells of the shown register at the present width.
  std::vector<dataflash::BitCell> Cells() const;
  // The width that lets every register's names stand in their cells.
  int LeastWidth() const;
  // Takes the size the present font needs.
  void FitFont();
  int NameHeight() const;
  QRect Box(const dataflash::BitCell& cell) const;
  int CellBottom() const;

  std::optional<dataflash::FlagRegister> flag_;
  std::int32_t value_ = -1;
  std::uint16_t toggled_ = 0;  // bits that differ from value_
  int least_width_ = 0;
};

}  // namespace cw::gui
