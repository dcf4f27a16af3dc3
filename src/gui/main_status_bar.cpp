#include "gui/main_status_bar.h"

#include <QLabel>
#include <QProgressBar>
#include <QStackedWidget>

#include "gui/messages.h"
#include "gui/product_colours.h"
#include "gui/qt_text.h"

namespace cw::gui {
namespace {

constexpr QRgb kSimulatedMark = 0xFFD966;
constexpr int kPanePadding = 12;

}  // namespace

MainStatusBar::MainStatusBar(bool simulated, QWidget* parent) : QStatusBar(parent) {
  setSizeGripEnabled(false);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(kProductBackground));
  setPalette(palette);

  if (simulated) {
    auto* mark = new QLabel(QStringLiteral("Simulated pack"), this);
    mark->setObjectName("simulated_pack");
    mark->setAutoFillBackground(true);
    QPalette mark_palette = mark->palette();
    mark_palette.setColor(QPalette::Window, QColor(kSimulatedMark));
    mark->setPalette(mark_palette);
    mark->setContentsMargins(6, 0, 6, 0);
    QFont bold = mark->font();
    bold.setBold(true);
    mark->setFont(bold);
    addPermanentWidget(mark);
  }
  link_ = AddPane({}, true);
  progress_ = AddPane(messages::kPane1Initial, false);
  progress_->setText(Q(messages::kPane1Initial));

  pane2_ = new QStackedWidget(this);
  completion_ = new QLabel(Q(messages::kPane2Initial), pane2_);
  bar_ = new QProgressBar(pane2_);
  bar_->setRange(0, 100);
  bar_->setTextVisible(false);
  bar_->setMaximumHeight(fontMetrics().height());
  pane2_->addWidget(completion_);
  pane2_->addWidget(bar_);
  pane2_->setFixedWidth(fontMetrics().horizontalAdvance(Q(messages::kPane2Initial)) + kPanePadding);
  addPermanentWidget(pane2_);

  clock_ = AddPane(messages::kPane3Initial, false);
  clock_->setText(Q(messages::kPane3Initial));
}

QLabel* MainStatusBar::AddPane(std::string_view sizing_text, bool stretch) {
  auto* pane = new QLabel(this);
  pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  if (!stretch) {
    // A pane of fixed size takes new text without laying the whole window out again; the
    // progress pane changes with every register the scan reads.
    pane->setText(Q(sizing_text));
    pane->setFixedSize(fontMetrics().horizontalAdvance(Q(sizing_text)) + kPanePadding,
                       pane->sizeHint().height());
  }
  addPermanentWidget(pane, stretch ? 1 : 0);
  return pane;
}

void MainStatusBar::ShowLink(std::string_view text) { link_->setText(Q(text)); }

void MainStatusBar::ShowClock(std::string_view text) { clock_->setText(Q(text)); }

void MainStatusBar::ShowProgress(const StatusPanes& panes) {
  progress_->setText(Q(panes.progress_text));
  completion_->setText(Q(panes.pane2));
  bar_->setValue(panes.bar_position);
  pane2_->setCurrentWidget(panes.bar_visible ? static_cast<QWidget*>(bar_) : completion_);
}

QString MainStatusBar::pane(int index) const {
  switch (index) {
    case 0:
      return link_->text();
    case 1:
      return progress_->text();
    case 2:
      return completion_->text();
    case 3:
      return clock_->text();
    default:
      return {};
  }
}

bool MainStatusBar::bar_shown() const { return pane2_->currentWidget() == bar_; }

}  // namespace cw::gui
