#include "gui/placeholder_page.h"

#include <fmt/format.h>

#include <QLabel>
#include <QVBoxLayout>

#include "gui/messages.h"
#include "gui/qt_text.h"

namespace cw::gui {

PlaceholderPage::PlaceholderPage(std::string_view page_name, QWidget* parent)
    : QWidget(parent), layout_(new QVBoxLayout(this)) {
  auto* note = new QLabel(Q(fmt::format(fmt::runtime(messages::kPagePending), page_name)), this);
  note->setObjectName("placeholder_note");
  note->setAlignment(Qt::AlignCenter);
  note->setWordWrap(true);
  QFont larger = note->font();
  larger.setPointSizeF(larger.pointSizeF() * 1.3);
  note->setFont(larger);
  note->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  note->setMinimumHeight(80);
  layout_->addStretch();
  layout_->addWidget(note);
  layout_->addStretch();
}

DataFlashPage::DataFlashPage(QWidget* parent)
    : PlaceholderPage(messages::kDataFlashPageName, parent) {}

SmbAccessPage::SmbAccessPage(QWidget* parent)
    : PlaceholderPage(messages::kSmbAccessPageName, parent) {}

}  // namespace cw::gui
