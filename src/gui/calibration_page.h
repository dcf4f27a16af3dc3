#pragma once

#include <QTimer>
#include <array>

#include "gui/placeholder_page.h"
#include "monitor/scan_engine.h"

class QLabel;

namespace cw::gui {

// The calibration page. Its 1 s refresh of the measured values runs only while it is the page
// shown (the main window's page selector starts and stops it); the calibration controls are
// still to come.
class CalibrationPage final : public PlaceholderPage {
  Q_OBJECT

 public:
  CalibrationPage(monitor::ScanEngine& engine, QWidget* parent = nullptr);

  void SetRefreshing(bool refreshing);
  bool refreshing() const { return timer_.isActive(); }
  void Refresh();

 private:
  monitor::ScanEngine& engine_;
  QTimer timer_;
  std::array<QLabel*, 9> readings_{};
};

}  // namespace cw::gui
