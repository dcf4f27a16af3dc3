#pragma once

#include <QWidget>
#include <string_view>

#include "gui/tools/file_choice.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace cw::gui {

// A file a tool window works with: its label, a read-only field with the path the tool holds,
// and the button that asks for another through its file dialog. The field shows what the tool
// took, not what was chosen: a refused file leaves it empty.
class FileField final : public QWidget {
  Q_OBJECT

 public:
  enum class LabelPlace { kLeft, kAbove };

  FileField(std::string_view label, std::string_view button, FileDialogRequest dialog,
            LabelPlace place, QWidget* parent = nullptr);

  void ShowPath(const QString& path);
  QLabel& label() { return *label_; }
  QLineEdit& path() { return *path_; }
  QPushButton& button() { return *button_; }

 signals:
  void chosen(const QString& path);

 private:
  FileDialogRequest dialog_;
  QLabel* label_;
  QLineEdit* path_;
  QPushButton* button_;
};

}  // namespace cw::gui
