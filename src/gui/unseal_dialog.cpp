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
  setWindowTitle(Q(messages::kUnsealTitle));
  key_->setMaxLength(kKeyLength);
  key_->selectAll();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(Q(messages::kOkButton));
  buttons->button(QDialogButtonBox::Cancel)->setText(Q(messages::kCancelButton));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* form = new QFormLayout;
  form->addRow(Q(messages::kUnsealKeyLabel), key_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(Q(messages::kUnsealText1), this));
  layout->addWidget(new QLabel(Q(messages::kUnsealText2), this));
  layout->addLayout(form);
  layout->addWidget(buttons);
}

QString UnsealDialog::key_text() const { return key_->text(); }

}  // namespace cw::gui
