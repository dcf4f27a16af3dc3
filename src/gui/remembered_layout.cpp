#include "gui/remembered_layout.h"

#include <QAction>
#include <QScreen>
#include <QSplitter>

#include "gui/chart_panel.h"
#include "gui/main_window.h"
#include "gui/product_settings.h"
#include "gui/sbs_page.h"
#include "monitor/monitor_session.h"
#include "monitor/sbs_session.h"
#include "presentation/remembered_selection.h"

namespace cw::gui {
namespace {

constexpr char kGeometryKey[] = "Window/Geometry";
constexpr char kSbsSplitterKey[] = "Window/SbsSplitter";
constexpr char kRestoreSelectionKey[] = "Selection/RestoreAtStart";
constexpr char kScannedKey[] = "Selection/Scanned";
constexpr char kLoggedKey[] = "Selection/Logged";
constexpr char kIntervalKey[] = "Selection/LoggingInterval";

std::vector<std::string> Names(const QStringList& list) {
  std::vector<std::string> names;
  for (const QString& name : list) names.push_back(S(name));
  return names;
}

QStringList List(const std::vector<std::string>& names) {
  QStringList list;
  for (const std::string& name : names) list << Q(name);
  return list;
}

}  // namespace

QSize FirstStartSize(const QWidget& window) {
  // What the title bar and the frame take around the window on a desktop.
  constexpr QSize kFrameAllowance{16, 48};
  const QScreen* screen = window.screen();
  if (screen == nullptr) return window.sizeHint();
  return window.sizeHint().boundedTo(screen->availableGeometry().size() - kFrameAllowance);
}

void RestoreLayout(MainWindow& window) {
  const QSettings settings = ProductSettings();
  if (settings.contains(kGeometryKey)) {
    window.restoreGeometry(settings.value(kGeometryKey).toByteArray());
  } else {
    window.resize(FirstStartSize(window));
  }
  if (settings.contains(kSbsSplitterKey)) {
    window.sbs_page().splitter().restoreState(settings.value(kSbsSplitterKey).toByteArray());
  }
  window.sbs_page().chart().RestoreChoice(settings);
  const bool restore = settings.value(kRestoreSelectionKey, false).toBool();
  window.restore_selection().setChecked(restore);
  if (!restore) return;
  app::Workbench& bench = window.bench();
  presentation::RestoreTicks(bench.sbs(), bench.monitor().engine().Snapshot(),
                             {Names(settings.value(kScannedKey).toStringList()),
                              Names(settings.value(kLoggedKey).toStringList())});
  window.SetLoggingInterval(settings.value(kIntervalKey, window.logging_interval()).toInt());
}

void SaveLayout(MainWindow& window) {
  QSettings settings = ProductSettings();
  settings.setValue(kGeometryKey, window.saveGeometry());
  settings.setValue(kSbsSplitterKey, window.sbs_page().splitter().saveState());
  window.sbs_page().chart().SaveChoice(settings);
  settings.setValue(kRestoreSelectionKey, window.restore_selection().isChecked());
  const presentation::RowTicks ticks =
      presentation::CurrentTicks(window.bench().monitor().engine().Snapshot());
  settings.setValue(kScannedKey, List(ticks.scanned));
  settings.setValue(kLoggedKey, List(ticks.logged));
  settings.setValue(kIntervalKey, window.logging_interval());
}

}  // namespace cw::gui
