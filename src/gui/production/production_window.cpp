#include "gui/production/production_window.h"

#include <fmt/format.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

#include "app/workbench.h"
#include "gui/main_window.h"
#include "gui/message_box_sink.h"
#include "gui/messages.h"
#include "gui/production/lane_tile.h"
#include "gui/production/production_header.h"
#include "gui/production/records_panel.h"
#include "gui/production/reference_asker.h"
#include "gui/qt_text.h"
#include "gui/subcmd_panel_widget.h"

namespace cw::gui {
namespace {

using production::LanePhase;
using production::Station;
using production::StationView;

constexpr int kCounterPointSize = 16;
constexpr int kCloseRetryMs = 100;
constexpr int kWindowWidth = 1100;
constexpr int kWindowHeight = 760;

// What the operator reads under the buttons once a station opened, or did not.
std::string OpeningNote(const production::StationOpening& opened) {
  if (opened) {
    const auto& records = opened->records;
    return records && records->Created() ? fmt::format(messages::kRecordsMade, records->Location())
                                         : "";
  }
  const production::StationRefusal& refusal = opened.error();
  if (refusal.problem == production::StationProblem::kNoDataFolder) {
    return std::string(messages::kRecordsNoDefault);
  }
  return fmt::format(fmt::runtime(refusal.problem == production::StationProblem::kRecords
                                      ? "The records cannot be opened: {}"
                                      : "The station cannot start: {}"),
                     refusal.message);
}

// The packs whose runs a close would stop.
int RunningPacks(const StationView& view) {
  return static_cast<int>(std::count_if(view.lanes.begin(), view.lanes.end(), [](const auto& lane) {
    return lane.phase == LanePhase::kRunning;
  }));
}

QLabel* MakeCounter(QWidget* parent) {
  auto* label = new QLabel(parent);
  QFont font = label->font();
  font.setPointSize(kCounterPointSize);
  font.setBold(true);
  label->setFont(font);
  return label;
}

}  // namespace

ProductionWindow::ProductionWindow(MainWindow& main, QWidget* parent)
    : QWidget(parent, Qt::Window),
      main_(main),
      bench_(main.bench()),
      relay_(this),
      asker_(std::make_unique<ReferenceAsker>(*this)) {
  setWindowTitle(Q(messages::kProductionTitle));
  setAttribute(Qt::WA_DeleteOnClose);
  setFocusPolicy(Qt::StrongFocus);

  header_ = new ProductionHeader(this);
  header_->ShowDefaultRecords(production::RecordsLocation("", bench_.host().simulated()));
  tile_area_ = new QWidget(this);
  tile_grid_ = new QGridLayout(tile_area_);
  auto* scroll = new QScrollArea(this);
  scroll->setWidget(tile_area_);
  scroll->setWidgetResizable(true);
  scroll->setFocusPolicy(Qt::NoFocus);
  records_ = new RecordsPanel(worker_, this);

  auto* layout = new QVBoxLayout(this);
  if (bench_.host().simulated()) {
    // Full screen on a line PC, nothing else says these packs are not real.
    setWindowTitle(Q("Production (SIMULATED packs)"));
    auto* simulated = new QLabel(
        Q("SIMULATED: these packs are the simulated set, not real ones; their runs go to the "
          "simulated records"),
        this);
    simulated->setObjectName(QStringLiteral("simulatedBanner"));
    simulated->setAlignment(Qt::AlignCenter);
    simulated->setStyleSheet(
        QStringLiteral("QLabel { background: #8a4b00; color: white; font-weight: bold; "
                       "padding: 6px; }"));
    layout->addWidget(simulated);
  }
  layout->addWidget(header_);
  layout->addWidget(MakeControls());
  layout->addWidget(scroll, 3);
  layout->addWidget(records_, 2);

  connect(&relay_, &ChangeRelay::changed, this, &ProductionWindow::Refresh);
  connect(header_, &ProductionHeader::recipeChosen, this, &ProductionWindow::OpenRecipe);
  connect(header_, &ProductionHeader::setupChanged, this, &ProductionWindow::Rebuild);
  for (QLineEdit* field :
       {&header_->operator_field(), &header_->station_field(), &header_->records_field()}) {
    // Enter ends the typing and gives the keyboard back to the tiles.
    connect(field, &QLineEdit::returnPressed, this, [this] { setFocus(); });
  }
  connect(&worker_, &GaugeWorker::busyChanged, this, [this](bool busy) {
    if (!busy) ContinueClosing();
  });
  adapter_look_.setInterval(kAdapterLookMs);
  connect(&adapter_look_, &QTimer::timeout, this, [this] {
    // Returns at once: the station looks on a worker of its own.
    if (station_) station_->RefreshAdapters();
  });
  adapter_look_.start();
  main_.installEventFilter(this);
  Refresh();
}

ProductionWindow::~ProductionWindow() {
  // A lane waiting for references would keep the station's end waiting for ever.
  asker_->Close();
  station_changes_.Reset();
}

QWidget* ProductionWindow::MakeControls() {
  auto* controls = new QWidget(this);
  start_ = new QPushButton(Q("Start (Space)"), controls);
  stop_ = new QPushButton(Q("Stop"), controls);
  // Space and Enter start the idle tiles wherever the keyboard is, so no button takes them.
  for (QPushButton* button : {start_, stop_}) {
    button->setFocusPolicy(Qt::NoFocus);
    button->setMinimumHeight(button->sizeHint().height() * 2);
  }
  passed_ = MakeCounter(controls);
  failed_ = MakeCounter(controls);
  yield_ = MakeCounter(controls);
  rate_ = MakeCounter(controls);
  note_ = new QLabel(controls);
  note_->setWordWrap(true);

  auto* layout = new QHBoxLayout(controls);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(start_);
  layout->addWidget(stop_);
  layout->addSpacing(24);
  for (QLabel* counter : {passed_, failed_, yield_, rate_}) layout->addWidget(counter);
  layout->addWidget(note_, 1);
  connect(start_, &QPushButton::clicked, this, &ProductionWindow::StartAll);
  connect(stop_, &QPushButton::clicked, this, &ProductionWindow::StopAll);
  return controls;
}

void ProductionWindow::OpenRecipe(const QString& path) {
  if (held_ || closing_) return;
  recipe_path_ = path;
  header_->RememberRecipe(path);
  header_->ShowRecipeReading(path);
  recipe_.reset();
  ++recipe_reads_;
  worker_.Run<production::RecipeReading>(
      this,
      [path = std::filesystem::path(S(path)), constants = bench_.constants()] {
        return production::LoadPreparedRecipe(path, constants);
      },
      [this, path](const production::RecipeReading& read) {
        // Only the last recipe chosen counts.
        if (--recipe_reads_ > 0 || path != recipe_path_) return;
        if (read) {
          header_->ShowRecipe(path, &(*read)->recipe, {});
          recipe_ = *read;
        } else {
          const auto& recipe = read.error().recipe;
          header_->ShowRecipe(path, recipe ? &*recipe : nullptr, read.error().problems);
        }
        Rebuild();
      });
}

void ProductionWindow::Rebuild() {
  if (held_ || closing_) return;
  station_changes_.Reset();
  asker_->CancelAll();
  std::shared_ptr<Station> old = std::move(station_);
  station_note_.clear();
  production::StationOptions options;
  options.station = header_->station_id();
  options.operator_name = header_->operator_name();
  options.lent = {&bench_};
  if (recipe_ && recipe_->recipe.calibrate) {
    options.ask_references = [asker = asker_.get(),
                              step = *recipe_->recipe.calibrate](const production::LaneView& lane) {
      return asker->Ask(step, lane);
    };
  }
  // The station does not own the main window's adapter host: the main window's Workbench does,
  // and it outlives this window and every station it makes.
  std::shared_ptr<app::AdapterHost> host(std::shared_ptr<void>(), &bench_.host());
  ++builds_;
  worker_.Run<production::StationOpening>(
      this,
      [old = std::move(old), recipe = recipe_, records = header_->records(),
       options = std::move(options), host]() mutable -> production::StationOpening {
        // The old station goes here, off the GUI thread: its lanes' adapters close.
        old.reset();
        if (!recipe) return production::OpenedStation{};
        return production::OpenStation(host, recipe, records, std::move(options));
      },
      [this](const production::StationOpening& opened) {
        --builds_;
        std::shared_ptr<Station> station = opened ? opened->station : nullptr;
        // A later build replaces this one; its station goes with the next build's job.
        if (builds_ > 0 || closing_) {
          if (station) {
            worker_.Run<bool>(nullptr,
                              [station]() mutable {
                                station.reset();
                                return true;
                              },
                              {});
          }
          return;
        }
        station_ = station;
        store_ = opened ? opened->records : opened.error().records;
        station_note_ = OpeningNote(opened);
        if (station_) {
          station_changes_ = station_->changes().Subscribe([this] { relay_.Post(); });
        }
        records_->SetStore(store_, header_->station_id());
        records_key_.fill(-1);
        Refresh();
      });
  Refresh();
}

void ProductionWindow::StartAll() {
  Launch([](Station& station) { station.StartAll(); });
}

void ProductionWindow::StartLane(const QString& adapter_serial) {
  Launch([serial = S(adapter_serial)](Station& station) { station.StartLane(serial); });
}

void ProductionWindow::Launch(std::function<void(Station&)> start) {
  if (!station_ || closing_ || builds_ > 0) return;
  Hold();
  ++starts_;
  worker_.Run<bool>(
      this,
      [station = station_, start = std::move(start)] {
        start(*station);
        return true;
      },
      [this](bool) {
        --starts_;
        Refresh();
      });
  Refresh();
}

void ProductionWindow::StopAll() {
  asker_->CancelAll();
  if (station_) station_->RequestStop();
}

void ProductionWindow::Hold() {
  if (held_) return;
  held_ = true;
  ShowMainLocked(true);
  worker_.Run<bool>(nullptr,
                    [&bench = bench_, hold = main_ui_hold_] {
                      bench.PauseScan();
                      *hold = common::MainUiHold(bench.main_ui());
                      return true;
                    },
                    {});
}

void ProductionWindow::Release() {
  if (!held_) return;
  held_ = false;
  ShowMainLocked(false);
  worker_.Run<bool>(nullptr,
                    [&bench = bench_, hold = main_ui_hold_] {
                      hold->Release();
                      bench.ResumeScan();
                      return true;
                    },
                    {});
}

void ProductionWindow::ShowMainLocked(bool locked) {
  // Beside the pages the lock greys: what would reach the lent adapter from the main window.
  for (const MenuCommand command : {MenuCommand::kFirmwareUpdate, MenuCommand::kSha1}) {
    main_.action(command).setEnabled(!locked);
  }
  main_.subcmd().setEnabled(!locked);
  header_->SetEditable(!locked);
}

void ProductionWindow::Refresh() {
  const StationView view = station_ ? station_->View() : StationView{};
  ShowTiles(view);
  ShowCounters(view.counters);
  const bool starting = starts_ > 0;
  const bool ready = station_ && !closing_ && builds_ == 0;
  const bool any_startable = std::any_of(view.lanes.begin(), view.lanes.end(), [](const auto& l) {
    return l.phase != LanePhase::kRunning && l.phase != LanePhase::kGone &&
           l.phase != LanePhase::kWaitingForPack;
  });
  start_->setEnabled(ready && !view.stop_requested && any_startable);
  stop_->setEnabled(view.running && !view.stop_requested);
  if (view.stop_requested) {
    note_->setText(Q(messages::kStopping));
  } else {
    note_->setText(Q(station_note_));
  }

  const std::array<int, 4> key{view.counters.passed, view.counters.failed, view.counters.stopped,
                               RunningPacks(view)};
  if (key != records_key_) {
    records_key_ = key;
    records_->Reload();
  }
  if (!view.running && !starting && held_) Release();
  ContinueClosing();
}

void ProductionWindow::ShowTiles(const StationView& view) {
  while (tiles_.size() > view.lanes.size()) {
    delete tiles_.back();
    tiles_.pop_back();
  }
  for (std::size_t i = 0; i < view.lanes.size(); ++i) {
    if (i == tiles_.size()) {
      auto* tile = new LaneTile(tile_area_);
      connect(tile, &LaneTile::restartRequested, this, &ProductionWindow::StartLane);
      tile_grid_->addWidget(tile, static_cast<int>(i) / kTileColumns,
                            static_cast<int>(i) % kTileColumns);
      tiles_.push_back(tile);
    }
    tiles_[i]->Show(view.lanes[i]);
    // A restart waits while the station is being made, stopped or closed.
    if (closing_ || view.stop_requested) tiles_[i]->restart().setEnabled(false);
  }
}

void ProductionWindow::ShowCounters(const production::StationCounters& counters) {
  passed_->setText(Q(fmt::format("Passed: {}", counters.passed)));
  failed_->setText(Q(fmt::format("Failed: {}", counters.failed)));
  yield_->setText(counters.yield_percent
                      ? Q(fmt::format("Yield: {:.4g} %", *counters.yield_percent))
                      : Q(messages::kNoYield));
  rate_->setText(counters.packs_per_hour
                     ? Q(fmt::format("Packs per hour: {:.0f}", *counters.packs_per_hour))
                     : Q("Packs per hour: -"));
}

void ProductionWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // The foot switch or the scanner's Enter: the next run on every idle tile.
      if (event->isAutoRepeat()) return;
      StartAll();
      event->accept();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void ProductionWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  setFocus();
}

