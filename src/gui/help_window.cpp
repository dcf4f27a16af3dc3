#include "gui/help_window.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "gui/qt_text.h"

namespace cw::gui {

HelpWindow::HelpWindow(const std::filesystem::path& guide, QWidget* parent)
    : QDialog(parent), browser_(new QTextBrowser(this)) {
  setWindowTitle(Q("Cellwarden Tools User Guide"));
  setWindowFlag(Qt::WindowMaximizeButtonHint);
  browser_->setOpenExternalLinks(true);
  browser_->setSearchPaths({QString::fromStdString(guide.parent_path().string())});
  browser_->setSource(QUrl::fromLocalFile(QString::fromStdString(guide.string())),
                      QTextDocument::MarkdownResource);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(kWidth, kHeight);
}

}  // namespace cw::gui
