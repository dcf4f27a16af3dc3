#include "gui/left_column.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/page_button.h"
#include "gui/qt_text.h"

namespace cw::gui {
namespace {

constexpr int kColumnWidth = 120;
constexpr int kAdapterIdLength = 6;

}  // namespace

LeftColumn::LeftColumn(QWidget* parent)
    : QWidget(parent),
      adapter_id_(new QLineEdit(Q("0x8888"), this)),
      config_(new QPushButton(Q("Config"), this)),
      gauge_(new QProgressBar(this)),
      percentage_(new QLabel(Q("-"), this)),
      seal_(new QLabel(this)) {
  setFixedWidth(kColumnWidth);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);

  auto* id_label = new QLabel(Q("PID/SN Cfg:"), this);
  id_label->setBuddy(adapter_id_);
  adapter_id_->setMaxLength(kAdapterIdLength);
  layout->addWidget(id_label);
  layout->addWidget(adapter_id_);
  layout->addWidget(config_);
  layout->addSpacing(14);

  const std::array<std::string_view, 4> labels = {"SBS", "Flash", "Calibration", "Pro"};
  for (std::size_t i = 0; i < labels.size(); ++i) {
    pages_[i] = new PageButton(Q(labels[i]), this);
    const auto page = static_cast<Page>(i);
    connect(pages_[i], &PageButton::clicked, this, [this, page] { emit pageClicked(page); });
    layout->addWidget(pages_[i]);
  }
  layout->addSpacing(14);

  auto* top = new QLabel(Q("100%"), this);
  auto* bottom = new QLabel(Q("0%"), this);
  auto* caption = new QLabel(Q("Fuel Gauge"), this);
  gauge_->setOrientation(Qt::Vertical);
  gauge_->setRange(0, 100);
  gauge_->setValue(0);
  gauge_->setTextVisible(false);
  gauge_->setMinimumHeight(110);
  for (QLabel* label : {top, bottom, caption, percentage_, seal_}) {
    label->setAlignment(Qt::AlignHCenter);
  }
  seal_->setObjectName("seal_state");
  seal_->setWordWrap(true);
  QFont bold = percentage_->font();
  bold.setBold(true);
  percentage_->setFont(bold);
  layout->addWidget(top);
  layout->addWidget(gauge_, 1, Qt::AlignHCenter);
  layout->addWidget(bottom);
  layout->addWidget(caption);
  layout->addWidget(percentage_);
  layout->addWidget(seal_);
  ShowSelected(Page::kSbs);
}

void LeftColumn::ShowSelected(Page page) {
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    pages_[i]->SetSelected(static_cast<Page>(i) == page);
  }
}

void LeftColumn::ShowCharge(const presentation::ChargeGauge::View& view) {
  // The bar cannot go past full; the text shows a remaining capacity above the full one.
  gauge_->setValue(std::clamp(view.position, 0, 100));
  percentage_->setText(Q(view.text));
}

QString LeftColumn::charge_text() const { return percentage_->text(); }

void LeftColumn::ShowSeal(const QString& text) {
  if (seal_->text() != text) seal_->setText(text);
}

QString LeftColumn::seal_text() const { return seal_->text(); }

}  // namespace cw::gui
