#include "gui/logging_time_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/messages.h"
#include "gui/qt_text.h"
#include "presentation/logging_time.h"

namespace cw::gui {

namespace {
constexpr int kIntervalDigits = 2;
}

LoggingTimeDialog::LoggingTimeDialog(int interval, MessageBoxSink& messages, QWidget* parent)
    : QDialog(parent), messages_(messages), choice_(new QComboBox(this)), interval_(interval) {
  setWindowTitle(Q("Time Setting..."));
  choice_->setEditable(true);
  for (std::string_view item : messages::kTimeSettingItems) choice_->addItem(Q(item));
  choice_->lineEdit()->setMaxLength(kIntervalDigits);
  choice_->setInsertPolicy(QComboBox::NoInsert);
  choice_->setEditText(QString::number(interval));
  auto* label = new QLabel(Q("Specify or select file logging time in second:"), this);
  label->setBuddy(choice_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(Q(messages::kOkButton));
  buttons->button(QDialogButtonBox::Cancel)->setText(Q(messages::kCancelButton));
  connect(buttons, &QDialogButtonBox::accepted, this, &LoggingTimeDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(choice_);
  layout->addWidget(buttons);
}

void LoggingTimeDialog::accept() {
  const auto seconds = presentation::ParseLoggingTime(S(choice_->currentText()));
  if (!seconds) {
    messages_.ShowTitled(seconds.error().message, "Cellwarden", common::MessageIcon::kInformation);
    choice_->setFocus();
    return;
  }
  interval_ = *seconds;
  QDialog::accept();
}

}  // namespace cw::gui