bool ProductionWindow::BeginClosing() {
  const StationView view = station_ ? station_->View() : StationView{};
  if (view.running) {
    const int running = std::max(RunningPacks(view), 1);
    const QString question =
        running == 1
            ? Q("A pack is running. Stop it at its next safe point and close?")
            : Q(fmt::format("{} packs are running. Stop them at their next safe point and close?",
                            running));
    // The main window's buttons: Quit when this window ends the program, Close when it does not.
    QMessageBox box(QMessageBox::Question, Q(messages::kProductionTitle), question,
                    QMessageBox::Yes | QMessageBox::No, this);
    SetUpQuestion(box, alone_ ? messages::kQuitButton : "Close", messages::kKeepWorkingButton);
    box.exec();
    if (box.clickedButton() != box.button(QMessageBox::Yes)) return false;
  }
  closing_ = true;
  // Greyed, with the note saying what it finishes, until the packs have stopped.
  tile_area_->setEnabled(false);
  header_->SetEditable(false);
  adapter_look_.stop();
  asker_->Close();
  StopAll();
  return true;
}

bool ProductionWindow::MayCloseNow() {
  if (builds_ > 0 || starts_ > 0 || recipe_reads_ > 0) return false;
  if (station_ && station_->View().running) return false;
  if (!torn_down_) {
    torn_down_ = true;
    Release();
    station_changes_.Reset();
    // Its lanes' adapters close on the worker; the close waits for it.
    worker_.Run<bool>(nullptr,
                      [station = std::move(station_)]() mutable {
                        station.reset();
                        return true;
                      },
                      {});
  }
  return worker_.idle();
}

