#pragma once

#include <QGroupBox>
#include <QPointer>
#include <vector>

#include "app/subcmd_panel.h"
#include "gui/change_relay.h"
#include "gui/unseal_dialog.h"

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace cw::gui {

class GaugeWorker;

// "SubCMD Panel": a button per common subcommand, UNSEAL and UNSEAL TO FA with the key dialog,
// the log of everything sent (failures in red), the entry field and Clear Log. The panel's rules
// are app::SubCmdPanel's; every transaction runs on the worker, and the buttons rest while one
// is on its way.
class SubCmdPanelWidget final : public QGroupBox {
  Q_OBJECT

 public:
  SubCmdPanelWidget(app::SubCmdPanel& panel, GaugeWorker& worker, QWidget* parent = nullptr);

  QLineEdit& entry() { return *entry_; }
  QPushButton& button(std::string_view label);
  QTableWidget& log() { return *log_; }
  // The key dialog while it is open.
  UnsealDialog* unseal_dialog() { return dialog_; }

 private:
  void Run(std::function<common::Outcome()> job,
           std::function<void(const common::Outcome&)> done = {});
  void Unseal(app::UnsealTarget target);
  void OpenKeyDialog(app::UnsealTarget target);
  void SubmitEntry();
  void ShowLog();

  app::SubCmdPanel& panel_;
  GaugeWorker& worker_;
  std::vector<QPushButton*> buttons_;
  QTableWidget* log_;
  QLineEdit* entry_;
  QPointer<UnsealDialog> dialog_;
  ChangeRelay relay_;
  int running_ = 0;
};

}  // namespace cw::gui
