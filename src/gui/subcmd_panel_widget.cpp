#include "gui/subcmd_panel_widget.h"

#include <fmt/format.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <array>

#include "gui/gauge_worker.h"
#include "gui/product_colours.h"
#include "gui/qt_text.h"
#include "gui/unseal_dialog.h"

namespace cw::gui {
namespace {

constexpr int kEntryLength = 4;
constexpr int kCmdWidth = 84;
constexpr QRgb kFailText = 0xFF0000;

// The panel's buttons and the subcommand each sends.
struct SubCmdButton {
  std::string_view label;
  std::uint16_t code;
};

inline constexpr std::array<SubCmdButton, 17> kSubCmdButtons = {{
    {"DEVICE_TYPE", 0x01},
    {"HW_VERSION", 0x03},
    {"FW_VERSION", 0x02},
    {"CHEM_ID", 0x06},
    {"SHUTDOWN", 0x10},
    {"IATA_SHUTDOWN", 0xF0},
    {"PFET_TOGGLE", 0x1E},
    {"CFET_TOGGLE", 0x1F},
    {"DFET_TOGGLE", 0x20},
    {"FET_EN", 0x22},
    {"LIFETIME_EN", 0x23},
    {"LT_RESET", 0x28},
    {"PF_EN", 0x24},
    {"PF_CLEAR", 0x29},
    {"FUSE_EN", 0x26},
    {"RESET", 0x41},
    {"SEAL", 0x30},
}};

}  // namespace

SubCmdPanelWidget::SubCmdPanelWidget(app::SubCmdSession& session, GaugeWorker& worker,
                                     QWidget* parent)
    : QGroupBox(Q("SubCMD Panel"), parent),
      session_(session),
      worker_(worker),
      log_(new QTableWidget(0, 2, this)),
      entry_(new QLineEdit(this)),
      relay_(this) {
  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(2);
  const auto add_button = [&](std::string_view label, std::function<void()> action) {
    auto* button = new QPushButton(Q(label), this);
    button->setMaximumHeight(button->fontMetrics().height() + 8);
    connect(button, &QPushButton::clicked, this, std::move(action));
    buttons_.push_back(button);
    layout->addWidget(button);
  };
  for (const SubCmdButton& sub : kSubCmdButtons) {
    add_button(sub.label, [this, code = sub.code] {
      Run([&session = session_, code] { return session.RunSubcommand(code); });
    });
    buttons_.back()->setToolTip(
        Q(fmt::format("Sends subcommand 0x{:04X} through ManufacturerBlockAccess", sub.code)));
  }
  add_button("UNSEAL", [this] { Unseal(app::UnsealTarget::kUnseal); });
  buttons_.back()->setToolTip(
      Q("Unseals the gauge with the stored key; asks for the key when the gauge refuses it"));
  add_button("UNSEAL TO FA", [this] { Unseal(app::UnsealTarget::kFullAccess); });
  buttons_.back()->setToolTip(
      Q("Unseals the gauge to full access with the stored key; asks for it when refused"));

  log_->setHorizontalHeaderLabels({Q("CMD"), Q("Result")});
  log_->verticalHeader()->hide();
  log_->verticalHeader()->setDefaultSectionSize(log_->fontMetrics().height() + 4);
  log_->horizontalHeader()->resizeSection(0, kCmdWidth);
  log_->horizontalHeader()->setStretchLastSection(true);
  log_->setSelectionBehavior(QAbstractItemView::SelectRows);
  log_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  log_->setFrameShape(QFrame::NoFrame);
  log_->setMinimumHeight(90);
  QPalette palette = log_->palette();
  palette.setColor(QPalette::Base, QColor(kProductBackground));
  log_->setPalette(palette);
  layout->addWidget(log_, 1);

  entry_->setMaxLength(kEntryLength);
  entry_->setToolTip(Q("Subcommand code in hex; Enter sends it"));
  connect(entry_, &QLineEdit::returnPressed, this, &SubCmdPanelWidget::SubmitEntry);
  layout->addWidget(entry_);
  auto* clear = new QPushButton(Q("Clear Log"), this);
  connect(clear, &QPushButton::clicked, this, [this] { session_.ClearLog(); });
  layout->addWidget(clear);

  relay_.Watch(session_.changes());
  connect(&relay_, &ChangeRelay::changed, this, &SubCmdPanelWidget::ShowLog);
  ShowLog();
}

QPushButton& SubCmdPanelWidget::button(std::string_view label) {
  for (QPushButton* button : buttons_) {
    if (button->text() == Q(label)) return *button;
  }
  qFatal("the SubCMD panel has no button \"%s\"", std::string(label).c_str());
}

void SubCmdPanelWidget::EnableButtons(bool enabled) {
  for (QPushButton* button : buttons_) button->setEnabled(enabled);
}

void SubCmdPanelWidget::SubmitEntry() {
  const std::string text = S(entry_->text());
  entry_->clear();
  Run([&session = session_, text] { return session.RunEnteredCode(text); });
}

void SubCmdPanelWidget::Unseal(app::UnsealTarget target) {
  using Unsealed = common::OutcomeOf<app::Unsealing>;
  Run<Unsealed>([&session = session_, target] { return session.Unseal(target); },
                [this, target](const Unsealed& outcome) {
                  // Still locked: the key may be wrong, so the user is asked for it. An unread
                  // state has been said in a message; a dialog would suggest a wrong key.
                  if (outcome.detail.lock == app::LockState::kLocked) OpenKeyDialog(target);
                });
}

void SubCmdPanelWidget::OpenKeyDialog(app::UnsealTarget target) {
  if (dialog_) dialog_->close();
  dialog_ = new UnsealDialog(Q(session_.View().KeyText(target)), window());
  dialog_->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog_, &QDialog::accepted, this, [this, target, dialog = dialog_.data()] {
    const std::string key = S(dialog->key_text());
    Run([&session = session_, target, key] { return session.SendNewKey(target, key); });
  });
  dialog_->show();
  const QWidget* main = window();
  dialog_->move(main->geometry().center() - dialog_->rect().center());
}

void SubCmdPanelWidget::ShowLog() {
  const std::vector<app::SubCmdLogRow> rows = session_.View().log;
  log_->setRowCount(static_cast<int>(rows.size()));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int row = static_cast<int>(i);
    for (int column = 0; column < 2; ++column) {
      const std::string& text = column == 0 ? rows[i].cmd : rows[i].result;
      QTableWidgetItem* item = log_->item(row, column);
      if (item == nullptr) {
        item = new QTableWidgetItem;
        log_->setItem(row, column, item);
      }
      item->setText(Q(text));
      item->setForeground(rows[i].failed ? QColor(kFailText) : QColor(Qt::black));
    }
  }
  if (!rows.empty()) log_->scrollToBottom();
}

}  // namespace cw::gui
