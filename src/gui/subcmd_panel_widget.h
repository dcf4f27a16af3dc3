#pragma once

#include <QGroupBox>
#include <QPointer>
#include <functional>
#include <type_traits>
#include <vector>

#include "app/subcmd_session.h"
#include "gui/change_relay.h"
#include "gui/gauge_worker.h"
#include "gui/unseal_dialog.h"

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace cw::gui {

// "SubCMD Panel": a button per common subcommand, UNSEAL and UNSEAL TO FA with the key dialog,
// the log of everything sent (failures in red), the entry field and Clear Log. The panel's rules
// are app::SubCmdSession's; every transaction runs on the worker, and the buttons rest while one
// is on its way.
class SubCmdPanelWidget final : public QGroupBox {
  Q_OBJECT

 public:
  SubCmdPanelWidget(app::SubCmdSession& session, GaugeWorker& worker, QWidget* parent = nullptr);

  QLineEdit& entry() { return *entry_; }
  QPushButton& button(std::string_view label);
  QTableWidget& log() { return *log_; }
  // The key dialog while it is open.
  UnsealDialog* unseal_dialog() { return dialog_; }

 private:
  // Runs `job` on the gauge worker with the buttons greyed until every job has ended.
  template <typename Result = common::Outcome>
  void Run(std::type_identity_t<std::function<Result()>> job,
           std::type_identity_t<std::function<void(const Result&)>> done = {}) {
    if (running_++ == 0) EnableButtons(false);
    worker_.Run<Result>(this, std::move(job), [this, done = std::move(done)](const Result& result) {
      if (--running_ == 0) EnableButtons(true);
      if (done) done(result);
    });
  }
  void EnableButtons(bool enabled);
  void Unseal(app::UnsealTarget target);
  void OpenKeyDialog(app::UnsealTarget target);
  void SubmitEntry();
  void ShowLog();

  app::SubCmdSession& session_;
  GaugeWorker& worker_;
  std::vector<QPushButton*> buttons_;
  QTableWidget* log_;
  QLineEdit* entry_;
  QPointer<UnsealDialog> dialog_;
  ChangeRelay relay_;
  int running_ = 0;
};

}  // namespace cw::gui
