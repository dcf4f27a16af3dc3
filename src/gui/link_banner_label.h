#pragma once

#include <QLabel>

namespace cw::gui {

// Why the adapter link is down, on one line in the room the menu bar leaves on its right: when it
// comes and goes nothing below it moves, so a click never lands on another row than the one the
// pointer was on. Longer than its room, it ends in "..." and its tooltip holds the whole text;
// text() is always the whole text.
class LinkBannerLabel final : public QLabel {
 public:
  explicit LinkBannerLabel(QWidget* parent);
  // The widest it may grow; true when that changed.
  bool SetRoom(int width);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int room_ = QWIDGETSIZE_MAX;
};

}  // namespace cw::gui
