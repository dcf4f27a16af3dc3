#include "gui/calibration_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QVBoxLayout>

#include "dataflash/data_flash_session.h"
#include "gui/gauge_worker.h"
#include "gui/message_box_sink.h"
#include "gui/messages.h"
#include "gui/progress_relay.h"
#include "gui/qt_text.h"

namespace cw::gui {
namespace {

constexpr int kRefreshMs = 1000;
constexpr int kFieldChars = 9;
constexpr char kCellPattern[] = "\\d{0,5}";
constexpr char kTemperaturePattern[] = "-?\\d{0,3}(\\.\\d{0,2})?";
constexpr char kCurrentPattern[] = "-?\\d{0,6}";

QWidget* HintRow(std::string_view text, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* icon = new QLabel(row);
  const int size = row->style()->pixelMetric(QStyle::PM_SmallIconSize);
  icon->setPixmap(row->style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(size));
  auto* label = new QLabel(Q(text), row);
  label->setWordWrap(true);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(icon);
  layout->addWidget(label, 1);
  return row;
}

QLineEdit* ReferenceField(const char* pattern, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), field));
  field->setAlignment(Qt::AlignRight);
  field->setFixedWidth(field->fontMetrics().horizontalAdvance('0') * kFieldChars);
  return field;
}

QProgressBar* HiddenBar(QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setRange(0, 100);
  bar->setTextVisible(false);
  bar->setVisible(false);
  return bar;
}

}  // namespace

CalibrationPage::CalibrationPage(app::Workbench& bench, GaugeWorker& worker,
                                 ProgressRelay& progress, MessageBoxSink& messages, QWidget* parent)
    : QWidget(parent),
      bench_(bench),
      messages_(messages),
      worker_(worker),
      progress_(progress),
      busy_relay_(this) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(MakeOffsetGroup());
  layout->addWidget(MakeReferenceGroup());
  layout->addStretch();

  timer_.setInterval(kRefreshMs);
  connect(&timer_, &QTimer::timeout, this, &CalibrationPage::Refresh);
  connect(&progress_.relay(), &ChangeRelay::changed, this, &CalibrationPage::ShowBars);
  busy_relay_.Watch(bench_.calibration().changes());
  busy_relay_.Watch(bench_.data_flash().changes());
  connect(&busy_relay_, &ChangeRelay::changed, this, &CalibrationPage::ShowBusy);
  ShowBusy();
}

QLineEdit* CalibrationPage::MakeMeasured() {
  auto* field = new QLineEdit(Q("Err_Rd"), this);
  field->setReadOnly(true);
  field->setFocusPolicy(Qt::NoFocus);
  field->setAlignment(Qt::AlignRight);
  field->setFixedWidth(field->fontMetrics().horizontalAdvance('0') * kFieldChars);
  return field;
}

QWidget* CalibrationPage::MakeOffsetGroup() {
  auto* group = new QGroupBox(Q("Board Offset Calibration"), this);
  offset_button_ = new QPushButton(Q(messages::kCalibrateButton), group);
  offset_bar_ = HiddenBar(group);
  auto* row = new QHBoxLayout(group);
  row->addWidget(HintRow("Insure no load current is flowing", group), 1);
  row->addWidget(offset_bar_, 1);
  row->addWidget(offset_button_);
  connect(offset_button_, &QPushButton::clicked, this, [this] {
    // The scan's last current reading: asking costs no bus transaction.
    const auto question = bench_.calibration().View().offset_load_question;
    if (question && !messages_.Ask(*question, "Calibrate Anyway", "Cancel")) {
      return;
    }
    Run([&calibration = bench_.calibration()] { return calibration.CalibrateBoardOffset(); });
  });
  return group;
}

