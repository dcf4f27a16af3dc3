// Flows through the Production window on four simulated packs, one of them faulty, with a virtual
// clock: the recipe chosen in its dialog, the packs started from the keyboard, the tiles, the
// counters and the records the operator sees, and what the main window and the records store
// hold afterwards.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "gui/messages.h"
#include "gui/production/lane_tile.h"
#include "gui/production/production_header.h"
#include "gui/production/production_window.h"
#include "gui/production/records_panel.h"
#include "gui/production/report_dialog.h"
#include "gui/qt_text.h"
#include "gui_fixture.h"
#include "monitor/comm_thread.h"
#include "monitor/monitor_session.h"
#include "production/records_store.h"
#include "sim/sim_pack_set.h"
#include "support/recipe_folder.h"
#include "update_hold.h"

namespace cw::test {
namespace {

using production::LanePhase;

constexpr int kRunTimeoutMs = 120'000;
// The station's own tests' line: the third pack raises a safety alarm, which its check step finds.
constexpr char kDevice[] = "sim:packs=4:clock=virtual:faults=safety-alarm=0002@3";
constexpr int kFaultyPack = 3;
constexpr char kFaultyStep[] = "check";

int TilesIn(const gui::ProductionWindow& window, LanePhase phase) {
  return static_cast<int>(std::count_if(window.tiles().begin(), window.tiles().end(),
                                        [phase](auto* tile) { return tile->phase() == phase; }));
}

bool Finished(const gui::ProductionWindow& window) {
  return window.tiles().size() == 4 &&
         TilesIn(window, LanePhase::kPass) + TilesIn(window, LanePhase::kFail) == 4;
}

QString Cell(gui::RecordsPanel& records, int row, int column) {
  const QTableWidgetItem* item = records.table().item(row, column);
  return item != nullptr ? item->text() : QString();
}

}  // namespace

class ProductionFlowsTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir scratch_;
  std::unique_ptr<RecipeFolder> folder_;
  QString recipe_;
  std::unique_ptr<GuiFixture> f_;
  QPointer<gui::ProductionWindow> window_;
  // Every lock and unlock of the main window's pages, in order.
  std::mutex locks_mutex_;
  std::vector<bool> locks_;
  common::Subscription lock_watch_;

  QString RecordsFile() { return scratch_.filePath("records.sqlite"); }

  // The window from the Tools menu, its records in the scratch folder, the recipe chosen in its
  // dialog.
  gui::ProductionWindow& Open(const QString& recipe) {
    if (!window_) {
      f_->window().action(gui::MenuCommand::kProductionCommand).trigger();
      window_ = f_->window().findChild<gui::ProductionWindow*>();
    }
    QLineEdit& records = window_->header().records_field();
    records.setText(RecordsFile());
    emit records.editingFinished();
    f_->modal.Then(ChooseFile(recipe));
    QTest::mouseClick(&window_->header().recipe_button(), Qt::LeftButton);
    return *window_;
  }

 private slots:
  void initTestCase() {
    QSettings("Quillmarsh", "Message").remove("Production");
    QVERIFY(scratch_.isValid());
    folder_ = std::make_unique<RecipeFolder>(gui::S(scratch_.path()));
    recipe_ = gui::Q(folder_->Write("line", folder_->FullSteps()).string());
    f_ = std::make_unique<GuiFixture>(kDevice);
    QVERIFY(f_->Ready());
    lock_watch_ = f_->bench().main_ui().changes().Subscribe([this](bool locked) {
      std::lock_guard lock(locks_mutex_);
      locks_.push_back(locked);
    });
  }

  void cleanupTestCase() {
    lock_watch_.Reset();
    if (window_) window_->close();
    QTRY_VERIFY(window_.isNull());
    f_.reset();
  }

