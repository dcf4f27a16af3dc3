#pragma once

#include <QDialog>

namespace cw::gui {

// Stands for a tool window (firmware update, converters, SHA-1 authentication) until its own
// window is built: a modeless window over the main window that says so.
class ToolPlaceholderWindow final : public QDialog {
  Q_OBJECT

 public:
  ToolPlaceholderWindow(const QString& title, QWidget* parent);
};

}  // namespace cw::gui
