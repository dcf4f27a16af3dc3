#pragma once

#include <QWidget>
#include <cstdint>

namespace cw::gui {

// "StatusBit_CTRL": one status-bit display of the SBS page, drawn from its texts. A title line,
// then bits 15 to 8 and 7 to 0 as two rows of eight cells: red when the bit is set, green when
// it is clear, grey while the register has not been read.
class StatusBitCtrl final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 356;
  static constexpr int kHeight = 49;

  // `display` indexes monitor::kStatusDisplays.
  StatusBitCtrl(std::size_t display, QWidget* parent = nullptr);

  // Where cell `cell` (0 = bit 15, 15 = bit 0) is drawn.
  static QPoint CellCentre(int cell);
  // Repaints only on a change.
  void SetValue(std::int32_t value);
  std::int32_t value() const { return value_; }
  QSize sizeHint() const override { return {kWidth, kHeight}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::size_t display_;
  std::int32_t value_;
};

}  // namespace cw::gui
