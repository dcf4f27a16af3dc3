#pragma once

#include <QAbstractButton>

namespace cw::gui {

// One of the four image buttons that switch pages, drawn in its three looks: selected (the label
// on a black plate with a red border), unselected (the plate alone) and hovered (the label turns
// red). Focusable, so Tab and Space reach every page.
class PageButton final : public QAbstractButton {
  Q_OBJECT

 public:
  PageButton(const QString& label, QWidget* parent = nullptr);

  void SetSelected(bool selected);
  bool selected() const { return selected_; }
  bool hovered() const { return hovered_; }
  QSize sizeHint() const override { return {100, 34}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  bool selected_ = false;
  bool hovered_ = false;
};

}  // namespace cw::gui
