// Flows through the real widgets of the desktop program on the simulated pack, with a virtual
// clock: what a user clicks and types, and what the pack and the files show afterwards.
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTabBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QUrl>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "app/messages.h"
#include "app/program_directory.h"
#include "common/clock.h"
#include "gui/about_dialog.h"
#include "gui/calibration_page.h"
#include "gui/chart_panel.h"
#include "gui/help_window.h"
#include "gui/left_column.h"
#include "gui/logging_time_dialog.h"
#include "gui/main_status_bar.h"
#include "gui/message_box_sink.h"
#include "gui/messages.h"
#include "gui/page_button.h"
#include "gui/qt_text.h"
#include "gui/register_table_model.h"
#include "gui/remembered_layout.h"
#include "gui/sbs_page.h"
#include "gui/status_bit_ctrl.h"
#include "gui/subcmd_panel_widget.h"
#include "gui/tools/tool_launcher.h"
#include "gui_fixture.h"
#include "link/smbus_target.h"
#include "monitor/monitor_session.h"
#include "monitor/sbs_session.h"
#include "presentation/messages.h"
#include "sim/sim_pack.h"

namespace cw::test {
namespace {

using common::TaskKind;
using gui::Page;
using gui::Q;
using monitor::TableId;

int Lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Space on a Log or Scan cell, as the keyboard ticks it.
void TickCell(QTableView& view, int row, int column) {
  view.setCurrentIndex(view.model()->index(row, column));
  QTest::keyClick(view.viewport(), Qt::Key_Space);
}

// F2 on the current cell; the in-place editor that opens.
QLineEdit* OpenEditor(QTableView& view) {
  QTest::keyClick(view.viewport(), Qt::Key_F2);
  for (QLineEdit* editor : view.findChildren<QLineEdit*>()) {
    if (editor->isVisible()) return editor;
  }
  return nullptr;
}

QRgb PixelAt(QWidget& widget, QPoint point) { return widget.grab().toImage().pixel(point); }

// Stands for the desktop's viewer.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QStringList opened;
  Q_INVOKABLE void Open(const QUrl& url) { opened << url.toLocalFile(); }
};

// Stands between the simulated adapter and the gauge and counts the transactions that reach
// the bus.
class BusCounter final : public link::SmbusTarget {
 public:
  explicit BusCounter(sim::SimPack& pack) : pack_(pack) { pack_.ReplaceTarget(this); }
  ~BusCounter() override { pack_.ReplaceTarget(nullptr); }
  bool Write(std::span<const std::uint8_t> bytes) override {
    ++transactions;
    return pack_.gauge().Write(bytes);
  }
  std::optional<std::vector<std::uint8_t>> Read(std::uint8_t command, std::size_t count) override {
    ++transactions;
    return pack_.gauge().Read(command, count);
  }
  std::atomic<int> transactions{0};

 private:
  sim::SimPack& pack_;
};

}  // namespace

