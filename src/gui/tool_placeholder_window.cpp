#include "gui/tool_placeholder_window.h"

#include <fmt/format.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/messages.h"
#include "gui/qt_text.h"

namespace cw::gui {

ToolPlaceholderWindow::ToolPlaceholderWindow(const QString& title, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(title);
  setAttribute(Qt::WA_DeleteOnClose);
  auto* text = new QLabel(Q(fmt::format(fmt::runtime(messages::kToolPending), S(title))), this);
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignCenter);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText(Q(messages::kCloseButton));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text, 1);
  layout->addWidget(buttons);
  resize(420, 200);
}

}  // namespace cw::gui
