// Walks the desktop program on the simulated pack and saves a picture of the main window on each
// page and of each dialog, for the user guide. Run by scripts/screenshots under Xvfb.
// Usage: gui_screenshots OUTPUT_DIRECTORY
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <tuple>

#include "common/clock.h"
#include "dataflash/data_flash_session.h"
#include "gui/about_dialog.h"
#include "gui/app_icon.h"
#include "gui/calibration_page.h"
#include "gui/chart_panel.h"
#include "gui/data_flash_page.h"
#include "gui/flash_tip.h"
#include "gui/help_window.h"
#include "gui/left_column.h"
#include "gui/logging_time_dialog.h"
#include "gui/main_status_bar.h"
#include "gui/messages.h"
#include "gui/page_button.h"
#include "gui/param_list_model.h"
#include "gui/production/lane_tile.h"
#include "gui/production/production_header.h"
#include "gui/production/production_window.h"
#include "gui/production/records_panel.h"
#include "gui/production/report_dialog.h"
#include "gui/qt_text.h"
#include "gui/run_viewer.h"
#include "gui/sbs_page.h"
#include "gui/smb_access_page.h"
#include "gui/subcmd_panel_widget.h"
#include "gui/tools/authentication_window.h"
#include "gui/tools/bin_converter_window.h"
#include "gui/tools/file_field.h"
#include "gui/tools/firmware_tool_window.h"
#include "gui/tools/fs_converter_window.h"
#include "gui/tools/tool_launcher.h"
#include "gui/unseal_dialog.h"
#include "gui_fixture.h"
#include "monitor/data_log.h"
#include "monitor/local_time.h"
#include "monitor/monitor_session.h"
#include "monitor/sbs_session.h"
#include "sim/pack_measurements.h"
#include "sim/sim_gauge.h"
#include "sim/sim_pack.h"
#include "support/recipe_folder.h"
#include "update_hold.h"

namespace {

using namespace cw;

QString output;
int saved = 0;
// One for each Save() below: a page or window that did not open is a failed tour.
constexpr int kPictures = 25;

void Save(QWidget& widget, const QString& name) {
  const QString path = QDir(output).filePath(name + ".png");
  if (widget.grab().save(path)) {
    ++saved;
    std::printf("%s\n", qPrintable(path));
  } else {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  }
}

// Lets the window settle: the scan, the relays and the chart for `ms` of real time.
void Settle(int ms) { QTest::qWait(ms); }

void WaitFor(const std::function<bool()>& condition) {
  QElapsedTimer timer;
  timer.start();
  while (!condition() && timer.elapsed() < 10000) QTest::qWait(20);
}

// The Production window on four simulated packs, the third one faulty, on a program of its own:
// in the middle of a run (the first pack's firmware held on the bus) and after it.
void TourProductionWindow(const QString& scratch) {
  const test::RecipeFolder line(gui::S(scratch));
  const std::filesystem::path recipe = line.Write("pack-line", line.FullSteps());
  test::GuiFixture packs("sim:packs=4:clock=virtual:faults=safety-alarm=0002@3");
  if (!packs.Ready()) return;
  packs.window().action(gui::MenuCommand::kProductionCommand).trigger();
  QPointer<gui::ProductionWindow> production = packs.window().findChild<gui::ProductionWindow*>();
  if (!production) return;
  production->resize(1280, 860);
  production->show();
  production->header().operator_field().setText("A. Operator");
  production->header().station_field().setText("line-1");
  QLineEdit& records = production->header().records_field();
  records.setText(QDir(scratch).filePath("records.sqlite"));
  emit records.editingFinished();
  production->OpenRecipe(QString::fromStdString(recipe.string()));
  WaitFor([&] { return production->station() != nullptr && production->tiles().size() == 4; });
  {
    test::UpdateHold hold(*packs.bench().sim_pack(), 40);
    production->StartAll();
    WaitFor([&] { return hold.held(); });
    Settle(1500);
    Save(*production, "production-running");
    hold.Release();
  }
  WaitFor([&] {
    return !production->holding() && production->idle() &&
           production->records().table().rowCount() == 4;
  });
  Settle(600);
  Save(*production, "production-done");
  // The failed pack's report, from its row.
  gui::RecordsPanel& runs = production->records();
  for (int row = 0; row < runs.table().rowCount(); ++row) {
    if (runs.table().item(row, 4)->text() == "fail") runs.table().selectRow(row);
  }
  runs.report_button().click();
  WaitFor([&] { return runs.report() != nullptr; });
  if (gui::ReportDialog* report = runs.report()) {
    report->resize(900, 1000);
    Settle(600);
    Save(*report, "production-report");
    report->close();
  }
  production->close();
  WaitFor([&] { return production.isNull(); });
}

}  // namespace

