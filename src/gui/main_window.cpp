#include "gui/main_window.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>

#include "app/messages.h"
#include "app/status_bar_text.h"
#include "gui/app_icon.h"
#include "gui/calibration_page.h"
#include "gui/data_flash_page.h"
#include "gui/gauge_worker.h"
#include "gui/left_column.h"
#include "gui/main_status_bar.h"
#include "gui/message_box_sink.h"
#include "gui/messages.h"
#include "gui/page_button.h"
#include "gui/progress_relay.h"
#include "gui/qt_text.h"
#include "gui/sbs_page.h"
#include "gui/smb_access_page.h"
#include "gui/subcmd_panel_widget.h"
#include "link/link_status.h"
#include "monitor/data_log.h"
#include "monitor/monitor_session.h"

namespace cw::gui {
namespace {

constexpr int kSubCmdWidth = 196;

}  // namespace

MainWindow::MainWindow(app::Workbench& bench, MessageBoxSink& messages, ProgressRelay& progress,
                       GaugeWorker& worker)
    : bench_(bench),
      messages_(messages),
      progress_(progress),
      worker_(worker),
      selector_([this](bool on) { calibration_->SetRefreshing(on); }),
      lock_relay_(this, 0),
      logging_interval_(monitor::DataLog::kDefaultInterval) {
  std::string title(app::messages::kWindowTitle);
  if (bench_.simulated()) title += messages::kTitleSuffix;
  setWindowTitle(Q(title));
  setWindowIcon(AppIcon());
  messages_.SetOwner(this);

  left_ = new LeftColumn(this);
  pages_ = new QStackedWidget(this);
  sbs_ = new SbsPage(bench_, worker_, pages_);
  flash_ = new DataFlashPage(bench_, worker_, pages_);
  calibration_ = new CalibrationPage(bench_, worker_, progress_, pages_);
  smb_ = new SmbAccessPage(bench_.smb_access(), worker_, pages_);
  for (QWidget* page : std::initializer_list<QWidget*>{sbs_, flash_, calibration_, smb_}) {
    pages_->addWidget(page);
  }
  subcmd_ = new SubCmdPanelWidget(bench_.subcmd(), worker_, this);
  subcmd_->setFixedWidth(kSubCmdWidth);
  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 4, 0);
  layout->setSpacing(2);
  layout->addWidget(left_);
  layout->addWidget(pages_, 1);
  layout->addWidget(subcmd_);
  setCentralWidget(central);
  status_ = new MainStatusBar(bench_.simulated(), this);
  setStatusBar(status_);

  BuildMenu();
  sbs_->SetLogAction(log_);
  connect(sbs_, &SbsPage::loggingChanged, this, &MainWindow::ShowLogging);
  connect(left_, &LeftColumn::pageClicked, this, &MainWindow::SelectPage);
  connect(&left_->config(), &QPushButton::clicked, this, &MainWindow::OnConfig);
  for (int page = 0; page < 4; ++page) {
    auto* shortcut = new QShortcut(QKeySequence(Q(messages::kPageShortcut).arg(page + 1)), this);
    connect(shortcut, &QShortcut::activated, this,
            [this, page] { SelectPage(static_cast<app::Page>(page)); });
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
  charge_timer_.start();
  clock_timer_.start();
}

MainWindow::~MainWindow() = default;

void MainWindow::SelectPage(app::Page page) {
  if (!selector_.Select(page)) return;
  left_->ShowSelected(page);
  pages_->setCurrentIndex(static_cast<int>(page));
}

void MainWindow::OnChargeTimer() {
  if (const auto view = charge_.Update(bench_.monitor().engine().Snapshot())) {
    left_->ShowCharge(*view);
  }
}

void MainWindow::OnClockTimer() {
  status_->ShowClock(app::StatusClockText());
  status_->ShowLink(link::StatusBarText(bench_.link().link_status()));
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

void MainWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      close();
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
