#pragma once

#include <QFrame>
#include <string>

#include "production/station.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace cw::gui {

// One lane of the station as the operator sees it from a step away: the adapter, the pack's
// serial number once it has one, the step and its bar while it runs, then a big PASS (green) or
// FAIL (red) with the step it failed at and why. Restart asks for a run on this lane alone. An
// unplugged adapter's tile stays, greyed, with its last answer.
class LaneTile final : public QFrame {
  Q_OBJECT

 public:
  explicit LaneTile(QWidget* parent = nullptr);

  void Show(const production::LaneView& lane);
  const std::string& adapter_serial() const { return adapter_serial_; }
  production::LanePhase phase() const { return phase_; }

  QLabel& verdict() { return *verdict_; }
  QLabel& step() { return *step_; }
  QLabel& failure() { return *failure_; }
  QLabel& pack() { return *pack_; }
  QProgressBar& bar() { return *bar_; }
  QPushButton& restart() { return *restart_; }

 signals:
  void restartRequested(const QString& adapter_serial);

 private:
  std::string adapter_serial_;
  production::LanePhase phase_ = production::LanePhase::kIdle;
  bool shown_ = false;
  QLabel* adapter_;
  QLabel* pack_;
  QLabel* step_;
  QProgressBar* bar_;
  QLabel* activity_;
  QLabel* verdict_;
  QLabel* failure_;
  QLabel* tally_;
  QPushButton* restart_;
};

}  // namespace cw::gui
