#include "gui/about_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "gui/app_icon.h"
#include "gui/messages.h"
#include "gui/qt_text.h"

namespace cw::gui {

AboutDialog::AboutDialog(const QString& version_text, QWidget* parent)
    : QDialog(parent), version_(new QLabel(this)) {
  setWindowTitle(Q("About KT580714pc"));
  // The version lines end in CR LF; a label wants plain line breaks.
  QString lines = version_text;
  lines.remove('\r');
  version_->setText(lines.trimmed());
  version_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* icon = new QLabel(this);
  icon->setPixmap(QPixmap::fromImage(AppIconImage(64)));
  auto* product = new QLabel(
      Q("Cellwarden Tools\nEvaluation and configuration workbench for the KT580714 fuel gauge\n"
        "Quillmarsh Electronic LTD."),
      this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText(Q(messages::kOkButton));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QGridLayout(this);
  layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
  layout->addWidget(product, 0, 1);
  layout->addWidget(version_, 1, 1);
  layout->addWidget(buttons, 2, 0, 1, 2);
  layout->setHorizontalSpacing(16);
}

QString AboutDialog::version_text() const { return version_->text(); }

}  // namespace cw::gui
