#include "gui/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/messages.h"
#include "gui/app_icon.h"
#include "gui/calibration_page.h"
#include "gui/data_flash_page.h"
#include "gui/gauge_worker.h"
#include "gui/left_column.h"
#include "gui/main_status_bar.h"
#include "gui/message_box_sink.h"
#include "gui/messages.h"
#include "gui/page_button.h"
#include "gui/product_colours.h"
#include "gui/progress_relay.h"
#include "gui/qt_text.h"
#include "gui/remembered_layout.h"
#include "gui/sbs_page.h"
#include "gui/smb_access_page.h"
#include "gui/subcmd_panel_widget.h"
#include "gui/tools/tool_launcher.h"
#include "link/link_status.h"
#include "monitor/data_log.h"
#include "monitor/monitor_session.h"
#include "presentation/logging_time.h"
#include "presentation/seal_state.h"
#include "presentation/status_bar_text.h"

namespace cw::gui {
namespace {

constexpr int kSubCmdWidth = 196;

// Scrolls the pages only where the screen is too small for them: the window still starts at the
// pages' own size (a plain scroll area asks for a small one).
class PageScroller final : public QScrollArea {
 public:
  using QScrollArea::QScrollArea;
  QSize sizeHint() const override {
    return widget() == nullptr ? QScrollArea::sizeHint() : widget()->sizeHint();
  }
};

}  // namespace

MainWindow::MainWindow(app::Workbench& bench, MessageBoxSink& messages, ProgressRelay& progress,
                       GaugeWorker& worker)
    : bench_(bench),
      messages_(messages),
      progress_(progress),
      worker_(worker),
      lock_relay_(this, 0),
      logging_interval_(monitor::DataLog::kDefaultInterval) {
  std::string title(app::messages::kWindowTitle);
  if (bench_.simulated()) title += " - Simulated pack";
  setWindowTitle(Q(title));
  setWindowIcon(AppIcon());
  messages_.SetOwner(this);

  left_ = new LeftColumn(this);
  pages_ = new QStackedWidget(this);
  sbs_ = new SbsPage(bench_, worker_, pages_);
  flash_ = new DataFlashPage(bench_, worker_, pages_);
  calibration_ = new CalibrationPage(bench_, worker_, progress_, messages_, pages_);
  smb_ = new SmbAccessPage(bench_.smb_access(), bench_.messages(), worker_, pages_);
  for (QWidget* page : std::initializer_list<QWidget*>{sbs_, flash_, calibration_, smb_}) {
    pages_->addWidget(page);
  }
  subcmd_ = new SubCmdPanelWidget(bench_.subcmd(), worker_, this);
  subcmd_->setFixedWidth(kSubCmdWidth);
  banner_ = new LinkBannerLabel(this);
  banner_->hide();
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
  auto* layout = new QHBoxLayout;
  layout->setContentsMargins(0, 0, 4, 0);
  layout->setSpacing(2);
  layout->addWidget(left_);
  // The SBS page is wider than a 1280 x 720 screen leaves it: it scrolls rather than push the
  // window past the screen, so every column stays in reach.
  auto* scroller = new PageScroller(this);
  scroller->setObjectName("pages_scroller");
  scroller->setFrameShape(QFrame::NoFrame);
  scroller->setWidgetResizable(true);
  scroller->setWidget(pages_);
  layout->addWidget(scroller, 1);
  layout->addWidget(subcmd_);
  column->addLayout(layout, 1);
  setCentralWidget(central);
  // A menu bar the desktop draws itself (a global menu) shows no corner widget: the banner then
  // takes a line above the pages.
  if (menuBar()->isNativeMenuBar()) {
    column->insertWidget(0, banner_);
  } else {
    menuBar()->setCornerWidget(banner_, Qt::TopRightCorner);
  }
  connect(&messages_, &MessageBoxSink::linkNotice, this, [this] {
    link_banner_.Notice();
    ShowLinkBanner();
  });
  status_ = new MainStatusBar(bench_.simulated(), this);
  setStatusBar(status_);

  BuildMenu();
  sbs_->SetLogAction(log_);
  connect(sbs_, &SbsPage::loggingChanged, this, &MainWindow::ShowLogging);
  connect(left_, &LeftColumn::pageClicked, this, &MainWindow::SelectPage);
  connect(&left_->config(), &QPushButton::clicked, this, &MainWindow::OnConfig);
  for (int page = 0; page < 4; ++page) {
    auto* shortcut = new QShortcut(QKeySequence(Q("Ctrl+%1").arg(page + 1)), this);
    connect(shortcut, &QShortcut::activated, this,
            [this, page] { SelectPage(static_cast<Page>(page)); });
  }

  connect(&progress_.relay(), &ChangeRelay::changed, this,
          [this] { status_->ShowProgress(progress_.panes()); });
  lock_relay_.Watch(bench_.main_ui().changes());
  connect(&lock_relay_, &ChangeRelay::changed, this, &MainWindow::ShowLock);
  ShowLock();

  charge_timer_.setInterval(kChargeTimerMs);
  clock_timer_.setInterval(kClockTimerMs);
  connect(&charge_timer_, &QTimer::timeout, this, &MainWindow::OnChargeTimer);
  connect(&clock_timer_, &QTimer::timeout, this, &MainWindow::OnClockTimer);
  OnClockTimer();
  left_->ShowSeal(Q(presentation::SealStateText(presentation::SealState::kUnknown)));
  charge_timer_.start();
  clock_timer_.start();
  RestoreLayout(*this);
}

MainWindow::~MainWindow() = default;

void MainWindow::SelectPage(Page page) {
  if (page == current_page_) return;
  // Only the Calibration page refreshes itself, and only while it is shown.
  if (current_page_ == Page::kCalibration) calibration_->SetRefreshing(false);
  current_page_ = page;
  if (page == Page::kCalibration) calibration_->SetRefreshing(true);
  left_->ShowSelected(page);
  pages_->setCurrentIndex(static_cast<int>(page));
}

void MainWindow::OnChargeTimer() {
  const monitor::RegisterTable table = bench_.monitor().engine().Snapshot();
  if (const auto view = charge_.Update(table)) left_->ShowCharge(*view);
  left_->ShowSeal(Q(presentation::SealStateText(presentation::SealStateOf(table))));
}

void MainWindow::OnClockTimer() {
  status_->ShowClock(presentation::StatusClockText());
  status_->ShowLink(link::LinkStatusText(bench_.link().link_status()));
  ShowLinkBanner();
}

void MainWindow::ShowLinkBanner() {
  const QString text = Q(link_banner_.Text(bench_.link().link_status(),
                                           bench_.monitor().engine().gauge_in_boot_loader()));
  if (text == banner_->text()) return;
  // The menu bar lays its corner out again only when the corner is shown or hidden.
  banner_->hide();
  banner_->setText(text);
  banner_->setToolTip(text);
  FitLinkBanner();
}

void MainWindow::FitLinkBanner() {
  if (!menuBar()->isNativeMenuBar() && !menuBar()->actions().isEmpty()) {
    constexpr int kGapAfterMenus = 24;
    const int menus_end = menuBar()->actionGeometry(menuBar()->actions().back()).right();
    if (banner_->SetRoom(menuBar()->width() - menus_end - kGapAfterMenus)) banner_->hide();
  }
  banner_->setVisible(!banner_->text().isEmpty());
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FitLinkBanner();
}

void MainWindow::SetScan(bool on) {
  bench_.SetScanEnabled(on);
  scan_on_->setChecked(on);
  scan_on_->setEnabled(!on);
  scan_off_->setChecked(!on);
  scan_off_->setEnabled(on);
}

void MainWindow::ShowLock() {
  const bool locked = bench_.main_ui().locked();
  for (QAction* command : {open_afi_, save_afi_, log_}) command->setEnabled(!locked);
  for (QWidget* page : std::initializer_list<QWidget*>{flash_, calibration_, smb_}) {
    page->setEnabled(!locked);
  }
}

void MainWindow::ShowLogging(bool logging) {
  log_->setText(Q(logging ? messages::kStopLog : messages::kStartLogAgain));
}

void MainWindow::SetLoggingInterval(int seconds) {
  if (presentation::IsLoggingInterval(seconds)) logging_interval_ = seconds;
}

std::vector<app::Work> MainWindow::RunningWorks() {
  // A firmware tool is looked at only while its window is up: it is made and destroyed on the
  // gauge worker, before the window shows and after it has closed.
  const ToolWindow* firmware_window = tools_->window(ToolKind::kFirmware);
  firmware::FirmwareTool* firmware =
      firmware_window != nullptr && firmware_window->isVisible() ? bench_.firmware_tool() : nullptr;
  return app::RunningWorks(bench_, worker_.works(), firmware);
}

void MainWindow::ShowStopping() {
  centralWidget()->setEnabled(false);
  menuBar()->setEnabled(false);
  status_->showMessage(Q(messages::kStoppingAtSafePoint));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  SaveLayout(*this);
  QMainWindow::closeEvent(event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      // Only an idle window: a stray Escape never puts a question over running work.
      if (RunningWorks().empty()) close();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // Enter never closes the window nor presses a button; only the SubCMD entry uses it.
      event->accept();
      return;
    default:
      QMainWindow::keyPressEvent(event);
  }
}

}  // namespace cw::gui
