#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <string>
#include <vector>

#include "app/workbench.h"
#include "gui/change_relay.h"
#include "monitor/data_log.h"
#include "monitor/log_ticker.h"
#include "monitor/sbs_session.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTabBar;
class QTableView;
class QToolButton;
class QAction;

namespace cw::gui {

class ChartPanel;
class GaugeWorker;
class RegisterTableModel;
class StatusBitCtrl;

// The SBS page: the three register lists and the static list over the register table, the four
// selection buttons, and the tab area with the ten status-bit displays, the static data and the
// live chart. It draws monitor::SbsSession's View() and the register table's snapshot, and
// forwards every click to the session; register writes run on the worker. The page also keeps the
// data log's timer, on the workbench's clock.
class SbsPage final : public QWidget {
  Q_OBJECT

 public:
  SbsPage(app::Workbench& bench, GaugeWorker& worker, QWidget* parent = nullptr);
  ~SbsPage() override;

  // The File menu's data log command, also offered on the page.
  void SetLogAction(QAction* action);
  common::Outcome StartLog(const std::string& path, int interval_seconds,
                           monitor::LogFormat format);
  void StopLog();

  RegisterTableModel& model(monitor::TableId table) { return *models_[Index(table)]; }
  QTableView& list(monitor::TableId table) { return *lists_[Index(table)]; }
  StatusBitCtrl& display(std::size_t index) { return *displays_[index]; }
  ChartPanel& chart() { return *chart_; }
  QTabBar& tabs() { return *tabs_; }
  // Between the register lists and the lower pane (status bits, static data, chart).
  QSplitter& splitter() { return *splitter_; }
  QPushButton& button(monitor::RowSelection selection) {
    return *buttons_[static_cast<std::size_t>(selection)];
  }

 signals:
  void loggingChanged(bool logging);

 private:
  static std::size_t Index(monitor::TableId table) { return static_cast<std::size_t>(table); }
  QTableView* MakeList(monitor::TableId table);
  QWidget* MakeDisplays();
  void OnValueEdited(monitor::RowRef row, const QString& text);
  void ShowPageState();
  // The lists and the status displays: what was read, and whether it is still current.
  void ShowReadings();
  void ShowValues();
  void OnLogTick();

  app::Workbench& bench_;
  monitor::SbsSession& session_;
  GaugeWorker& worker_;
  std::array<RegisterTableModel*, 4> models_{};
  std::array<QTableView*, 4> lists_{};
  std::vector<StatusBitCtrl*> displays_;
  std::array<QPushButton*, 4> buttons_{};
  QToolButton* log_button_ = nullptr;
  QLabel* log_tally_ = nullptr;
  QGroupBox* group_ = nullptr;
  QTabBar* tabs_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  ChartPanel* chart_ = nullptr;
  ChangeRelay values_relay_;
  ChangeRelay page_relay_;
  monitor::LogTicker ticker_;
  QTimer log_timer_;
  QTimer readings_timer_;
  bool was_logging_ = false;
};

}  // namespace cw::gui