QWidget* CalibrationPage::MakeReferenceGroup() {
  auto* group = new QGroupBox(Q("Cell Voltage, Temperature and Current Calibration"), this);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(10);
  grid->addWidget(new QLabel(Q("Measured"), group), 0, 1, Qt::AlignRight);
  grid->addWidget(new QLabel(Q("Actual"), group), 0, 2, Qt::AlignRight);
  for (std::size_t i = 0; i < 9; ++i) measured_[i] = MakeMeasured();
  int line = 1;
  for (std::size_t i = 0; i < 4; ++i, ++line) {
    cells_[i] = ReferenceField(kCellPattern, group);
    grid->addWidget(new QLabel(Q("Cell Voltage %1 :").arg(i + 1), group), line, 0);
    grid->addWidget(measured_[i], line, 1);
    grid->addWidget(cells_[i], line, 2);
    grid->addWidget(new QLabel(Q("mV"), group), line, 3);
  }
  voltage_check_ = new QCheckBox(Q("Calibrate Cell Voltage"), group);
  grid->addWidget(voltage_check_, line++, 2, 1, 3);
  for (std::size_t i = 0; i < 4; ++i, ++line) {
    temperatures_[i] = ReferenceField(kTemperaturePattern, group);
    ts_checks_[i] = new QCheckBox(Q("Calibrate TS%1 Temperature").arg(i + 1), group);
    grid->addWidget(new QLabel(Q("TS%1 Temperature :").arg(i + 1), group), line, 0);
    grid->addWidget(measured_[4 + i], line, 1);
    grid->addWidget(temperatures_[i], line, 2);
    grid->addWidget(new QLabel(Q("℃"), group), line, 3);
    grid->addWidget(ts_checks_[i], line, 4);
  }
  grid->addWidget(HintRow("Insure that battery voltage is stable and no current is flowing", group),
                  line++, 0, 1, 5);
  current_check_ = new QCheckBox(Q("Calibrate Current"), group);
  current_ = ReferenceField(kCurrentPattern, group);
  grid->addWidget(new QLabel(Q(messages::kCurrentRow), group), line, 0);
  grid->addWidget(measured_[8], line, 1);
  grid->addWidget(current_, line, 2);
  grid->addWidget(new QLabel(Q("mA"), group), line, 3);
  grid->addWidget(current_check_, line++, 4);
  grid->addWidget(new QLabel(Q("Enter actual current"), group), line++, 2, 1, 3);
  grid->addWidget(
      HintRow("Apply 2 Ampere discharge load. Discharge current is a negative value.", group),
      line++, 0, 1, 5);
  grid->setColumnStretch(5, 1);

  calibrate_button_ = new QPushButton(Q(messages::kCalibrateButton), group);
  calibration_bar_ = HiddenBar(group);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(calibration_bar_, 1);
  bottom->addStretch();
  bottom->addWidget(calibrate_button_);
  auto* column = new QVBoxLayout(group);
  column->addLayout(grid);
  column->addLayout(bottom);
  connect(calibrate_button_, &QPushButton::clicked, this, [this] {
    Run([&calibration = bench_.calibration(), entries = Entries()] {
      return calibration.CalibrateFromEntries(entries);
    });
  });
  return group;
}

app::CalibrationEntries CalibrationPage::Entries() const {
  app::CalibrationEntries entries;
  entries.calibrate_voltage = voltage_check_->isChecked();
  for (std::size_t i = 0; i < 4; ++i) {
    entries.cells[i] = S(cells_[i]->text());
    entries.calibrate_ts[i] = ts_checks_[i]->isChecked();
    entries.temperatures[i] = S(temperatures_[i]->text());
  }
  entries.calibrate_current = current_check_->isChecked();
  entries.current = S(current_->text());
  return entries;
}

void CalibrationPage::Run(std::function<common::Outcome()> job) {
  ++jobs_;
  setCursor(Qt::WaitCursor);
  ShowBusy();
  worker_.Run<common::Outcome>(this, std::move(job), [this](const common::Outcome&) {
    --jobs_;
    unsetCursor();
    ShowBusy();
  });
}

void CalibrationPage::ShowBusy() {
  const app::CalibrationView view = bench_.calibration().View();
  const bool busy = view.busy || view.flash_transfer_busy;
  const bool idle = jobs_ == 0 && !busy;
  for (QPushButton* button : {offset_button_, calibrate_button_}) {
    button->setEnabled(idle);
    button->setToolTip(
        busy ? Q("Waits until the data flash transfer or the calibration running now has ended")
             : QString());
  }
}

void CalibrationPage::ShowBars() {
  const std::array<std::pair<common::TaskKind, QProgressBar*>, 2> bars = {
      {{common::TaskKind::kOffsetCalibration, offset_bar_},
       {common::TaskKind::kCalibration, calibration_bar_}}};
  for (const auto& [kind, bar] : bars) {
    const TaskCount count = progress_.count(kind);
    if (count.total <= 0) continue;
    bar->setVisible(true);
    bar->setValue(count.done * 100 / count.total);
  }
}

void CalibrationPage::SetRefreshing(bool refreshing) {
  if (refreshing) {
    Refresh();
    timer_.start();
  } else {
    timer_.stop();
  }
}

void CalibrationPage::Refresh() {
  const app::CalibrationReadings text = bench_.calibration().View().readings;
  for (std::size_t i = 0; i < 4; ++i) {
    measured_[i]->setText(Q(text.cells[i]));
    measured_[4 + i]->setText(Q(text.temperatures[i]));
  }
  measured_[8]->setText(Q(text.current));
}

}  // namespace cw::gui
