#include "gui/unseal_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/messages.h"
#include "gui/qt_text.h"

namespace cw::gui {

namespace {
constexpr int kKeyLength = 8;
}

UnsealDialog::UnsealDialog(const QString& key_text, QWidget* parent)
    : QDialog(parent), key_(new QLineEdit(key_text, this)) {
  setWindowTitle(Q("Unseal Device"));
  key_->setMaxLength(kKeyLength);
  key_->selectAll();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(Q(messages::kOkButton));
  buttons->button(QDialogButtonBox::Cancel)->setText(Q(messages::kCancelButton));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* form = new QFormLayout;
  form->addRow(Q("Enter Key:"), key_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(Q("Please enter the correct Unseal Key and click OK."), this));
  layout->addWidget(new QLabel(Q("Then return to unseal the device."), this));
  layout->addLayout(form);
  layout->addWidget(buttons);
}

QString UnsealDialog::key_text() const { return key_->text(); }

}  // namespace cw::gui