  void ARecipeThatFailsItsCheckCannotBeStarted() {
    // A constants file changed after its SHA-256 was written into the recipe.
    const std::filesystem::path files = folder_->folder() / "files";
    std::filesystem::copy_file(files / "golden.afi", files / "changed.afi");
    const auto broken = folder_->Write(
        "changed", "[steps.constants]\n" + folder_->FileKeys("afi", "files/changed.afi"));
    std::ofstream(files / "changed.afi", std::ios::app) << "\n";
    gui::ProductionWindow& window = Open(gui::Q(broken.string()));
    QTRY_VERIFY(
        window.header().recipe_check().text().startsWith(gui::Q(gui::messages::kRecipeFailed)));
    // The file is named at the recipe's line that names it.
    QVERIFY(window.header().recipe_check().text().contains("line "));
    QVERIFY(window.header().recipe_check().text().contains("files/changed.afi"));
    QVERIFY(!window.header().recipe_name().text().isEmpty());
    QTRY_VERIFY(window.idle());
    QVERIFY(window.station() == nullptr);
    QVERIFY(!window.start().isEnabled());
    QTest::keyClick(&window, Qt::Key_Space);
    QVERIFY(!window.holding());
    QVERIFY(window.tiles().empty());
  }

  void FourPacksThreePassOneFailsAtItsStep() {
    gui::ProductionWindow& window = Open(recipe_);
    QTRY_VERIFY(window.station() != nullptr && window.tiles().size() == 4);
    QCOMPARE(window.header().recipe_check().text(), gui::Q(gui::messages::kRecipeChecked));
    QVERIFY(window.header().recipe_name().text().contains(
        gui::Q(window.station()->recipe().recipe.sha256)));
    QCOMPARE(TilesIn(window, LanePhase::kIdle), 4);
    QVERIFY(window.start().isEnabled());
    // The records file did not exist: the operator is told a new one (and serial range) begins.
    QVERIFY(window.note().text().startsWith("New records made at " + RecordsFile()));

    // The foot switch.
    QTest::keyClick(&window, Qt::Key_Space);
    QVERIFY(window.holding());
    QTRY_VERIFY_WITH_TIMEOUT(Finished(window), kRunTimeoutMs);
    QCOMPARE(TilesIn(window, LanePhase::kPass), 3);
    gui::LaneTile& faulty = *window.tiles()[kFaultyPack - 1];
    QCOMPARE(faulty.phase(), LanePhase::kFail);
    QCOMPARE(faulty.verdict().text(), gui::Q(gui::messages::kTileFail));
    QVERIFY(faulty.failure().text().startsWith(QString("Failed at %1: ").arg(kFaultyStep)));
    QVERIFY(faulty.restart().isEnabled());
    for (gui::LaneTile* tile : window.tiles()) {
      if (tile->phase() == LanePhase::kPass) QVERIFY(tile->pack().text().startsWith("Pack 1"));
    }

    QTRY_COMPARE(window.records().table().rowCount(), 4);
    QCOMPARE(window.passed().text(), QString("Passed: 3"));
    QCOMPARE(window.failed().text(), QString("Failed: 1"));
    QCOMPARE(window.yield().text(), QString("Yield: 75 %"));
    QVERIFY(!window.rate().text().endsWith("-"));

    // The main window was locked while the packs ran, and its scan runs again.
    QTRY_VERIFY(!window.holding() && window.idle());
    {
      // Locked first and unlocked last; the lent pack's firmware step unlocked it on the way and
      // it was locked again at once.
      std::lock_guard lock(locks_mutex_);
      QVERIFY(locks_.size() >= 2 && locks_.size() % 2 == 0);
      for (std::size_t i = 0; i < locks_.size(); ++i) QCOMPARE(locks_[i], i % 2 == 0);
    }
    QVERIFY(f_->window().action(gui::MenuCommand::kFirmwareUpdate).isEnabled());
    QVERIFY(!f_->bench().monitor().worker()->paused());

    // The failed run alone, and exported as the command line exports it.
    window.records().SetResultFilter(production::RunResult::kFail);
    QTRY_COMPARE(window.records().table().rowCount(), 1);
    QCOMPARE(Cell(window.records(), 0, 4), QString("fail"));
    QCOMPARE(Cell(window.records(), 0, 5), QString(kFaultyStep));
    // The shift as the records count it, and the failed pack's report from its row.
    QTRY_COMPARE(window.records().shift().text(),
                 QString("This shift: first pass 75.0 % (3 of 4 packs); most failed: %1 "
                         "(out_of_limits) 1")
                     .arg(kFaultyStep));
    window.records().table().selectRow(0);
    QVERIFY(window.records().report_button().isEnabled());
    QTest::mouseClick(&window.records().report_button(), Qt::LeftButton);
    QTRY_VERIFY(window.records().report() != nullptr);
    const QString page = window.records().report()->page().toPlainText();
    QVERIFY2(page.contains("Failed step") && page.contains("out_of_limits"), qPrintable(page));
    const QString saved = scratch_.filePath("pack.html");
    window.records().report()->Save(saved);
    QTRY_VERIFY(window.records().report()->note().text().startsWith("Saved to"));
    QVERIFY(ReadFile(saved).starts_with("<!DOCTYPE html>"));
    window.records().report()->close();
    const QString csv = scratch_.filePath("failed.csv");
    window.records().ExportCsv(csv);
    QTRY_VERIFY(window.records().note().text().startsWith("1 runs written"));
    const std::string text = ReadFile(csv);
    QCOMPARE(std::count(text.begin(), text.end(), '\n'), 2L);
    window.records().SetResultFilter(std::nullopt);
    QTRY_COMPARE(window.records().table().rowCount(), 4);
  }