// Two runs of a simulated pack written by the product's data log, an hour each at one line every
// 2 s, the second under a heavier load, the first with the adapter lost for two minutes; laid over
// each other in the data log viewer with the cursor on the first run's gap. On a program of its
// own, so that current flows.
void TourRunViewer(const QString& scratch) {
  test::GuiFixture f;
  if (!f.Ready()) return;
  monitor::ScanEngine& engine = f.bench().monitor().engine();
  auto& clock = dynamic_cast<common::ManualClock&>(f.bench().clock());
  engine.WithTable([](monitor::RegisterTable& table) {
    for (const char* name : {"Voltage", "Current", "Temperature", "Relative State of Charge"}) {
      table.FindRow(name)->log = true;
      table.FindRow(name)->scan = true;
    }
  });
  const auto current = [&] {
    const monitor::RegisterTable table = engine.Snapshot();
    return table.Current(*table.FindRow("Voltage"));
  };
  QStringList files;
  for (const auto& [name, hour, load] :
       {std::tuple{"monday.LOG", 9, -1500}, std::tuple{"tuesday.LOG", 14, -2600}}) {
    sim::PackMeasurements pack;
    pack.current_ma = static_cast<std::int16_t>(load);
    pack.average_current_ma = pack.current_ma;
    pack.relative_soc = 95;
    pack.remaining_capacity_mah = 4270;
    f.gauge().SetMeasurements(pack);
    WaitFor(current);
    std::tm start{};
    start.tm_year = 2026 - 1900;
    start.tm_mon = 11;
    start.tm_mday = 8;
    start.tm_hour = hour;
    monitor::FixedLocalTime time(start);
    monitor::DataLog log(engine, time);
    files << QDir(scratch).filePath(name);
    if (!log.StartLog(gui::S(files.back()), 2)) return;
    constexpr int kLines = 1800;
    for (int line = 0; line < kLines; ++line) {
      const bool lost = files.size() == 1 && line >= 700 && line < 760;
      if (lost && line == 700) {
        f.bench().sim_pack()->Unplug();
        WaitFor([&] { return !current(); });
      }
      if (files.size() == 1 && line == 760) {
        f.bench().sim_pack()->Plug();
        WaitFor(current);
      }
      clock.Advance(common::Millis{2000});
      QTest::qWait(2);
      std::tm now = start;
      now.tm_sec = 2 * line;
      std::mktime(&now);
      time.Set(now);
      if (!log.WriteLogLine()) return;
    }
  }
  gui::RunViewer& viewer = f.window().run_viewer();
  viewer.resize(1200, 720);
  viewer.show();
  viewer.Open(files);
  WaitFor([&] { return viewer.reading() == 0 && !viewer.thinning(); });
  viewer.SetCursorAt(1460);
  Settle(300);
  Save(viewer, "run-viewer");
  viewer.close();
}

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  gui::ApplyProductLook(application);
  if (argc < 2) {
    std::fprintf(stderr, "usage: gui_screenshots OUTPUT_DIRECTORY\n");
    return 2;
  }
  output = argv[1];
  QDir().mkpath(output);
  gui::AppIconImage(256).save(QDir(output).filePath("cellwarden.png"));

  test::GuiFixture f;
  if (!f.tool) return 1;
  gui::MainWindow& window = f.window();
  window.resize(window.sizeHint());
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  gui::SbsPage& page = window.sbs_page();

  // The Calibration page before anything was scanned: nothing measured is made up.
  QTest::mouseClick(&window.left().page_button(gui::Page::kCalibration), Qt::LeftButton);
  window.calibration_page().Refresh();
  Settle(600);
  Save(window, "main-calibration-unscanned");
  QTest::mouseClick(&window.left().page_button(gui::Page::kSbs), Qt::LeftButton);

  // A pack in use: every register scanned, a few subcommands sent, one safety alarm raised.
  QTest::mouseClick(&page.button(monitor::RowSelection::kScanAll), Qt::LeftButton);
  gui::SubCmdPanelWidget& panel = window.subcmd();
  for (const char* label : {"DEVICE_TYPE", "FW_VERSION", "HW_VERSION", "CHEM_ID"}) {
    WaitFor([&] { return f.tool->worker().idle(); });
    QTest::mouseClick(&panel.button(label), Qt::LeftButton);
  }
  WaitFor([&] { return f.tool->worker().idle(); });

  // The chart first, while current flows: the alarm below opens the FETs.
  QTabBar& tabs = page.tabs();
  tabs.setCurrentIndex(2);
  page.chart().findChild<QComboBox*>()->setCurrentIndex(3);
  Settle(3000);
  Save(window, "main-sbs-chart");

  // The adapter unplugged: the banner says why; two minutes later it answers again, and the chart
  // shows the gap where nothing was read.
  f.bench().sim_pack()->Unplug();
  WaitFor([&] {
    window.OnClockTimer();
    return window.link_banner().isVisible() && window.status().pane(0) == "USB Disconnected";
  });
  Settle(600);
  Save(window, "main-link-lost");
  dynamic_cast<common::ManualClock&>(f.bench().clock()).Advance(common::Millis{120'000});
  f.bench().sim_pack()->Plug();
  WaitFor([&] {
    window.OnClockTimer();
    return !window.link_banner().isVisible();
  });
  Settle(2000);
  Save(window, "main-sbs-chart-gap");
  tabs.setCurrentIndex(0);

  // A pack an update left in its boot loader: the banner names it and what recovers it.
  sim::GaugeState interrupted = f.gauge().State();
  interrupted.boot.mode = sim::BootMode::kUpdate;
  interrupted.boot.status = 0x0180;
  f.gauge().Restore(interrupted);
  f.bench().monitor().engine().RequestStaticRefresh();
  WaitFor([&] {
    window.OnClockTimer();
    return window.link_banner().isVisible();
  });
  Settle(600);
  Save(window, "main-boot-loader");
  interrupted.boot = {};
  f.gauge().Restore(interrupted);
  WaitFor([&] {
    window.OnClockTimer();
    return !window.link_banner().isVisible();
  });

  f.gauge().RaiseSafetyAlarm(0x0002);
  WaitFor([&] {
    window.OnClockTimer();
    window.OnChargeTimer();
    return window.status().pane(0) == "USB Connected" && f.Raw("Safety Status") > 0;
  });
  Settle(600);
  window.OnChargeTimer();
  Save(window, "main-sbs");
  // The size the first start takes on a 1366 x 768 screen: every list and button in sight.
  const QSize full = window.size();
  window.resize(1350, 720);
  Settle(600);
  Save(window, "main-sbs-1366x768");
  window.resize(full);
  Settle(300);

  tabs.setCurrentIndex(1);
  Settle(300);
  Save(window, "main-sbs-static");
  tabs.setCurrentIndex(0);

  const auto idle = [&] { WaitFor([&] { return f.tool->worker().idle(); }); };

  // The data flash page after a Read All, with the bit view of Operation Cfg A open.
  QTest::mouseClick(&window.left().page_button(gui::Page::kDataFlash), Qt::LeftButton);
  gui::DataFlashPage& flash = window.data_flash_page();
  QTest::mouseClick(&flash.read_all(), Qt::LeftButton);
  idle();
  flash.tabs().setCurrentIndex(4);
  const auto click_name = [&](std::size_t list, std::string_view name) {
    QTableView& view = flash.list(list);
    const QModelIndex cell = flash.model(list).index(flash.model(list).ViewRowOf(name), 0);
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.visualRect(cell).center());
  };
  click_name(12, "Operation Cfg A");
  QTest::mouseClick(&flash.bit_view(), Qt::LeftButton, {}, QPoint(160, 24));
  Settle(600);
  Save(window, "main-flash");

  // Filtered, compared with a file saved before an edit, and an edit held for Write All.
  flash.bit_view().Revert();
  const QString before = QDir(output).filePath("before.afi");
  f.bench().data_flash().SaveGaugeToAfi(gui::S(before));
  f.bench().data_flash().WriteValue(*dataflash::FindParam("CUV Threshold"), "2650");
  flash.CompareWith(gui::S(before));
  idle();
  QFile::remove(before);
  flash.hold().setChecked(true);
  flash.filter().setText("Th");
  QTableView& list = flash.list(0);
  const QModelIndex held = flash.model(0).index(flash.model(0).ViewRowOf("LT COV Threshold"),
                                                gui::ParamListModel::kValue);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(held).center());
  for (QLineEdit* editor : list.findChildren<QLineEdit*>()) {
    if (!editor->isVisible()) continue;
    editor->setText("4250");
    QTest::keyClick(editor, Qt::Key_Return);
  }
  list.clearSelection();
  list.setCurrentIndex({});
  Settle(600);
  Save(window, "main-flash-compare");
  flash.filter().clear();
  flash.hold().setChecked(false);

  // Calibration: references typed, the board offset calibrated.
  QTest::mouseClick(&window.left().page_button(gui::Page::kCalibration), Qt::LeftButton);
  gui::CalibrationPage& calibration = window.calibration_page();
  for (std::size_t i = 0; i < 4; ++i) calibration.cell(i).setText("3700");
  calibration.voltage_check().setChecked(true);
  calibration.temperature(0).setText("25.0");
  calibration.ts_check(0).setChecked(true);
  calibration.current().setText("-2000");
  QTest::mouseClick(&calibration.offset_button(), Qt::LeftButton);
  idle();
  Settle(1200);
  Save(window, "main-calibration");

  // SMB access: a word and a block read.
  QTest::mouseClick(&window.left().page_button(gui::Page::kSmbAccess), Qt::LeftButton);
  gui::SmbAccessPage& smb = window.smb_access_page();
  smb.command(gui::SmbAccessPage::kReadWord).setText("9");
  QTest::mouseClick(&smb.button(gui::SmbAccessPage::kReadWord), Qt::LeftButton);
  idle();
  smb.command(gui::SmbAccessPage::kReadBlock).setText("71");
  QTest::mouseClick(&smb.button(gui::SmbAccessPage::kReadBlock), Qt::LeftButton);
  idle();
  smb.command(gui::SmbAccessPage::kWriteBlock).setText("2F");
  smb.block_data().setPlainText("01 02 03 04");
  Settle(300);
  Save(window, "main-pro");
  QTest::mouseClick(&window.left().page_button(gui::Page::kSbs), Qt::LeftButton);

  // Dialogs.
  f.modal.Then([](QWidget* modal) {
    if (qobject_cast<gui::LoggingTimeDialog*>(modal) == nullptr) return false;
    Save(*modal, "dialog-time-setting");
    return test::TypeInterval("61")(modal);
  });
  f.modal.Then([](QWidget* modal) {
    QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
    return true;
  });
  f.modal.on_box = [](QMessageBox* box) { Save(*box, "dialog-logging-rate"); };
  window.action(gui::MenuCommand::kSetLoggingTime).trigger();
  f.modal.on_box = {};

  window.action(gui::MenuCommand::kAboutCommand).trigger();
  gui::AboutDialog* about = nullptr;
  WaitFor([&] { return (about = window.findChild<gui::AboutDialog*>()) != nullptr; });
  if (about != nullptr) {
    Settle(200);
    Save(*about, "dialog-about");
    about->close();
  }

  // Help Contents where the application note is not installed: this guide.
  window.action(gui::MenuCommand::kHelpContents).trigger();
  if (gui::HelpWindow* help = window.help_window()) {
    Settle(300);
    Save(*help, "help-window");
    help->close();
  }

  gui::UnsealDialog unseal("3B9E61D4", &window);
  unseal.show();
  Settle(200);
  Save(unseal, "dialog-unseal");
  unseal.close();

  // The tool windows, on files of this pack.
  const QString packs = QDir::temp().filePath("cellwarden-tour");
  QDir(packs).removeRecursively();
  QDir().mkpath(packs);
  f.bench().data_flash().SaveGaugeToAfi(gui::S(QDir(packs).filePath("pack.afi")));
  const auto open_tool = [&](gui::MenuCommand command, gui::ToolKind kind) {
    window.action(command).trigger();
    WaitFor([&] { return window.tools().window(kind) != nullptr; });
    Settle(200);
    return window.tools().window(kind);
  };
  const auto tool_idle = [&](gui::ToolWindow& tool) {
    WaitFor([&] { return tool.idle() && f.tool->worker().idle(); });
  };
  const auto choose = [&](gui::ToolWindow& tool, gui::FileField& field, const QString& name) {
    tool_idle(tool);
    f.modal.Then(test::ChooseFile(QDir(packs).filePath(name)));
    QTest::mouseClick(&field.button(), Qt::LeftButton);
    tool_idle(tool);
  };

  // The firmware window halfway through an update of the pack's own firmware, exported first.
  if (auto* firmware = qobject_cast<gui::FirmwareToolWindow*>(
          open_tool(gui::MenuCommand::kFirmwareUpdate, gui::ToolKind::kFirmware))) {
    choose(*firmware, firmware->export_path(), "pack.bin");
    QTest::mouseClick(&firmware->export_button(), Qt::LeftButton);
    WaitFor([&] { return firmware->export_time().text().startsWith("Took"); });
    choose(*firmware, firmware->image(), "pack.bin");
    test::UpdateHold hold(*f.bench().sim_pack(), 1600);
    QTest::mouseClick(&firmware->start(), Qt::LeftButton);
    WaitFor([&] { return hold.held(); });
    Settle(1200);
    Save(*firmware, "tool-firmware");
    hold.Release();
    WaitFor([&] { return firmware->start().isEnabled(); });
    firmware->close();
  }

  if (auto* fs = qobject_cast<gui::FsConverterWindow*>(
          open_tool(gui::MenuCommand::kConvertFs, gui::ToolKind::kConvertFs))) {
    choose(*fs, *fs->afi(firmware::ScriptGroup::kAfi), "pack.afi");
    choose(*fs, *fs->bin(firmware::ScriptGroup::kBin), "pack.bin");
    choose(*fs, *fs->afi(firmware::ScriptGroup::kMerged), "pack.afi");
    choose(*fs, *fs->bin(firmware::ScriptGroup::kMerged), "pack.bin");
    Save(*fs, "tool-convert-fs");
    fs->close();
  }

  if (auto* merge = qobject_cast<gui::BinConverterWindow*>(
          open_tool(gui::MenuCommand::kConvertBin, gui::ToolKind::kConvertBin))) {
    choose(*merge, merge->afi(), "pack.afi");
    choose(*merge, merge->bin(), "pack.bin");
    Save(*merge, "tool-convert-bin");
    merge->close();
  }

  if (auto* sha1 = qobject_cast<gui::AuthenticationWindow*>(
          open_tool(gui::MenuCommand::kSha1, gui::ToolKind::kAuthentication))) {
    QTest::mouseClick(&sha1->button(gui::AuthButton::kNewChallenge), Qt::LeftButton);
    QTest::mouseClick(&sha1->button(gui::AuthButton::kShowDigest), Qt::LeftButton);
    sha1->field(gui::AuthField::kChangeKey).setText("00112233445566778899AABBCCDDEEFF");
    QTest::mouseClick(&sha1->button(gui::AuthButton::kAuthenticate), Qt::LeftButton);
    tool_idle(*sha1);
    Settle(300);
    Save(*sha1, "tool-sha1");
    sha1->close();
  }
  Settle(200);
  TourRunViewer(packs);
  TourProductionWindow(packs);
  QDir(packs).removeRecursively();
  if (saved == kPictures) return 0;
  std::fprintf(stderr, "%d of %d pictures saved\n", saved, kPictures);
  return 1;
}
