#include "gui/tools/file_choice.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

#include "gui/messages.h"
#include "gui/product_settings.h"
#include "gui/qt_text.h"

namespace cw::gui {
namespace {

QString FolderKey(std::string_view title) { return "RecentFolders/" + Q(title); }

}  // namespace

QString RememberedFolder(std::string_view title) {
  return ProductSettings().value(FolderKey(title)).toString();
}

QString ChooseFile(QWidget* parent, const FileDialogRequest& request) {
  QFileDialog dialog(parent, Q(request.title), RememberedFolder(request.title), Q(request.filter));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  if (request.save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(Q(request.default_suffix));
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  const QString chosen = dialog.selectedFiles().constFirst();
  RememberFolder(request.title, chosen);
  return chosen;
}

void RememberFolder(std::string_view title, const QString& chosen) {
  if (chosen.isEmpty()) return;
  QSettings settings = ProductSettings();
  settings.setValue(FolderKey(title), QFileInfo(chosen).absolutePath());
}

}  // namespace cw::gui