class GuiFlows : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<GuiFixture> f_;
  gui::MainWindow& w() { return f_->window(); }
  void ScanAll() {
    QTest::mouseClick(&w().sbs_page().button(monitor::RowSelection::kScanAll), Qt::LeftButton);
  }
  bool Linked() {
    w().OnClockTimer();
    return w().status().pane(0) == "USB Connected";
  }

 private slots:
  void init() {
    f_ = std::make_unique<GuiFixture>();
    QVERIFY(f_->tool);
    QVERIFY(QTest::qWaitForWindowExposed(&w()));
  }
  void cleanup() { f_.reset(); }

  void StartUpShowsTheProductAndTheSimulatedPack() {
    QCOMPARE(w().windowTitle(), QString("KT580714pc_V3.07_20230517 - Simulated pack"));
    QVERIFY(w().findChild<QWidget*>("simulated_pack") != nullptr);
    QCOMPARE(w().left().adapter_id().text(), QString("0x8888"));
    QCOMPARE(w().left().charge_text(), QString("-"));
    QCOMPARE(w().status().pane(1), QString("SBS Task Progress:   0% "));
    QVERIFY(!w().status().bar_shown());
    QCOMPARE(w().charge_timer().interval(), 2000);
    QCOMPARE(w().clock_timer().interval(), 1000);
    QVERIFY(w().charge_timer().isActive() && w().clock_timer().isActive());
    QCOMPARE(w().pages().currentIndex(), 0);
    // Nothing remembered: the window takes the room it asks for, as far as the screen has it.
    QCOMPARE(w().size(), gui::FirstStartSize(w()));
    QVERIFY(w().size().width() > w().screen()->availableGeometry().width() * 3 / 4);
    // Design Capacity is read at the start; its unit waits for Battery Mode, never guessed.
    gui::RegisterTableModel& fixed = w().sbs_page().model(monitor::TableId::kD);
    const auto capacity_unit = [&fixed] {
      for (int row = 0; row < fixed.rowCount(); ++row) {
        if (fixed.index(row, gui::RegisterTableModel::kName).data().toString() ==
            "Design Capacity") {
          return fixed.index(row, gui::RegisterTableModel::kUnit).data().toString();
        }
      }
      return QString("no such row");
    };
    QTRY_VERIFY(!fixed.index(0, gui::RegisterTableModel::kValue).data().toString().isEmpty());
    QCOMPARE(capacity_unit(), QString("?"));
    ScanAll();
    QTRY_COMPARE(capacity_unit(), QString("mAh"));
    QTRY_VERIFY(Linked());
    QVERIFY(w().status().pane(3).contains(QRegularExpression("^ \\d\\d:\\d\\d:\\d\\d $")));

    // The command line's device options, and the product's dialog colour.
    const auto parse = [](QStringList args) {
      args.prepend("cellwarden");
      return gui::WorkbenchOptionsFromArguments(args);
    };
    QVERIFY(!parse({})->device.simulated);
    QVERIFY(parse({"--sim"})->device.simulated);
    QCOMPARE(QString::fromStdString(parse({"--sim-state", "p.json"})->device.state_file),
             QString("p.json"));
    QVERIFY(!parse({"--device", "bogus"}));
    QVERIFY(!parse({"--device", "auto:x"}));
    QVERIFY(!parse({"--no-such-option"}));
    gui::ApplyProductLook(*qApp);

    QMessageBox box;
    box.ensurePolished();
    QCOMPARE(box.palette().color(QPalette::Window), QColor(0xE0E0E0));

    gui::WriteExitSettings();
    QCOMPARE(QSettings("Quillmarsh", "Message").value("Settings/Language").toInt(), 0);

    // Enter anywhere is swallowed; Escape closes the window.
    QTest::keyClick(&w(), Qt::Key_Return);
    QTest::keyClick(&w().left().adapter_id(), Qt::Key_Enter);
    QVERIFY(w().isVisible());
    QTest::keyClick(&w(), Qt::Key_Escape);
    QVERIFY(!w().isVisible());
  }

  void PageButtonsSwitchPagesAndTheCalibrationRefresh() {
    gui::CalibrationPage& calibration = w().calibration_page();
    const auto click = [&](Page page) {
      QTest::mouseClick(&w().left().page_button(page), Qt::LeftButton);
    };
    click(Page::kDataFlash);
    QCOMPARE(w().pages().currentIndex(), 1);
    QVERIFY(w().left().page_button(Page::kDataFlash).selected());
    QVERIFY(!w().left().page_button(Page::kSbs).selected());
    QVERIFY(!calibration.refreshing());
    click(Page::kCalibration);
    QCOMPARE(w().pages().currentIndex(), 2);
    QVERIFY(calibration.refreshing());
    click(Page::kCalibration);
    QVERIFY2(calibration.refreshing(), "the page already shown: nothing changes");
    QTest::keyClick(&w(), Qt::Key_4, Qt::ControlModifier);
    QCOMPARE(w().current_page(), Page::kSmbAccess);
    QVERIFY(!calibration.refreshing());
    click(Page::kCalibration);
    QVERIFY2(calibration.refreshing(), "coming back starts it again");
    click(Page::kSbs);
    QVERIFY(!calibration.refreshing());

    // Firmware jobs lock the main window's file commands and three pages, from any thread.
    std::thread([&] { f_->bench().main_ui().LockMainUi(); }).join();
    QTRY_VERIFY(!w().action(gui::MenuCommand::kStartDataLog).isEnabled());
    QVERIFY(!w().action(gui::MenuCommand::kOpenAllFlash).isEnabled());
    QVERIFY(!w().pages().widget(1)->isEnabled() && !w().pages().widget(3)->isEnabled());
    QVERIFY(w().pages().widget(0)->isEnabled() && w().subcmd().isEnabled());
    f_->bench().main_ui().UnlockMainUi();
    QTRY_VERIFY(w().action(gui::MenuCommand::kStartDataLog).isEnabled());
    QVERIFY(w().pages().widget(2)->isEnabled());
  }

  void ChargeGaugeFollowsTheCapacities() {
    // Nothing is scanned: the capacities are what this flow writes.
    const struct {
      std::int32_t full;
      std::int32_t remaining;
      const char* text;
      int bar;
    } steps[] = {
        {monitor::kNotRead, 500, "0.0%", 0},   // full capacity unread
        {2000, monitor::kNotRead, "0.0%", 0},  // remaining unread: unchanged
        {2000, 1000, "50.0%", 50},             //
        {1000, 1043, "104.3%", 100},           // above full: the text says so
        {0, 1000, "0.0%", 0},                  // no full capacity
        {2000, 2000, "100.0%", 100},
    };
    for (const auto& step : steps) {
      f_->SetRaw("Real FullChargeCapacity", step.full);
      f_->SetRaw("Real RemainingCapacity", step.remaining);
      w().OnChargeTimer();
      QCOMPARE(w().left().charge_text(), QString(step.text));
      QCOMPARE(w().left().gauge().value(), step.bar);
    }
  }

  void StatusBarShowsTaskProgress() {
    const struct {
      TaskKind kind;
      int total;
      int done;
      const char* pane1;
      bool bar;
      const char* pane2;
    } steps[] = {
        {TaskKind::kSbsScan, 0, 0, "SBS Task Progress: 0%", false, "  "},
        {TaskKind::kSbsScan, 10, 0, "SBS Task Progress: 0%", true, "  "},
        {TaskKind::kSbsScan, 10, 4, "SBS Task Progress: 40%", true, "  "},
        {TaskKind::kSbsScan, 10, 10, "SBS Task Progress: 100%", false, " Task Completed."},
        // Progress and the last task's "Task Completed." never stand together.
        {TaskKind::kSbsScan, 10, 5, "SBS Task Progress: 50%", true, "  "},
        {TaskKind::kDataFlash, 200, 0, "DF Task Progress: 0%", true, "  "},
        {TaskKind::kDataFlash, 200, 100, "DF Task Progress: 50%", true, "  "},
        {TaskKind::kDataFlash, 200, 200, "DF Task Progress: 100%", false, " Task Completed."},
    };
    for (const auto& step : steps) {
      f_->tool->progress().TaskProgress(step.kind, step.total, step.done);
      QTRY_VERIFY(w().status().pane(1) == step.pane1 && w().status().bar_shown() == step.bar &&
                  w().status().pane(2) == step.pane2);
    }
    QCOMPARE(w().status().bar().value(), 100);
  }

  void ScanOffAndOnAndASafetyAlarmTurnsItsBitRed() {
    gui::SbsPage& page = w().sbs_page();
    gui::StatusBitCtrl& safety_low =
        page.display(*monitor::SbsSession::DisplayIndex("Safety status L"));
    // COV is bit 1: the lower row, second cell from the right.
    const QPoint cov = gui::StatusBitCtrl::CellCentre(14);
    QCOMPARE(PixelAt(safety_low, cov), QColor(0xCFCFCF).rgb());  // not read: grey
    ScanAll();
    QTRY_VERIFY(page.model(TableId::kA).data(page.model(TableId::kA).index(9, 1)).toString() != "");
    QTRY_COMPARE(PixelAt(safety_low, cov), QColor(0x00BF7F).rgb());
    f_->gauge().RaiseSafetyAlarm(0x0002);
    QTRY_COMPARE(PixelAt(safety_low, cov), QColor(0xFF8080).rgb());
    QCOMPARE(safety_low.value() & 0x0002, 0x0002);

    QAction& off = w().action(gui::MenuCommand::kScanOff);
    QAction& on = w().action(gui::MenuCommand::kScanOn);
    QVERIFY(on.isChecked() && !on.isEnabled() && off.isEnabled());
    int rows = 0;
    const auto watch = f_->bench().monitor().engine().changes().Subscribe(
        [&](monitor::RowRef, const monitor::SbsRegisterDef&) { ++rows; });
    off.trigger();
    QVERIFY(off.isChecked() && !off.isEnabled() && on.isEnabled() && !on.isChecked());
    // Counted once a whole pass has begun after the switch (the row in progress may still end),
    // then two more whole passes read nothing.
    const auto passes = [&] { return f_->bench().monitor().worker()->passes(); };
    const long switched = passes();
    QTRY_VERIFY(passes() >= switched + 2);
    const int after_off = rows;
    const long counted = passes();
    QTRY_VERIFY(passes() >= counted + 2);
    QCOMPARE(rows, after_off);
    on.trigger();
    QTRY_VERIFY(rows > after_off + 10);
  }

  void DataLogStartsAndStopsIntoFiles() {
    QTemporaryDir directory;
    // The interval: out of range twice, then one second.
    gui::LoggingTimeDialog offered(2, f_->tool->messages());
    QCOMPARE(offered.choice().count(), 7);
    QCOMPARE(offered.choice().currentText(), QString("2"));
    for (const char* typed : {"61", "0", "1"}) f_->modal.Then(TypeInterval(typed));
    w().action(gui::MenuCommand::kSetLoggingTime).trigger();
    QVERIFY(f_->modal.done());
    QCOMPARE(w().logging_interval(), 1);
    QCOMPARE(f_->modal.boxes, QStringList(2, "Logging rate must be in range of 1 ~ 60 seconds!"));
    QCOMPARE(f_->modal.captions, QStringList(2, "Cellwarden"));
    QCOMPARE(f_->modal.icons.front(), QMessageBox::Information);

    gui::SbsPage& page = w().sbs_page();
    QTest::mouseClick(&page.button(monitor::RowSelection::kLogAll), Qt::LeftButton);
    const QString log_path = directory.filePath("run1");
    f_->modal.Then(ChooseFile(log_path));
    QAction& log = w().action(gui::MenuCommand::kStartDataLog);
    log.trigger();
    QCOMPARE(log.text(), Q(gui::messages::kStopLog));
    QVERIFY(!page.button(monitor::RowSelection::kClearScans).isEnabled());
    const QString file = log_path + ".LOG";
    QTRY_VERIFY_WITH_TIMEOUT(Lines(ReadFile(file)) >= 16, 10000);
    log.trigger();
    QCOMPARE(log.text(), Q(gui::messages::kStartLogAgain));
    QVERIFY(page.button(monitor::RowSelection::kClearScans).isEnabled());
    const std::string text = ReadFile(file);
    QVERIFY(text.starts_with("Cellwarden\tVersion: 3.07\tQuillmarsh Electronic LTD.\r\n"));
    QVERIFY(text.find("Sample        Stamp        Elapsed(s)        ManufactureAccess    ") !=
            std::string::npos);
    QVERIFY(text.find("\r\n1             ") != std::string::npos);
    QVERIFY(text.find("\r\n2             ") != std::string::npos);
    QTest::qWait(200);
    QCOMPARE(ReadFile(file), text);  // nothing written after the stop

    f_->modal.Then(ChooseFile(directory.filePath("run2"), Q(gui::messages::kCsvLogFilter)));
    log.trigger();
    const QString csv = directory.filePath("run2.csv");
    QTRY_VERIFY_WITH_TIMEOUT(Lines(ReadFile(csv)) >= 3, 10000);
    log.trigger();
    QVERIFY(ReadFile(csv).starts_with("Sample,Stamp,Elapsed(s),Manufacture Access (hex),"));
    QVERIFY2(f_->modal.boxes.size() == 2, "no message on the way");

    // The extension typed decides over the filter left at its first choice.
    f_->modal.Then(ChooseFile(directory.filePath("faultlog.csv")));
    log.trigger();
    const QString typed = directory.filePath("faultlog.csv");
    QTRY_VERIFY_WITH_TIMEOUT(Lines(ReadFile(typed)) >= 2, 10000);
    log.trigger();
    QVERIFY(ReadFile(typed).starts_with("Sample,Stamp,"));
    QVERIFY(!QFile::exists(typed + ".LOG"));
  }

  void RegisterEditIsWrittenToThePack() {
    gui::SbsPage& page = w().sbs_page();
    QTableView& list = page.list(TableId::kA);
    const int row = page.model(TableId::kA).RowOf("Remaining Cap. Alarm");
    list.setCurrentIndex(list.model()->index(row, gui::RegisterTableModel::kValue));
    auto* editor = OpenEditor(list);
    QVERIFY(editor != nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "321");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(f_->Text("Remaining Cap. Alarm"), std::string("321"));
    QCOMPARE(f_->GaugeWord(0x01), 321);
    QVERIFY2(w().isVisible(), "Enter in the editor commits, it does not close anything");

    // A value the row's format does not take is refused with a message, nothing sent.
    list.setCurrentIndex(list.model()->index(row, gui::RegisterTableModel::kValue));
    editor = OpenEditor(list);
    QVERIFY(editor != nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "zz");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(f_->modal.boxes.size(), qsizetype{1});
    QVERIFY(f_->modal.boxes[0].contains("\"zz\" is not a valid value for Remaining Cap. Alarm"));
    QCOMPARE(f_->modal.icons[0], QMessageBox::Warning);  // the application's own box
    QCOMPARE(f_->GaugeWord(0x01), 321);

    // Log and Scan cells: a logged row is always scanned.
    const int voltage = page.model(TableId::kA).RowOf("Voltage");
    const auto ticked = [&](int column) {
      return page.model(TableId::kA).index(voltage, column).data(Qt::CheckStateRole) == Qt::Checked;
    };
    TickCell(list, voltage, gui::RegisterTableModel::kLog);
    QTRY_VERIFY(ticked(gui::RegisterTableModel::kLog) && ticked(gui::RegisterTableModel::kScan));
    TickCell(list, voltage, gui::RegisterTableModel::kScan);
    QTRY_VERIFY(!ticked(gui::RegisterTableModel::kLog) && !ticked(gui::RegisterTableModel::kScan));
  }

  // An entry that is not whole hex is no code: the input message, and nothing on the bus.
  void SubCmdEntryThatIsNotHexSendsNothing() {
    gui::SubCmdPanelWidget& panel = w().subcmd();
    f_->bench().PauseScan();
    BusCounter bus(*f_->bench().sim_pack());
    for (const char* typed : {"zz", "12x", "0x"}) {
      panel.entry().setFocus();
      QTest::keyClicks(&panel.entry(), typed);
      QTest::keyClick(&panel.entry(), Qt::Key_Return);
      QTRY_VERIFY(f_->tool->worker().idle());
    }
    QTRY_COMPARE(f_->modal.boxes, QStringList(3, Q(app::messages::kSubCmdInputInvalid)));
    QCOMPARE(panel.log().rowCount(), 0);
    QCOMPARE(bus.transactions.load(), 0);
    f_->bench().ResumeScan();
  }

  void SubCmdEntriesButtonsAndUnseal() {
    gui::SubCmdPanelWidget& panel = w().subcmd();
    QTableWidget& log = panel.log();
    const auto last_cmd = [&] {
      return log.rowCount() == 0 ? QString() : log.item(log.rowCount() - 1, 0)->text();
    };
    const auto click = [&](std::string_view label) {
      QTRY_VERIFY(f_->tool->worker().idle());
      QTest::mouseClick(&panel.button(label), Qt::LeftButton);
      QTRY_VERIFY(f_->tool->worker().idle());
    };
    const auto enter = [&](const char* text) {
      panel.entry().setFocus();
      QTest::keyClicks(&panel.entry(), text);
      QTest::keyClick(&panel.entry(), Qt::Key_Return);
      QCOMPARE(panel.entry().text(), QString());
      QTRY_VERIFY(f_->tool->worker().idle());
    };
    enter("0a");
    enter("5 4");
    QCOMPARE(f_->modal.boxes, (QStringList{"The SubCMD of 0x0a is invalid!",
                                           "The SubCMD of 0x54 can't be writed from here!"}));
    QCOMPARE(log.rowCount(), 0);
    enter("9");
    enter("1d");
    QTRY_COMPARE(log.rowCount(), 2);
    QCOMPARE(log.item(0, 0)->text(), QString("0x0009 R"));
    QVERIFY(log.item(0, 1)->text().startsWith("0x"));
    QCOMPARE(log.item(0, 1)->foreground().color(), QColor(Qt::black));
    QCOMPARE(log.item(1, 0)->text(), QString("0x001D W"));
    QCOMPARE(log.item(1, 1)->text(), QString("N/A"));
    f_->bench().sim_pack()->Unplug();
    click("DEVICE_TYPE");
    QTRY_COMPARE(log.rowCount(), 3);
    QCOMPARE(log.item(2, 1)->text(), QString("Fail"));
    QCOMPARE(log.item(2, 1)->foreground().color(), QColor(0xFF0000));
    f_->bench().sim_pack()->Plug();
    QTest::mouseClick(panel.findChildren<QPushButton*>().back(), Qt::LeftButton);  // Clear Log
    QTRY_COMPARE(log.rowCount(), 0);

    // SEAL, then UNSEAL with the stored key: unsealed, no key dialog. The key's two words must
    // reach the gauge within 4 s of its clock, which the idle scan would race through.
    f_->bench().PauseScan();
    click("SEAL");
    QTRY_COMPARE(f_->gauge().seal_state(), sim::SealState::kSealed);
    click("UNSEAL");
    QTRY_COMPARE(f_->gauge().seal_state(), sim::SealState::kUnsealed);
    QTRY_VERIFY(f_->tool->worker().idle());
    QVERIFY(panel.unseal_dialog() == nullptr);
    QTRY_COMPARE(last_cmd(), QString("0x3B9E61D4"));

    // A pack with another key: the dialog asks, and the key typed there unseals it.
    click("SEAL");
    QTRY_COMPARE(f_->gauge().seal_state(), sim::SealState::kSealed);
    sim::GaugeState state = f_->gauge().State();
    state.unseal_key = 0x11223344;
    f_->gauge().Restore(state);
    click("UNSEAL");
    QTRY_VERIFY(panel.unseal_dialog() != nullptr);
    QCOMPARE(panel.unseal_dialog()->key_text(), QString("3B9E61D4"));
    panel.unseal_dialog()->key_edit().setText("11223344");
    QTest::keyClick(&panel.unseal_dialog()->key_edit(), Qt::Key_Return);
    QTRY_COMPARE(f_->gauge().seal_state(), sim::SealState::kUnsealed);
    QTRY_COMPARE(last_cmd(), QString("0x11223344"));

    // No adapter: nothing is known of the lock. A box says so; no key dialog suggests that the
    // key was wrong.
    f_->bench().sim_pack()->Unplug();
    f_->modal.boxes.clear();
    click("UNSEAL");
    QTRY_VERIFY(f_->tool->worker().idle());
    // The key that went unconfirmed and the unknown state; the link's note is the banner's.
    QTRY_COMPARE(f_->modal.boxes.size(), qsizetype{2});
    QVERIFY(w().link_banner().isVisible());
    QCOMPARE(f_->modal.boxes.back(), Q(app::messages::kLockStateUnknown));
    QVERIFY(panel.unseal_dialog() == nullptr || !panel.unseal_dialog()->isVisible());
    f_->bench().sim_pack()->Plug();
  }

  void ChartReceivesSamplesAndExportsThem() {
    gui::SbsPage& page = w().sbs_page();
    ScanAll();
    QTabBar& tabs = page.tabs();
    QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.tabRect(2).center());
    QCOMPARE(page.findChild<QGroupBox*>()->title(), QString("Live Chart"));
    QChart* chart = page.chart().chart();
    QTRY_COMPARE(chart->series().size(), qsizetype{5});
    const auto points = [&](int index) {
      return static_cast<QLineSeries*>(chart->series()[index])->count();
    };
    QTRY_VERIFY(points(1) > 3);
    QCOMPARE(chart->series()[1]->name(), QString("Voltage"));

    QTemporaryDir directory;
    const QString csv = directory.filePath("chart.csv");
    QVERIFY(page.chart().ExportCsv(csv));
    const std::string text = ReadFile(csv);
    QVERIFY(
        text.starts_with("Time (s),Temperature ('C),Voltage (mV),Current (mA),Relative State "
                         "of Charge (%),TS1 Temperature ('C)\r\n"));
    QVERIFY(Lines(text) > 3);
    const QString png = directory.filePath("chart.png");
    QVERIFY(page.chart().ExportPng(png));
    QVERIFY(QImage(png).width() > 100);
    QVERIFY(!page.chart().ExportCsv(directory.filePath("missing/chart.csv")));
    QTRY_COMPARE(f_->modal.boxes.size(), qsizetype{1});

    // Pause holds the window while the samples keep coming.
    auto* pause = page.chart().findChild<QPushButton*>();
    QTest::mouseClick(pause, Qt::LeftButton);
    QVERIFY(page.chart().samples().paused());
    const double end = page.chart().samples().View(10).end_seconds;
    QTest::qWait(100);
    QCOMPARE(page.chart().samples().View(10).end_seconds, end);
  }

  void BasicsAtAGlance() {
    // On a 1280 x 720 screen the window fits, and the page scrolls to its last column.
    w().resize(1280, 720);
    QTRY_COMPARE(w().size(), QSize(1280, 720));
    auto* scroller = w().findChild<QScrollArea*>("pages_scroller");
    QVERIFY(scroller != nullptr);
    QScrollBar* bar = scroller->horizontalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    const QPoint last = w().pages().mapTo(scroller->viewport(), QPoint(w().pages().width() - 1, 0));
    QVERIFY(scroller->viewport()->rect().contains(last));
    QCOMPARE(w().action(gui::MenuCommand::kOpenAllFlash).shortcut(),
             QKeySequence(QKeySequence::Open));
    QCOMPARE(w().action(gui::MenuCommand::kSaveAllFlash).shortcut(),
             QKeySequence(QKeySequence::Save));
    QCOMPARE(w().subcmd().button("CHEM_ID").toolTip(),
             QString("Sends subcommand 0x0006 through ManufacturerBlockAccess"));

    // Nothing is read before the user ticks Scan, and the page says how to start.
    auto* hint = w().sbs_page().findChild<QLabel*>("scan_hint");
    QVERIFY(hint != nullptr && hint->isVisible());
    QCOMPARE(hint->text(), QString("Tick Scan, or press Scan All, to read the pack"));

    // The seal state beside the charge gauge follows Operation Status as the scan reads it.
    QCOMPARE(w().left().seal_text(), QString("Seal: scan Operation Status"));
    // The lists stay where they are when the hint goes: the next click lands on the row aimed at.
    const QTableView* list = w().sbs_page().findChild<QTableView*>();
    const QPoint list_at = list->mapTo(&w(), QPoint(0, 0));
    ScanAll();
    QTRY_VERIFY(!hint->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCOMPARE(list->mapTo(&w(), QPoint(0, 0)), list_at);
    const auto seal = [&] {
      w().OnChargeTimer();
      return w().left().seal_text();
    };
    for (const auto& [state, text] : {std::pair{sim::SealState::kSealed, "Sealed"},
                                      {sim::SealState::kFullAccess, "Full access"},
                                      {sim::SealState::kUnsealed, "Unsealed"}}) {
      f_->gauge().SetSealState(state);
      QTRY_COMPARE(seal(), QString(text));
    }
    QTest::mouseClick(&w().sbs_page().button(monitor::RowSelection::kClearScans), Qt::LeftButton);
    QTRY_VERIFY(hint->isVisible());
  }

  void LayoutAndChoicesSurviveARestart() {
    const auto restart = [&] {
      w().close();
      QTRY_VERIFY(!w().isVisible());
      f_ = std::make_unique<GuiFixture>("sim:clock=virtual", true);
      QVERIFY(QTest::qWaitForWindowExposed(&w()));
    };
    const auto tick_two_rows = [&] {
      f_->bench().sbs().ToggleScan({TableId::kA, 1});
      f_->bench().sbs().ToggleLog({TableId::kB, 2});
    };
    const auto ticked = [&] {
      const monitor::RegisterTable table = f_->bench().monitor().engine().Snapshot();
      return std::tuple{table.rows(TableId::kA)[1].scan, table.rows(TableId::kA)[1].log,
                        table.rows(TableId::kB)[2].scan, table.rows(TableId::kB)[2].log};
    };
    const auto voltage_shown = [&] {
      gui::ChartPanel& chart = w().sbs_page().chart();
      const auto rows = chart.samples().shown_rows();
      return std::any_of(rows.begin(), rows.end(), [&](monitor::RowRef row) {
        return f_->bench().monitor().engine().Snapshot().row(row).name == "Voltage";
      });
    };

    // The option is off: the layout and the chart come back, the ticks do not.
    QVERIFY(!w().restore_selection().isChecked());
    const QSize size = w().minimumSizeHint().expandedTo({1100, 700}) + QSize(40, 30);
    w().resize(size);
    gui::ChartPanel& chart = w().sbs_page().chart();
    chart.findChild<QComboBox*>()->setCurrentIndex(2);  // 15 min
    QListWidget* list = chart.findChild<QListWidget*>();
    list->findItems("Voltage", Qt::MatchStartsWith).front()->setCheckState(Qt::Unchecked);
    QVERIFY(!voltage_shown());
    tick_two_rows();
    w().SetLoggingInterval(7);
    restart();
    QCOMPARE(w().size(), size);
    QCOMPARE(w().sbs_page().chart().samples().window(), common::Millis{900'000});
    QVERIFY(!voltage_shown());
    QCOMPARE(ticked(), std::tuple(false, false, false, false));
    QCOMPARE(w().logging_interval(), 2);

    // With the option on, the ticks and the interval come back too.
    w().restore_selection().trigger();
    tick_two_rows();
    w().SetLoggingInterval(7);
    restart();
    QVERIFY(w().restore_selection().isChecked());
    QCOMPARE(ticked(), std::tuple(true, false, true, true));
    QCOMPARE(w().logging_interval(), 7);
  }

  void CommandLineAnswersWithoutADisplay() {
    struct Run {
      int status;
      QString out;
      QString err;
    };
    const auto run = [](const QStringList& arguments) {
      QProcess program;
      QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
      for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(name);
      }
      program.setProcessEnvironment(environment);
      program.start(CELLWARDEN_GUI, arguments);
      program.waitForFinished(30'000);
      return Run{program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
                 program.readAllStandardOutput(), program.readAllStandardError()};
    };
    const Run help = run({"--help"});
    QCOMPARE(help.status, 0);
    for (const char* option : {"--device", "--sim", "--sim-state", "--pid", "--serial-prefix"}) {
      QVERIFY2(help.out.contains(option), option);
    }
    QVERIFY(help.out.contains("--production"));
    QVERIFY(help.out.contains("--view"));
    // Data logs open with --view; a file named without it is a usage error, not ignored.
    const Run stray_file = run({"--sim", "run1.LOG"});
    QCOMPARE(stray_file.status, 2);
    QVERIFY(stray_file.err.contains("--view"));
    QCOMPARE(run({"--view", "run1.LOG"}).status, 2);
    // Qt's own options are refused, so no option lists them or starts the window instead.
    QCOMPARE(run({"--help-all"}).status, 2);
    const Run version = run({"--version"});
    QCOMPARE(version.status, 0);
    QVERIFY(version.out.startsWith("cellwarden ") && version.out.endsWith("\n"));
    const Run no_display = run({"--sim"});
    QCOMPARE(no_display.status, 2);
    QVERIFY(no_display.err.contains("needs a display"));
    const Run bad_pid = run({"--sim", "--pid", "zz"});
    QCOMPARE(bad_pid.status, 2);
    QVERIFY(bad_pid.err.contains("--pid \"zz\""));
  }

  // A logout or a kill ends the window as its close box does, and the pack's changes are kept.
  void SignalsCloseTheWindowAndSaveThePack() {
    for (const int signal : {SIGTERM, SIGINT}) {
      QTemporaryDir directory;
      const QString state = directory.filePath("pack.json");
      QProcess program;
      QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
      environment.insert("QT_QPA_PLATFORM", "offscreen");
      environment.insert("XDG_CONFIG_HOME", directory.path());
      program.setProcessEnvironment(environment);
      program.start(CELLWARDEN_GUI, {"--device", "sim:clock=virtual", "--sim-state", state});
      // The pack holds its state file's lock from the moment the window drives it.
      QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(state + ".lock"), 60'000);
      ::kill(static_cast<pid_t>(program.processId()), signal);
      QVERIFY(program.waitForFinished(60'000));
      QCOMPARE(program.exitStatus(), QProcess::NormalExit);
      QCOMPARE(program.exitCode(), 0);
      QVERIFY2(QFile::exists(state), "the state file is written on the way out");
      QVERIFY(!QFile::exists(state + ".lock"));
    }
  }

  void EveryPageFitsA1366By768Screen() {
    // On a 1366 x 768 screen, at the size the first start takes there, every page is whole:
    // nothing to scroll to.
    w().resize(1350, 720);
    QTRY_COMPARE(w().size(), QSize(1350, 720));
    const auto* scroller = w().findChild<QScrollArea*>("pages_scroller");
    for (const gui::Page page :
         {gui::Page::kSbs, gui::Page::kDataFlash, gui::Page::kCalibration, gui::Page::kSmbAccess}) {
      w().SelectPage(page);
      QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
      QCOMPARE(scroller->horizontalScrollBar()->maximum(), 0);
      QCOMPARE(scroller->verticalScrollBar()->maximum(), 0);
    }
    w().SelectPage(gui::Page::kSbs);
  }

  void LinkLossIsABannerAndAGapInTheChart() {
    gui::SbsPage& page = w().sbs_page();
    ScanAll();
    QTabBar& tabs = page.tabs();
    QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.tabRect(2).center());
    gui::ChartPanel& chart = page.chart();
    chart.findChild<QComboBox*>()->setCurrentIndex(3);  // 1 h
    const auto voltage = [&] { return chart.samples().View(1000).series.at(1); };
    QTRY_VERIFY(voltage().points.size() > 3);
    QVERIFY(!w().link_banner().isVisible());
    QTableView& list = page.list(monitor::TableId::kA);
    const QPoint list_at = list.mapTo(&w(), QPoint(0, 0));

    f_->modal.boxes.clear();
    f_->bench().sim_pack()->Unplug();
    QTRY_VERIFY((w().OnClockTimer(), w().link_banner().isVisible()));
    QVERIFY(w().link_banner().text().contains("USB Disconnected"));
    // The banner stands beside the menus: the lists stay where the pointer left them.
    QCOMPARE(list.mapTo(&w(), QPoint(0, 0)), list_at);
    const QMenuBar& menus = *w().menuBar();
    QVERIFY(w().link_banner().geometry().left() >
            menus.actionGeometry(menus.actions().back()).right());
    QVERIFY(!QApplication::activeModalWidget());
    const double lost = voltage().points.back().seconds;
    // Five minutes without the adapter; then it answers again and the banner goes, no box shown.
    dynamic_cast<common::ManualClock&>(f_->bench().clock()).Advance(common::Millis{300'000});
    f_->bench().sim_pack()->Plug();
    QTRY_VERIFY(Linked());
    QVERIFY(!w().link_banner().isVisible());
    QCOMPARE(f_->modal.boxes, QStringList{});

    // The line stops where the reads stopped and starts again after them: no ramp across.
    QTRY_VERIFY(voltage().points.back().seconds > lost + 300);
    QTest::mouseClick(chart.findChild<QPushButton*>(), Qt::LeftButton);  // Pause
    chart.Redraw();
    QCOMPARE(voltage().name, std::string("Voltage"));
    QCOMPARE(chart.SegmentCount(1), 2);
  }

  void AGaugeLeftInItsBootLoaderIsNamedWithWhatRecoversIt() {
    QTRY_VERIFY(Linked());
    sim::GaugeState state = f_->gauge().State();
    state.boot.mode = sim::BootMode::kUpdate;
    state.boot.status = 0x0180;
    f_->gauge().Restore(state);
    f_->bench().monitor().engine().RequestStaticRefresh();
    QTRY_VERIFY((w().OnClockTimer(), w().link_banner().isVisible()));
    QCOMPARE(w().link_banner().text(), gui::Q(presentation::messages::kBootLoaderBanner));
    QCOMPARE(w().status().pane(0), QString("Target Board Not Responding"));
    // Its firmware back (as an update leaves it): the banner goes.
    state.boot = {};
    f_->gauge().Restore(state);
    QTRY_VERIFY((w().OnClockTimer(), !w().link_banner().isVisible()));
  }

  void HelpAboutAndToolWindows() {
    // Help: without the application note, the user guide in the help window; with it, the
    // desktop opens the note.
    UrlRecorder opener;
    const QStringList& opened = opener.opened;
    QDesktopServices::setUrlHandler("file", &opener, "Open");
    const auto document =
        app::ProgramDirectory() / std::string(presentation::messages::kHelpDocument);
    std::filesystem::remove(document);
    w().action(gui::MenuCommand::kHelpContents).trigger();
    QVERIFY(opened.isEmpty());
    QVERIFY(w().help_window() != nullptr && w().help_window()->isVisible());
    QVERIFY(w().help_window()->browser().toPlainText().contains("Cellwarden Tools user guide"));
    QVERIFY(w().help_window()->browser().source().toLocalFile().endsWith("user-guide.md"));
    w().help_window()->close();
    std::ofstream(document) << "%PDF-1.4\n";
    w().action(gui::MenuCommand::kHelpContents).trigger();
    std::filesystem::remove(document);
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(opened, QStringList{QString::fromStdString(document.string())});

    w().action(gui::MenuCommand::kAboutCommand).trigger();
    gui::AboutDialog* about = nullptr;
    QTRY_VERIFY((about = w().findChild<gui::AboutDialog*>()) != nullptr);
    QVERIFY(about->version_text().startsWith("Program Version :   3.07      "));
    QVERIFY(about->version_text().contains("MCU Version :"));
    QCOMPARE(about->windowTitle(), QString("About KT580714pc"));
    about->close();

    // A command given twice before its window is up opens one window.
    w().action(gui::MenuCommand::kFirmwareUpdate).trigger();
    w().action(gui::MenuCommand::kFirmwareUpdate).trigger();
    QTRY_VERIFY(w().tools().window(gui::ToolKind::kFirmware) != nullptr);
    QTRY_VERIFY(f_->tool->worker().idle());
    QCOMPARE(w().findChildren<gui::ToolWindow*>().size(), qsizetype{1});
  }
};

}  // namespace cw::test

int main(int argc, char** argv) {
  QStandardPaths::setTestModeEnabled(true);
  QApplication application(argc, argv);
  cw::gui::ApplyProductLook(application);
  cw::test::GuiFlows flows;
  int failed = QTest::qExec(&flows, argc, argv);
  for (const auto& more :
       {cw::test::DataFlashFlows, cw::test::PageFlows, cw::test::ToolWindowFlows}) {
    failed += QTest::qExec(more().get(), argc, argv);
  }
  return failed;
}

#include "gui_test.moc"
