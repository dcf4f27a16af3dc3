#include "gui/tools/file_field.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "gui/qt_text.h"

namespace cw::gui {
namespace {

constexpr int kPathWidth = 340;

}  // namespace

FileField::FileField(std::string_view label, std::string_view button, FileDialogRequest dialog,
                     LabelPlace place, QWidget* parent)
    : QWidget(parent),
      dialog_(dialog),
      label_(new QLabel(Q(label), this)),
      path_(new QLineEdit(this)),
      button_(new QPushButton(Q(button), this)) {
  path_->setReadOnly(true);
  path_->setMinimumWidth(kPathWidth);
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  const int row = place == LabelPlace::kAbove ? 1 : 0;
  const int column = place == LabelPlace::kAbove ? 0 : 1;
  layout->addWidget(label_, 0, 0, 1, place == LabelPlace::kAbove ? 2 : 1);
  layout->addWidget(path_, row, column);
  layout->addWidget(button_, row, column + 1);
  layout->setColumnStretch(column, 1);
  connect(button_, &QPushButton::clicked, this, [this] {
    const QString file = ChooseFile(window(), dialog_);
    if (!file.isEmpty()) emit chosen(file);
  });
}

void FileField::ShowPath(const QString& path) {
  path_->setText(path);
  // The end of a long path names the file; show that end.
  path_->setCursorPosition(static_cast<int>(path.size()));
}

}  // namespace cw::gui
