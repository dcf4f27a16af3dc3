#pragma once

#include <QWidget>
#include <cstdint>
#include <optional>

#include "dataflash/page_layout.h"

namespace cw::gui {

// "FlashTip": the bit view of one flag register. The bit names over the cells, then one cell per
// bit: filled when the bit is set, open when it is clear. A click toggles a bit; toggled bits
// are outlined until the value is written or reverted.
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

  QSize sizeHint() const override;

 signals:
  void editedChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  std::optional<dataflash::FlagRegister> flag_;
  std::int32_t value_ = -1;
  std::uint16_t toggled_ = 0;  // bits that differ from value_
};

}  // namespace cw::gui