  void ClosingWhileAPackRunsAsksThenStopsItAtASafePoint() {
    gui::ProductionWindow& window = *window_;
    // The faulty pack, still unsealed, again; its firmware write is held on the bus: its run is
    // in the middle of a step.
    UpdateHold hold(f_->bench().host().sim_packs()->pack(kFaultyPack - 1), 3);
    QTest::mouseClick(&window.tiles()[kFaultyPack - 1]->restart(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(hold.held(), kRunTimeoutMs);
    // Another holder of the main window (a firmware tool's job) ending does not free it.
    QVERIFY(f_->bench().main_ui().locked());
    { const common::MainUiHold tool_job(f_->bench().main_ui()); }
    QVERIFY(f_->bench().main_ui().locked());
    const qsizetype boxes = f_->modal.boxes.size();
    QStringList buttons;
    f_->modal.on_box = [&buttons](QMessageBox* box) {
      buttons << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
    };
    window.close();
    QTRY_COMPARE(f_->modal.boxes.size(), boxes + 1);
    f_->modal.on_box = nullptr;
    QCOMPARE(f_->modal.boxes.back(),
             QString("A pack is running. Stop it at its next safe point and close?"));
    // The main window's answers; this window does not end the program.
    QCOMPARE(buttons, (QStringList{"Close", "Keep working"}));
    // Not closed in the middle of the write: greyed, saying what it finishes.
    QTest::qWait(200);
    QVERIFY(!window_.isNull());
    QCOMPARE(window.note().text(), gui::Q(gui::messages::kStopping));
    QVERIFY(!window.tiles()[kFaultyPack - 1]->isEnabled());
    hold.Release();
    QTRY_VERIFY_WITH_TIMEOUT(window_.isNull(), kRunTimeoutMs);
    QTRY_VERIFY(!f_->bench().main_ui().locked());

    auto store =
        production::OpenRecordsStore(gui::S(RecordsFile()), production::OpenMode::kExisting);
    QVERIFY(store);
    const auto runs = (*store)->Runs({.last = 1}, false);
    QVERIFY(runs && runs->size() == 1);
    QCOMPARE(runs->front().result, production::RunResult::kStopped);
  }
};

}  // namespace cw::test

int main(int argc, char** argv) {
  QStandardPaths::setTestModeEnabled(true);
  QApplication application(argc, argv);
  cw::gui::ApplyProductLook(application);
  cw::test::ProductionFlowsTest flows;
  return QTest::qExec(&flows, argc, argv);
}

#include "production_flows.moc"