void ProductionWindow::ContinueClosing() {
  if (!closing_ || close_ok_) return;
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void ProductionWindow::closeEvent(QCloseEvent* event) {
  if (!close_ok_) {
    if (!closing_ && !BeginClosing()) {
      // The operator kept the packs running: the main window stays too.
      close_main_after_ = alone_;
      event->ignore();
      return;
    }
    if (!MayCloseNow()) {
      event->ignore();
      return;
    }
    close_ok_ = true;
  }
  QWidget::closeEvent(event);
  if (!close_main_after_) return;
  // The program ends with this window (alone, or the main window's close came first): the main
  // window's own close follows, and with it the program's end.
  CloseMain(&main_);
}

bool ProductionWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &main_ && event->type() == QEvent::Close && !close_ok_) {
    close_main_after_ = true;
    close();
    event->ignore();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void ProductionWindow::CloseMain(QPointer<MainWindow> main) {
  QMetaObject::invokeMethod(
      main,
      [main] {
        if (!main) return;
        // Its own close waits while the gauge worker ends a job: asked again until it closes.
        if (!main->close()) {
          QTimer::singleShot(kCloseRetryMs, main, [main] { CloseMain(main); });
          return;
        }
        QCoreApplication::quit();
      },
      Qt::QueuedConnection);
}

ProductionWindow& OpenProductionWindow(MainWindow& main) {
  if (auto* open = main.findChild<ProductionWindow*>(QString(), Qt::FindDirectChildrenOnly)) {
    open->show();
    open->raise();
    open->activateWindow();
    return *open;
  }
  auto* window = new ProductionWindow(main, &main);
  window->resize(kWindowWidth, kWindowHeight);
  const QString remembered = window->header().RememberedRecipe();
  if (!remembered.isEmpty()) window->OpenRecipe(remembered);
  return *window;
}

void OpenProductionAlone(MainWindow& main, const QString& recipe) {
  auto* window = new ProductionWindow(main, &main);
  window->SetAlone(true);
  // Remembered as a whole path: the next start may be from another folder.
  window->OpenRecipe(QFileInfo(recipe).absoluteFilePath());
  window->showFullScreen();
}

}  // namespace cw::gui
