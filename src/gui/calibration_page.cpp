#include "gui/calibration_page.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/calibration.h"
#include "gui/messages.h"
#include "gui/qt_text.h"

namespace cw::gui {
namespace {

constexpr int kRefreshMs = 1000;
constexpr std::array<std::string_view, 4> kCellRows = {"Cell Voltage 1", "Cell Voltage 2",
                                                       "Cell Voltage 3", "Cell Voltage 4"};
constexpr std::array<std::string_view, 4> kTsRows = {"TS1 Temperature", "TS2 Temperature",
                                                     "TS3 Temperature", "TS4 Temperature"};
constexpr std::string_view kCurrentRow = "Current";

}  // namespace

CalibrationPage::CalibrationPage(monitor::ScanEngine& engine, QWidget* parent)
    : PlaceholderPage(messages::kCalibrationPageName, parent), engine_(engine) {
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(Q(messages::kReadingsHeading), this), 0, 0, 1, 4);
  for (int i = 0; i < 9; ++i) {
    const QString name = i < 4   ? Q(messages::kCellReading).arg(i + 1)
                         : i < 8 ? Q(messages::kTsReading).arg(i - 3)
                                 : Q(messages::kCurrentReading);
    const std::string_view unit = i < 4   ? messages::kMillivolts
                                  : i < 8 ? messages::kDegrees
                                          : messages::kMilliamperes;
    auto* value = new QLabel(this);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance("-00000.0"));
    readings_[static_cast<std::size_t>(i)] = value;
    const int row = 1 + i % 4;
    const int column = (i / 4) * 3;
    grid->addWidget(new QLabel(name, this), row, column);
    grid->addWidget(value, row, column + 1);
    grid->addWidget(new QLabel(Q(unit), this), row, column + 2);
  }
  grid->setHorizontalSpacing(10);
  grid->setColumnStretch(9, 1);
  layout().insertLayout(0, grid);
  timer_.setInterval(kRefreshMs);
  connect(&timer_, &QTimer::timeout, this, &CalibrationPage::Refresh);
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
  std::array<std::int64_t, 4> cells{};
  std::array<std::int64_t, 4> sensors{};
  std::int64_t current = monitor::kNotRead;
  engine_.WithTable([&](const monitor::RegisterTable& table) {
    const auto raw = [&](std::string_view name) -> std::int64_t {
      const monitor::SbsRegisterDef* row = table.FindRow(name);
      return row != nullptr ? row->raw_value : monitor::kNotRead;
    };
    for (std::size_t i = 0; i < 4; ++i) {
      cells[i] = raw(kCellRows[i]);
      sensors[i] = raw(kTsRows[i]);
    }
    current = raw(kCurrentRow);
  });
  const app::CalibrationReadings text = app::ReadingsText(cells, sensors, current);
  for (std::size_t i = 0; i < 4; ++i) {
    readings_[i]->setText(Q(text.cells[i]));
    readings_[4 + i]->setText(Q(text.temperatures[i]));
  }
  readings_[8]->setText(Q(text.current));
}

}  // namespace cw::gui
