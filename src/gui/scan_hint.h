#pragma once

#include <QLabel>

#include "gui/change_relay.h"
#include "monitor/sbs_session.h"
#include "monitor/scan_engine.h"

namespace cw::gui {

// The SBS page's one-line hint while no row has its Scan tick; it goes with the first tick.
class ScanHint final : public QLabel {
  Q_OBJECT

 public:
  ScanHint(monitor::SbsSession& session, monitor::ScanEngine& engine, QWidget* parent);

 private:
  void Refresh();

  monitor::ScanEngine& engine_;
  ChangeRelay relay_;
};

}  // namespace cw::gui
