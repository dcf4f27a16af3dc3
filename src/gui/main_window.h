#pragma once

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <functional>

#include "app/running_work.h"
#include "app/workbench.h"
#include "dataflash/data_flash_view.h"
#include "gui/change_relay.h"
#include "gui/left_column.h"
#include "gui/link_banner_label.h"
#include "presentation/charge_gauge.h"
#include "presentation/link_banner.h"

class QAction;
class QLabel;
class QStackedWidget;

namespace cw::gui {

class RunViewer;

class CalibrationPage;
class DataFlashPage;
class GaugeWorker;
class HelpWindow;
class LeftColumn;
class MainStatusBar;
class MessageBoxSink;
class ProgressRelay;
class SbsPage;
class SmbAccessPage;
class SubCmdPanelWidget;
class ToolLauncher;

// The menu's commands, found by what they do rather than by their label (Start Data Log changes
// its label while it logs).
enum class MenuCommand {
  kOpenAllFlash,
  kSaveAllFlash,
  kStartDataLog,
  kOpenLog,
  kExit,
  kScanOff,
  kScanOn,
  kSetLoggingTime,
  kRestoreSelection,
  kConvertBin,
  kConvertFs,
  kFirmwareUpdate,
  kSha1,
  kProductionCommand,
  kHelpContents,
  kAboutCommand,
  kCount
};

// The main window: the left column with the adapter id, the page buttons and the charge gauge;
// the four pages; the SubCMD panel; the status bar; the menu with its commands; and the two
// timers (charge gauge every 2 s, clock and link status every second). It decides nothing
// itself: the rules are the Workbench's sessions and the app/ rules of the shell (charge gauge,
// page selector, status bar texts), and gauge work runs on the worker.
class MainWindow final : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kChargeTimerMs = 2000;
  static constexpr int kClockTimerMs = 1000;

  MainWindow(app::Workbench& bench, MessageBoxSink& messages, ProgressRelay& progress,
             GaugeWorker& worker);
  ~MainWindow() override;

  void SelectPage(Page page);
  Page current_page() const { return current_page_; }
  // Every 2 s: the charge gauge from the capacities the scan read.
  void OnChargeTimer();
  // Every second: the status bar's clock and link status.
  void OnClockTimer();
  void SetScan(bool on);
  int logging_interval() const { return logging_interval_; }
  // An interval remembered from an earlier run; one outside 1 to 60 s is passed over.
  void SetLoggingInterval(int seconds);
  app::Workbench& bench() { return bench_; }
  // Option menu: "Restore last selection at start".
  QAction& restore_selection() { return *restore_selection_; }

  LeftColumn& left() { return *left_; }
  QStackedWidget& pages() { return *pages_; }
  SbsPage& sbs_page() { return *sbs_; }
  DataFlashPage& data_flash_page() { return *flash_; }
  CalibrationPage& calibration_page() { return *calibration_; }
  SmbAccessPage& smb_access_page() { return *smb_; }
  SubCmdPanelWidget& subcmd() { return *subcmd_; }
  MainStatusBar& status() { return *status_; }
  ToolLauncher& tools() { return *tools_; }
  // The data log viewer, made at its first use; it lives as long as the window.
  RunViewer& run_viewer();
  // Why the adapter link is down, above the pages until it answers again; hidden otherwise.
  const QLabel& link_banner() const { return *banner_; }
  // The user guide's window, once Help Contents has opened it.
  HelpWindow* help_window() { return help_; }
  // The menu command showing `text` now (the data log command changes its text).
  QAction& action(MenuCommand command) { return *actions_[static_cast<std::size_t>(command)]; }
  const QTimer& charge_timer() const { return charge_timer_; }
  // The long works running now, which closing asks about before it stops them.
  std::vector<app::Work> RunningWorks();
  // Once the user chose to quit while work runs: the window takes no more input and says that the
  // work is stopping; it closes when the work has.
  void ShowStopping();
  const QTimer& clock_timer() const { return clock_timer_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Adds `command` with its label to `menu`.
  QAction* AddAction(QMenu* menu, MenuCommand command, std::string_view text);
  QAction* AddAction(QMenu* menu, MenuCommand command, std::string_view text,
                     void (MainWindow::*slot)());
  void BuildMenu();
  // Gives the banner the room the menus leave in the menu bar.
  void FitLinkBanner();
  // The File menu's seal check, on the worker; `then` runs when the gauge is unsealed.
  void AfterSealCheck(QAction* command, dataflash::SealedTransfer transfer,
                      std::function<void()> then);
  void OnOpenAfi();
  void OnSaveAfi();
  void OnDataLog();
  void OnOpenLog();
  void OnExit() { close(); }
  void OnScanOff() { SetScan(false); }
  void OnScanOn() { SetScan(true); }
  void OnLoggingTime();
  void OnHelp();
  void OnAbout();
  void OnConfig();
  void ShowLock();
  void ShowLogging(bool logging);
  void ShowLinkBanner();

  app::Workbench& bench_;
  MessageBoxSink& messages_;
  ProgressRelay& progress_;
  GaugeWorker& worker_;
  Page current_page_ = Page::kSbs;
  presentation::ChargeGauge charge_;
  presentation::LinkBanner link_banner_;
  LinkBannerLabel* banner_;
  LeftColumn* left_;
  QStackedWidget* pages_;
  SbsPage* sbs_;
  DataFlashPage* flash_;
  CalibrationPage* calibration_;
  SmbAccessPage* smb_;
  SubCmdPanelWidget* subcmd_;
  MainStatusBar* status_;
  std::array<QAction*, static_cast<std::size_t>(MenuCommand::kCount)> actions_{};
  QAction* open_afi_ = nullptr;
  QAction* save_afi_ = nullptr;
  QAction* log_ = nullptr;
  QAction* scan_off_ = nullptr;
  QAction* scan_on_ = nullptr;
  QAction* restore_selection_ = nullptr;
  ToolLauncher* tools_ = nullptr;
  RunViewer* run_viewer_ = nullptr;
  HelpWindow* help_ = nullptr;
  QTimer charge_timer_;
  QTimer clock_timer_;
  ChangeRelay lock_relay_;
  int logging_interval_;
};

}  // namespace cw::gui
