#include "gui/tools/tool_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPushButton>
#include <QThread>
#include <memory>

#include "gui/qt_text.h"

namespace cw::gui {
namespace {

constexpr int kCloserPollMs = 10;

}  // namespace

ToolWindow::ToolWindow(std::string_view title, ToolWindowSetup setup, QWidget* parent)
    : QDialog(parent), setup_(std::move(setup)), relay_(this) {
  setWindowTitle(Q(title));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  connect(&relay_, &ChangeRelay::changed, this, [this] { Refresh(); });
}

ToolWindow::~ToolWindow() {
  if (closed_) return;
  // Gone without closing: the program is ending and the worker has stopped. A job of the tool
  // may be waiting for a message box to be answered on this thread, so the tool closes on a
  // thread of its own while this one keeps handling events.
  Detach();
  std::unique_ptr<QThread> closer(QThread::create(setup_.close_tool));
  closer->start();
  while (!closer->wait(kCloserPollMs)) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
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
