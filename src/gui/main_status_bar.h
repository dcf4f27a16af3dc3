#pragma once

#include <QStatusBar>

#include "gui/progress_relay.h"

class QLabel;
class QProgressBar;
class QStackedWidget;

namespace cw::gui {

// The status bar: the link status, the task progress text, the progress bar or the completion
// text, and the clock. A "Simulated pack" mark leads it whenever the simulated pack is used.
class MainStatusBar final : public QStatusBar {
  Q_OBJECT

 public:
  MainStatusBar(bool simulated, QWidget* parent = nullptr);

  void ShowLink(std::string_view text);
  void ShowProgress(const StatusPanes& panes);
  void ShowClock(std::string_view text);

  QString pane(int index) const;
  const QProgressBar& bar() const { return *bar_; }
  bool bar_shown() const;

 private:
  QLabel* AddPane(std::string_view sizing_text, bool stretch);

  QLabel* link_;
  QLabel* progress_;
  QLabel* completion_;
  QProgressBar* bar_;
  QStackedWidget* pane2_;
  QLabel* clock_;
};

}  // namespace cw::gui
