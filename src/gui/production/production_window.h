#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "common/front_end.h"
#include "gui/change_relay.h"
#include "gui/gauge_worker.h"
#include "production/prepared_recipe.h"
#include "production/records_store.h"
#include "production/station.h"

class QGridLayout;
class QLabel;
class QPushButton;

namespace cw::app {
class Workbench;
}

namespace cw::gui {

class LaneTile;
class MainWindow;
class ProductionHeader;
class RecordsPanel;
class ReferenceAsker;

// The Production window: the station of the command line's `station run` for the operator on the
// line. The recipe, operator, station and records file at the top; one tile per adapter; Start
// and Stop for every tile (Space or Enter starts the idle ones: a foot switch or a barcode
// scanner); the counters; the last records below. Every rule of a run is the station's: the
// window draws its View() and forwards clicks.
//
// The main window's adapter is lent to the station, so it is never opened twice. While packs
// run, the main window's scan is paused and its gauge pages and gauge tools are locked, as during
// a firmware update. The window's own worker reads the recipe, opens the records, makes the
// station and reads the records, so the GUI thread never waits on a file, a database or the bus.
// Closing it while packs run asks first, then stops them at their next safe point (never inside a
// flash write) and closes once none runs.
class ProductionWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kAdapterLookMs = 2000;
  static constexpr int kTileColumns = 4;

  ProductionWindow(MainWindow& main, QWidget* parent);
  ~ProductionWindow() override;

  // Reads and checks the recipe at `path` and remembers it.
  void OpenRecipe(const QString& path);
  // A run on every idle tile.
  void StartAll();
  void StopAll();
  // The program is this window alone: closing it ends the program.
  void SetAlone(bool alone) { alone_ = close_main_after_ = alone; }

  ProductionHeader& header() { return *header_; }
  RecordsPanel& records() { return *records_; }
  QPushButton& start() { return *start_; }
  QPushButton& stop() { return *stop_; }
  QLabel& passed() { return *passed_; }
  QLabel& failed() { return *failed_; }
  QLabel& yield() { return *yield_; }
  QLabel& rate() { return *rate_; }
  // Why the station cannot start, or that it is stopping.
  QLabel& note() { return *note_; }
  const std::vector<LaneTile*>& tiles() const { return tiles_; }
  // The station, once the recipe passed its check and the records opened.
  production::Station* station() { return station_.get(); }
  // No job of the window is on its way.
  bool idle() const { return worker_.idle(); }
  // The main window's scan is paused and its pages locked for the station.
  bool holding() const { return held_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // The keyboard starts on the window itself, not in a field: Space is the foot switch.
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // The main window's close comes here first while this window is open.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* MakeControls();
  void Refresh();
  void ShowTiles(const production::StationView& view);
  void ShowCounters(const production::StationCounters& counters);
  // Makes the station again with what the header says now: after the recipe, the operator, the
  // station id or the records file changed.
  void Rebuild();
  void StartLane(const QString& adapter_serial);
  void Launch(std::function<void(production::Station&)> start);
  // Pauses the main window's scan and locks its pages (on the worker: the pause waits for the
  // scan's transaction to end); Release undoes it.
  void Hold();
  void Release();
  void ShowMainLocked(bool locked);
  // The first close: asks when packs run, and stops them. False when the operator said no.
  bool BeginClosing();
  // Whether the window may go now: nothing runs and no job of it is on its way.
  bool MayCloseNow();
  void ContinueClosing();
  // Closes the main window, and with it the program, once its own close agrees.
  static void CloseMain(QPointer<MainWindow> main);

  MainWindow& main_;
  app::Workbench& bench_;
  ChangeRelay relay_;
  ProductionHeader* header_;
  QWidget* tile_area_;
  QGridLayout* tile_grid_;
  std::vector<LaneTile*> tiles_;
  QPushButton* start_;
  QPushButton* stop_;
  QLabel* passed_;
  QLabel* failed_;
  QLabel* yield_;
  QLabel* rate_;
  QLabel* note_;
  RecordsPanel* records_;
  QTimer adapter_look_;
  std::unique_ptr<ReferenceAsker> asker_;

  QString recipe_path_;
  std::shared_ptr<const production::PreparedRecipe> recipe_;
  std::shared_ptr<production::RecordsStore> store_;
  std::shared_ptr<production::Station> station_;
  common::Subscription station_changes_;
  // While held, the main window stays locked: a firmware step on the lent Workbench opens and
  // closes its firmware tool, and that close unlocks the main window (the lock is not counted).
  // The station's hold of the main window, taken and ended on the worker (shared with the jobs
  // that do it, which may run after this window has gone).
  std::shared_ptr<common::MainUiHold> main_ui_hold_ = std::make_shared<common::MainUiHold>();
  std::string station_note_;  // why there is no station, or what the operator must know of it
  // What the records table last showed: read again when a run starts or ends.
  std::array<int, 4> records_key_{-1, -1, -1, -1};
  int recipe_reads_ = 0;
  int builds_ = 0;
  int starts_ = 0;
  bool held_ = false;
  bool closing_ = false;
  bool close_ok_ = false;
  bool torn_down_ = false;
  bool close_main_after_ = false;
  bool alone_ = false;
  // Last: its jobs hold what they use, and it ends (joining its thread) before the rest goes.
  GaugeWorker worker_;
};

// The Production window over `main`: the one already open, raised, or a new one on the recipe
// remembered.
ProductionWindow& OpenProductionWindow(MainWindow& main);
// `cellwarden --production RECIPE`: the window full screen on `recipe`, the main window hidden;
// closing it ends the program.
void OpenProductionAlone(MainWindow& main, const QString& recipe);

}  // namespace cw::gui
