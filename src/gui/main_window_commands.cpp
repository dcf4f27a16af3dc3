// The menu of the main window and what its commands do.
#include <QAction>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QUrl>
#include <filesystem>

#include "app/about_text.h"
#include "app/messages.h"
#include "app/program_directory.h"
#include "dataflash/data_flash_session.h"
#include "gui/about_dialog.h"
#include "gui/gauge_worker.h"
#include "gui/help_window.h"
#include "gui/left_column.h"
#include "gui/logging_time_dialog.h"
#include "gui/main_window.h"
#include "gui/message_box_sink.h"
#include "gui/messages.h"
#include "gui/production/production_window.h"
#include "gui/qt_text.h"
#include "gui/run_viewer.h"
#include "gui/sbs_page.h"
#include "gui/tools/file_choice.h"
#include "gui/tools/tool_launcher.h"
#include "monitor/data_log.h"
#include "monitor/monitor_session.h"
#include "presentation/data_log_choice.h"
#include "presentation/help_document.h"

namespace cw::gui {

QAction* MainWindow::AddAction(QMenu* menu, MenuCommand command, std::string_view text) {
  QAction* action = menu->addAction(Q(text));
  actions_[static_cast<std::size_t>(command)] = action;
  return action;
}

QAction* MainWindow::AddAction(QMenu* menu, MenuCommand command, std::string_view text,
                               void (MainWindow::*slot)()) {
  QAction* action = AddAction(menu, command, text);
  connect(action, &QAction::triggered, this, slot);
  return action;
}

void MainWindow::BuildMenu() {
  QMenu* file = menuBar()->addMenu(Q("&File"));
  open_afi_ =
      AddAction(file, MenuCommand::kOpenAllFlash, messages::kOpenAllFlash, &MainWindow::OnOpenAfi);
  save_afi_ =
      AddAction(file, MenuCommand::kSaveAllFlash, messages::kSaveAllFlash, &MainWindow::OnSaveAfi);
  open_afi_->setShortcut(QKeySequence::Open);
  save_afi_->setShortcut(QKeySequence::Save);
  file->addSeparator();
  log_ =
      AddAction(file, MenuCommand::kStartDataLog, messages::kStartDataLog, &MainWindow::OnDataLog);
  AddAction(file, MenuCommand::kOpenLog, messages::kOpenLog, &MainWindow::OnOpenLog);
  file->addSeparator();
  AddAction(file, MenuCommand::kExit, messages::kExit, &MainWindow::OnExit);

  QMenu* option = menuBar()->addMenu(Q("&Option"));
  QMenu* scan = option->addMenu(Q("&Scan"));
  scan_off_ = AddAction(scan, MenuCommand::kScanOff, messages::kScanOff, &MainWindow::OnScanOff);
  scan_on_ = AddAction(scan, MenuCommand::kScanOn, messages::kScanOn, &MainWindow::OnScanOn);
  scan_off_->setCheckable(true);
  scan_on_->setCheckable(true);
  AddAction(option, MenuCommand::kSetLoggingTime, messages::kSetLoggingTime,
            &MainWindow::OnLoggingTime);
  option->addSeparator();
  restore_selection_ =
      AddAction(option, MenuCommand::kRestoreSelection, messages::kRestoreSelection);
  restore_selection_->setCheckable(true);
  SetScan(bench_.monitor().engine().scan_enabled());

  QMenu* tools = menuBar()->addMenu(Q("&Tools"));
  tools_ = new ToolLauncher(bench_, worker_, *this);
  const auto add_tool = [&](MenuCommand command, std::string_view text, ToolKind kind) {
    connect(AddAction(tools, command, text), &QAction::triggered, tools_,
            [this, kind] { tools_->Open(kind); });
  };
  add_tool(MenuCommand::kConvertBin, messages::kConvertBin, ToolKind::kConvertBin);
  add_tool(MenuCommand::kConvertFs, messages::kConvertFs, ToolKind::kConvertFs);
  tools->addSeparator();
  add_tool(MenuCommand::kFirmwareUpdate, messages::kFirmwareUpdate, ToolKind::kFirmware);
  tools->addSeparator();
  add_tool(MenuCommand::kSha1, messages::kSha1, ToolKind::kAuthentication);
  tools->addSeparator();
  connect(AddAction(tools, MenuCommand::kProductionCommand, messages::kProductionCommand),
          &QAction::triggered, this, [this] { OpenProductionWindow(*this).show(); });

  QMenu* help = menuBar()->addMenu(Q("&Help"));
  AddAction(help, MenuCommand::kHelpContents, messages::kHelpContents, &MainWindow::OnHelp);
  AddAction(help, MenuCommand::kAboutCommand, messages::kAboutCommand, &MainWindow::OnAbout);
}

void MainWindow::AfterSealCheck(QAction* command, dataflash::SealedTransfer transfer,
                                std::function<void()> then) {
  command->setEnabled(false);
  worker_.Run<common::Outcome>(
      this,
      [&session = bench_.data_flash(), transfer] { return session.CheckUnsealedFor(transfer); },
      [this, then = std::move(then)](const common::Outcome& unsealed) {
        ShowLock();
        if (unsealed) then();
      });
}

void MainWindow::OnOpenAfi() {
  // A sealed gauge is said to be so before a file is chosen.
  AfterSealCheck(open_afi_, dataflash::SealedTransfer::kLoadAfi, [this] {
    QFileDialog dialog(this, Q(messages::kOpenAllFlashTitle),
                       RememberedFolder(messages::kOpenAllFlashTitle), Q(messages::kAfiFilter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Cancel, or a name typed for a file that is not there, ends the command without a word.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const std::filesystem::path path = S(dialog.selectedFiles().front());
    if (!std::filesystem::exists(path)) return;
    RememberFolder(messages::kOpenAllFlashTitle, dialog.selectedFiles().front());
    open_afi_->setEnabled(false);
    worker_.RunWork<dataflash::AfiLoadResult>(
        app::Work::kAfiLoad, this,
        [&session = bench_.data_flash(), path](std::stop_token stop) {
          return session.LoadAfiToGauge(path, stop);
        },
        [this](const dataflash::AfiLoadResult&) { ShowLock(); });
  });
}

void MainWindow::OnSaveAfi() {
  AfterSealCheck(save_afi_, dataflash::SealedTransfer::kSaveAfi, [this] {
    QFileDialog dialog(this, Q(messages::kSaveAllFlashTitle),
                       RememberedFolder(messages::kSaveAllFlashTitle), Q(messages::kAfiFilter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The name is asked about overwriting as it will be written, extension included.
    dialog.setDefaultSuffix(Q("afi"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    RememberFolder(messages::kSaveAllFlashTitle, dialog.selectedFiles().front());
    save_afi_->setEnabled(false);
    worker_.Run<dataflash::AfiSaveResult>(
        this,
        [&session = bench_.data_flash(), path = S(dialog.selectedFiles().front())] {
          return session.SaveGaugeToAfi(path);
        },
        [this](const dataflash::AfiSaveResult&) { ShowLock(); });
  });
}

RunViewer& MainWindow::run_viewer() {
  if (run_viewer_ == nullptr) run_viewer_ = new RunViewer(this);
  return *run_viewer_;
}

void MainWindow::OnOpenLog() {
  RunViewer& viewer = run_viewer();
  viewer.show();
  viewer.raise();
  viewer.activateWindow();
  viewer.AskOpen();
}

void MainWindow::OnDataLog() {
  if (bench_.sbs().View().logging) {
    sbs_->StopLog();
    return;
  }
  const QString text_filter = Q("DataLog Files (*.LOG)");
  const QString csv_filter = Q(messages::kCsvLogFilter);
  QString selected = text_filter;
  const QString chosen = QFileDialog::getSaveFileName(
      this, Q(messages::kSelectDataLogTitle), RememberedFolder(messages::kSelectDataLogTitle),
      text_filter + ";;" + csv_filter, &selected, QFileDialog::DontUseNativeDialog);
  if (chosen.isEmpty()) return;
  RememberFolder(messages::kSelectDataLogTitle, chosen);
  const presentation::DataLogChoice log = presentation::ChooseDataLog(
      S(chosen), selected == csv_filter ? monitor::LogFormat::kCsv : monitor::LogFormat::kText);
  sbs_->StartLog(log.path.string(), logging_interval_, log.format);
}

void MainWindow::OnLoggingTime() {
  LoggingTimeDialog dialog(logging_interval_, messages_, this);
  if (dialog.exec() == QDialog::Accepted) logging_interval_ = dialog.interval();
}

void MainWindow::OnHelp() {
  const std::filesystem::path program = app::ProgramDirectory();
  const auto document =
      presentation::FindHelpDocument(program, presentation::UserGuidePlaces(program));
  if (!document) return;
  if (document->kind == presentation::HelpDocument::Kind::kApplicationNote) {
    // A desktop without a viewer for it shows nothing.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(document->path.string())));
    return;
  }
  if (help_ == nullptr) help_ = new HelpWindow(document->path, this);
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void MainWindow::OnAbout() {
  worker_.Run<app::AboutText>(
      this, [&bench = bench_] { return app::AboutVersionText(bench.link(), bench); },
      [this](const app::AboutText& text) {
        auto* dialog = new AboutDialog(Q(text.text), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
      });
}

void MainWindow::OnConfig() {
  left_->config().setEnabled(false);
  worker_.Run<common::Outcome>(
      this,
      [&bench = bench_, text = S(left_->adapter_id().text())] {
        return bench.ConfigureAdapter(text);
      },
      // Not reported here: the status bar shows the link on the next tick.
      [this](const common::Outcome&) { left_->config().setEnabled(true); });
}

}  // namespace cw::gui
