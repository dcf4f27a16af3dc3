#include "gui/scan_hint.h"

#include "gui/qt_text.h"
#include "presentation/scan_hint.h"

namespace cw::gui {

ScanHint::ScanHint(monitor::SbsSession& session, monitor::ScanEngine& engine, QWidget* parent)
    : QLabel(Q("Tick Scan, or press Scan All, to read the pack"), parent),
      engine_(engine),
      relay_(this) {
  setObjectName("scan_hint");
  QFont bold = font();
  bold.setBold(true);
  setFont(bold);
  // Its line stays when it goes: the lists below never move under the pointer.
  QSizePolicy keep = sizePolicy();
  keep.setRetainSizeWhenHidden(true);
  setSizePolicy(keep);
  // The ticks are the session's; a row read by a register write is the engine's.
  relay_.Watch(session.changes());
  relay_.Watch(engine_.changes());
  connect(&relay_, &ChangeRelay::changed, this, &ScanHint::Refresh);
  Refresh();
}

void ScanHint::Refresh() {
  setVisible(engine_.WithTable(
      [](const monitor::RegisterTable& table) { return presentation::NeedsScanHint(table); }));
}

}  // namespace cw::gui
