#pragma once

#include <QTimer>
#include <QWidget>
#include <array>

#include "app/calibration.h"
#include "app/workbench.h"
#include "gui/change_relay.h"

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace cw::gui {

class GaugeWorker;
class MessageBoxSink;
class ProgressRelay;

// The calibration page: the board offset calibration, and the cell voltage, temperature and
// current calibration with the measured values beside the reference fields. The measured values
// refresh every second while the page is shown (the main window's page selector starts and stops
// it). A calibration runs on the worker; its bar moves with the core's progress, and the core
// says how it went.
class CalibrationPage final : public QWidget {
  Q_OBJECT

 public:
  CalibrationPage(app::Workbench& bench, GaugeWorker& worker, ProgressRelay& progress,
                  MessageBoxSink& messages, QWidget* parent = nullptr);

  void SetRefreshing(bool refreshing);
  bool refreshing() const { return timer_.isActive(); }
  void Refresh();
  // The reference fields as typed; the core reads and checks them.
  app::CalibrationEntries Entries() const;

  QPushButton& offset_button() { return *offset_button_; }
  QPushButton& calibrate_button() { return *calibrate_button_; }
  QLineEdit& cell(std::size_t i) { return *cells_[i]; }
  QLineEdit& temperature(std::size_t i) { return *temperatures_[i]; }
  QCheckBox& ts_check(std::size_t i) { return *ts_checks_[i]; }
  QCheckBox& voltage_check() { return *voltage_check_; }
  QCheckBox& current_check() { return *current_check_; }
  QLineEdit& current() { return *current_; }
  // Measured: cells 0-3, sensors 4-7, current 8.
  QLineEdit& measured(std::size_t i) { return *measured_[i]; }
  QProgressBar& offset_bar() { return *offset_bar_; }
  QProgressBar& calibration_bar() { return *calibration_bar_; }

 private:
  QWidget* MakeOffsetGroup();
  QWidget* MakeReferenceGroup();
  QLineEdit* MakeMeasured();
  void Run(std::function<common::Outcome()> job);
  void ShowBusy();
  void ShowBars();

  app::Workbench& bench_;
  MessageBoxSink& messages_;
  GaugeWorker& worker_;
  ProgressRelay& progress_;
  QTimer timer_;
  std::array<QLineEdit*, 9> measured_{};
  std::array<QLineEdit*, 4> cells_{};
  std::array<QLineEdit*, 4> temperatures_{};
  std::array<QCheckBox*, 4> ts_checks_{};
  QCheckBox* voltage_check_ = nullptr;
  QCheckBox* current_check_ = nullptr;
  QLineEdit* current_ = nullptr;
  QPushButton* offset_button_ = nullptr;
  QPushButton* calibrate_button_ = nullptr;
  QProgressBar* offset_bar_ = nullptr;
  QProgressBar* calibration_bar_ = nullptr;
  int jobs_ = 0;
  ChangeRelay busy_relay_;
};

}  // namespace cw::gui
