#include "gui/tools/tool_window.h"

#include <QCloseEvent>
#include <QPushButton>

#include "gui/qt_text.h"

namespace cw::gui {

ToolWindow::ToolWindow(std::string_view title, ToolWindowSetup setup, QWidget* parent)
    : QDialog(parent), setup_(std::move(setup)), relay_(this) {
  setWindowTitle(Q(title));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  connect(&relay_, &ChangeRelay::changed, this, [this] { Refresh(); });
}

ToolWindow::~ToolWindow() {
  if (!closed_) Detach();
}

void ToolWindow::ShowOver(QWidget& main) {
  // Enter in a field presses no button the window has not named its default: the first button
  // may start a job on the gauge.
  for (QPushButton* button : findChildren<QPushButton*>()) {
    if (!button->isDefault()) button->setAutoDefault(false);
  }
  show();
  move(main.geometry().center() - rect().center());
}

void ToolWindow::Detach() {
  closed_ = true;
  disconnect(&relay_, nullptr, this, nullptr);
  if (setup_.stop_tool) setup_.stop_tool();
}

void ToolWindow::CloseTool() {
  if (closed_) return;
  Detach();
  setup_.worker.Run<bool>(nullptr,
                          [close = setup_.close_tool] {
                            close();
                            return true;
                          },
                          {});
}

void ToolWindow::closeEvent(QCloseEvent* event) {
  CloseTool();
  QDialog::closeEvent(event);
}

void ToolWindow::done(int result) {
  CloseTool();
  QDialog::done(result);
}

}  // namespace cw::gui
