#include "gui/production/report_dialog.h"

#include <fmt/format.h>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "common/file_error.h"
#include "common/file_output.h"
#include "gui/gauge_worker.h"
#include "gui/messages.h"
#include "gui/qt_text.h"
#include "gui/tools/file_choice.h"

namespace cw::gui {
namespace {

constexpr FileDialogRequest kSaveDialog{"Save the Pack's Report", "HTML pages (*.html)", true,
                                        "html"};

}  // namespace

ReportDialog::ReportDialog(GaugeWorker& worker, QString title, QString html, QWidget* parent)
    : QDialog(parent), worker_(worker), html_(std::move(html)) {
  setWindowTitle(title);
  setAttribute(Qt::WA_DeleteOnClose);
  page_ = new QTextBrowser(this);
  page_->setOpenLinks(false);
  page_->setHtml(html_);
  note_ = new QLabel(this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  save_ = buttons->addButton(QStringLiteral("Save as HTML..."), QDialogButtonBox::ActionRole);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(save_, &QPushButton::clicked, this, [this] {
    const QString path = ChooseFile(this, kSaveDialog);
    if (!path.isEmpty()) Save(path);
  });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(page_, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(note_, 1);
  bottom->addWidget(buttons);
  layout->addLayout(bottom);
  resize(860, 900);
}

void ReportDialog::Save(const QString& path) {
  save_->setEnabled(false);
  worker_.Run<std::string>(
      this,
      [target = S(path), page = S(html_)]() -> std::string {
        const auto written = common::WriteFileAtomically(target, page);
        if (!written) {
          return fmt::format("The report was not saved: {}",
                             common::DescribeFileError(written.error()));
        }
        return fmt::format("Saved to {}", target);
      },
      [this](const std::string& said) {
        save_->setEnabled(true);
        note_->setText(Q(said));
      });
}

}  // namespace cw::gui
