#include "gui/chart_panel.h"

#include <fmt/format.h>

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <array>
#include <cmath>

#include "gui/messages.h"
#include "gui/product_colours.h"
#include "gui/qt_text.h"
#include "gui/tools/file_choice.h"
#include "monitor/data_log.h"
#include "presentation/chart_gaps.h"
#include "presentation/chart_value_axis.h"

namespace cw::gui {
namespace {

constexpr int kListWidth = 190;
// Points come in low/high pairs, one pair for every four pixels of plot width: the envelope of a
// noisy value stays visible, and the chart draws fast enough to keep the window responsive.
constexpr int kPixelsPerPoint = 2;
// A strip chart needs no more than a few frames a second, and drawing one is the GUI's heaviest
// work while the scan runs.
constexpr int kRedrawMs = 250;
constexpr int kClockTickMs = 1000;
constexpr int kNameRole = Qt::UserRole + 2;
constexpr char kShownKey[] = "Chart/Registers";
constexpr char kWindowKey[] = "Chart/Window";
// An exported picture is for reports and slides: sharper than the screen.
constexpr int kPictureScale = 2;

QString Unit(const std::string& unit) { return unit.empty() || unit == "-" ? QString() : Q(unit); }

}  // namespace

ChartPanel::ChartPanel(monitor::ScanEngine& engine, const common::Clock& clock,
                       common::MessageSink& messages, QWidget* parent)
    : QWidget(parent),
      engine_(engine),
      messages_(messages),
      samples_(engine, clock),
      wall_origin_(presentation::LocalWallSeconds()),
      relay_(this, kRedrawMs),
      list_(new QListWidget(this)),
      pause_(new QPushButton(Q(messages::kChartPause), this)),
      window_(new QComboBox(this)),
      chart_(new QChart),
      view_(new QChartView(chart_, this)),
      time_axis_(new QCategoryAxis(chart_)) {
  list_->setFixedWidth(kListWidth);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->setToolTip(Q("Tick a register to plot it; it is plotted while its Scan box is ticked"));
  BuildSeriesList();
  connect(list_, &QListWidget::itemChanged, this, &ChartPanel::OnItemChanged);

  pause_->setCheckable(true);
  connect(pause_, &QPushButton::toggled, this, &ChartPanel::OnPause);
  for (std::string_view label : messages::kChartWindows) window_->addItem(Q(label));
  const auto& windows = monitor::ChartSamples::kWindows;
  window_->setCurrentIndex(static_cast<int>(
      std::find(windows.begin(), windows.end(), samples_.window()) - windows.begin()));
  connect(window_, &QComboBox::currentIndexChanged, this, &ChartPanel::OnWindow);
  auto* window_label = new QLabel(Q("Window:"), this);
  window_label->setBuddy(window_);
  auto* csv = new QPushButton(Q("Export &CSV..."), this);
  auto* png = new QPushButton(Q(messages::kChartExportPng), this);
  connect(csv, &QPushButton::clicked, this, &ChartPanel::AskCsv);
  connect(png, &QPushButton::clicked, this, &ChartPanel::AskPng);

  chart_->legend()->setAlignment(Qt::AlignTop);
  chart_->setMargins(QMargins(2, 2, 2, 2));
  chart_->setBackgroundRoundness(0);
  time_axis_->setTitleText(Q(messages::kChartTimeAxis));
  time_axis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  chart_->addAxis(time_axis_, Qt::AlignBottom);
  view_->setMinimumSize(320, 180);
  // Every item of a live chart changes shape at each redraw: keeping the scene's spatial index up
  // to date costs more than it saves, and so does tracking which parts of the plot changed.
  view_->scene()->setItemIndexMethod(QGraphicsScene::NoIndex);
  view_->setViewportUpdateMode(QGraphicsView::FullViewportUpdate);

  auto* controls = new QHBoxLayout;
  controls->addWidget(pause_);
  controls->addWidget(window_label);
  controls->addWidget(window_);
  controls->addStretch();
  controls->addWidget(csv);
  controls->addWidget(png);
  auto* right = new QVBoxLayout;
  right->addLayout(controls);
  right->addWidget(view_, 1);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(list_);
  layout->addLayout(right, 1);

  relay_.Watch(samples_.changes());
  // Queued: each redraw is an event of its own, after whatever the relay's turn also delivers.
  connect(
      &relay_, &ChangeRelay::changed, this,
      [this] {
        if (isVisible()) Redraw();
      },
      Qt::QueuedConnection);
  clock_tick_.setInterval(kClockTickMs);
  connect(&clock_tick_, &QTimer::timeout, this, [this] {
    if (!samples_.paused()) Redraw();
  });
}

ChartPanel::~ChartPanel() = default;

void ChartPanel::BuildSeriesList() {
  const auto shown = samples_.shown_rows();
  const monitor::RegisterTable table = engine_.Snapshot();
  for (monitor::RowRef row : monitor::ChartSamples::ChartableRows(table)) {
    auto* item = new QListWidgetItem(Q(table.row(row).name), list_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    const bool on = std::find(shown.begin(), shown.end(), row) != shown.end();
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    item->setData(Qt::UserRole, static_cast<int>(row.table));
    item->setData(Qt::UserRole + 1, static_cast<int>(row.index));
    item->setData(kNameRole, Q(table.row(row).name));
  }
}

void ChartPanel::RefreshSeriesList() {
  const QSignalBlocker blocker(list_);
  const monitor::RegisterTable table = engine_.Snapshot();
  for (int i = 0; i < list_->count(); ++i) {
    QListWidgetItem* item = list_->item(i);
    const monitor::RowRef row{static_cast<monitor::TableId>(item->data(Qt::UserRole).toInt()),
                              static_cast<std::size_t>(item->data(Qt::UserRole + 1).toInt())};
    const monitor::SbsRegisterDef& def = table.row(row);
    const bool waiting = item->checkState() == Qt::Checked && !def.scan;
    const QString text = waiting ? Q(fmt::format("{} (not scanned)", def.name)) : Q(def.name);
    if (item->text() == text) continue;
    item->setText(text);
    item->setForeground(waiting ? QColor(0x90, 0x90, 0x90) : QColor(Qt::black));
  }
}

void ChartPanel::OnItemChanged(QListWidgetItem* item) {
  const monitor::RowRef row{static_cast<monitor::TableId>(item->data(Qt::UserRole).toInt()),
                            static_cast<std::size_t>(item->data(Qt::UserRole + 1).toInt())};
  samples_.Show(row, item->checkState() == Qt::Checked);
  RefreshSeriesList();
  Redraw();
}

void ChartPanel::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  clock_tick_.stop();
}

void ChartPanel::OnPause(bool paused) {
  samples_.SetPaused(paused);
  pause_->setText(Q(paused ? messages::kChartResume : messages::kChartPause));
  Redraw();
}

void ChartPanel::OnWindow(int index) {
  if (index < 0 || index >= static_cast<int>(monitor::ChartSamples::kWindows.size())) return;
  samples_.SetWindow(monitor::ChartSamples::kWindows[static_cast<std::size_t>(index)]);
  Redraw();
}

void ChartPanel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  RefreshSeriesList();
  Redraw();
  clock_tick_.start();
}

void ChartPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // A paused chart gets no samples to redraw for, yet its labels must fit the new width.
  if (isVisible()) Redraw();
}

void ChartPanel::Rebuild(const monitor::ChartView& view) {
  for (const auto& segments : lines_) {
    for (QLineSeries* series : segments) {
      chart_->removeSeries(series);
      delete series;
    }
  }
  lines_.clear();
  series_rows_.clear();
  for (auto& [unit, axis] : unit_axes_) {
    chart_->removeAxis(axis);
    delete axis;
  }
  unit_axes_.clear();
  // One value axis per unit, alternately left and right, so volts and amperes keep their scales.
  for (const monitor::ChartSeriesView& shown : view.series) {
    auto* series = new QLineSeries;
    series->setName(Q(shown.name));
    series->setColor(SeriesColour(shown.row));
    chart_->addSeries(series);
    series->attachAxis(time_axis_);
    auto [at, added] = unit_axes_.try_emplace(shown.unit, nullptr);
    if (added) {
      // The axis takes the colour of its unit's first line, so each scale finds its line.
      at->second = new QValueAxis;
      at->second->setTitleText(Unit(shown.unit));
      at->second->setLabelFormat("%g");
      at->second->setLabelsColor(series->color());
      at->second->setTitleBrush(series->color());
      at->second->setLinePenColor(series->color());
      chart_->addAxis(at->second, unit_axes_.size() % 2 == 1 ? Qt::AlignLeft : Qt::AlignRight);
    }
    series->attachAxis(at->second);
    lines_.push_back({series});
    series_rows_.push_back(shown.row);
  }
}

QLineSeries* ChartPanel::AddSegment(std::size_t index) {
  QLineSeries* first = lines_[index].front();
  auto* series = new QLineSeries;
  series->setName(first->name());
  series->setPen(first->pen());
  chart_->addSeries(series);
  for (QAbstractAxis* axis : first->attachedAxes()) series->attachAxis(axis);
  for (QLegendMarker* marker : chart_->legend()->markers(series)) marker->setVisible(false);
  lines_[index].push_back(series);
  return series;
}

QColor ChartPanel::SeriesColour(monitor::RowRef row) const {
  // By the row's place in the list, so a register keeps its colour whatever else is shown.
  for (int i = 0; i < list_->count(); ++i) {
    const QListWidgetItem* item = list_->item(i);
    if (item->data(Qt::UserRole).toInt() == static_cast<int>(row.table) &&
        item->data(Qt::UserRole + 1).toInt() == static_cast<int>(row.index)) {
      return QColor(kChartColours[static_cast<std::size_t>(i) % kChartColours.size()]);
    }
  }
  return QColor(kChartColours.front());
}

int ChartPanel::SegmentCount(std::size_t index) const {
  if (index >= lines_.size()) return 0;
  return static_cast<int>(std::count_if(lines_[index].begin(), lines_[index].end(),
                                        [](const QLineSeries* line) { return line->count() > 0; }));
}

void ChartPanel::Redraw() {
  const std::size_t max_points =
      static_cast<std::size_t>(std::max(100, view_->width() / kPixelsPerPoint));
  const monitor::ChartView view = samples_.View(max_points);
  drawn_until_ = view.end_seconds;
  std::vector<monitor::RowRef> rows;
  for (const auto& shown : view.series) rows.push_back(shown.row);
  bool units_changed = false;
  for (const auto& shown : view.series) units_changed |= !unit_axes_.contains(shown.unit);
  if (rows != series_rows_ || units_changed) Rebuild(view);

  ShowTimeAxis(view);
  std::map<std::string, std::pair<double, double>> ranges;
  const double window_seconds = static_cast<double>(samples_.window().count()) / 1000.0;
  for (std::size_t i = 0; i < view.series.size(); ++i) {
    const monitor::ChartSeriesView& shown = view.series[i];
    const auto segments = presentation::ChartSegments(
        shown.points, presentation::ChartGapSeconds(shown.points, window_seconds, max_points));
    while (lines_[i].size() < segments.size()) AddSegment(i);
    for (std::size_t k = 0; k < lines_[i].size(); ++k) {
      QList<QPointF> points;
      if (k < segments.size()) {
        points.reserve(static_cast<qsizetype>(segments[k].size()));
        for (const monitor::ChartPoint& point : segments[k]) {
          points.append({point.seconds, point.value});
        }
      }
      // A run no longer needed stays, empty, for the next gap.
      // A run that did not change is not handed over again: the chart would lay it out anew.
      if (points != lines_[i][k]->points()) lines_[i][k]->replace(points);
    }
    if (shown.points.empty()) continue;
    auto [at, added] = ranges.try_emplace(shown.unit, shown.min, shown.max);
    if (!added) {
      at->second.first = std::min(at->second.first, shown.min);
      at->second.second = std::max(at->second.second, shown.max);
    }
  }
  for (auto& [unit, axis] : unit_axes_) {
    const auto range = ranges.find(unit);
    if (range == ranges.end()) continue;
    const auto [low, high] = range->second;
    const auto next = presentation::NextChartValueRange(low, high, axis->min(), axis->max());
    if (!next) continue;
    axis->setRange(next->low, next->high);
    axis->setTickCount(next->ticks);
  }
}

void ChartPanel::ShowTimeAxis(const monitor::ChartView& view) {
  if (time_axis_->min() != view.axis_start || time_axis_->max() != view.axis_end) {
    time_axis_->setRange(view.axis_start, view.axis_end);
  }
  const QRectF plot = chart_->plotArea();
  const double width = plot.width() > 0 ? plot.width() : view_->width();
  presentation::ChartTimeAxis ticks =
      presentation::ClockTimeAxis(view.axis_start, view.axis_end, wall_origin_, width,
                                  QFontMetricsF(time_axis_->labelsFont()).horizontalAdvance('0'));
  // New labels lay the chart out again: only when the axis moved or the plot changed width.
  if (ticks == time_ticks_) return;
  time_ticks_ = std::move(ticks);
  {
    // The axis would lay its labels out at every one removed and added; once, below, is enough.
    const QSignalBlocker quiet(time_axis_);
    for (const QString& label : time_axis_->categoriesLabels()) time_axis_->remove(label);
    for (const presentation::ChartTick& tick : time_ticks_.ticks) {
      time_axis_->append(Q(tick.label), tick.seconds);
    }
  }
  time_axis_->setStartValue(view.axis_start);
}

void ChartPanel::SaveChoice(QSettings& settings) const {
  QStringList shown;
  for (int i = 0; i < list_->count(); ++i) {
    const QListWidgetItem* item = list_->item(i);
    // The name as the table has it, not as the list marks a row that is not scanned.
    if (item->checkState() == Qt::Checked) shown << item->data(kNameRole).toString();
  }
  settings.setValue(kShownKey, shown);
  settings.setValue(kWindowKey, window_->currentIndex());
}

void ChartPanel::RestoreChoice(const QSettings& settings) {
  if (settings.contains(kShownKey)) {
    const QStringList shown = settings.value(kShownKey).toStringList();
    for (int i = 0; i < list_->count(); ++i) {
      QListWidgetItem* item = list_->item(i);
      item->setCheckState(shown.contains(item->data(kNameRole).toString()) ? Qt::Checked
                                                                           : Qt::Unchecked);
    }
  }
  const int window = settings.value(kWindowKey, -1).toInt();
  if (window >= 0 && window < window_->count()) window_->setCurrentIndex(window);
}

bool ChartPanel::ExportCsv(const QString& path) {
  QFile file(path);
  const std::string csv = samples_.Csv();
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size())) {
    messages_.Show(fmt::format(messages::kExportFailed, S(path), S(file.errorString())),
                   common::MessageIcon::kError);
    return false;
  }
  return true;
}

QStringList ChartPanel::PictureCaption() const {
  const auto [from, to] =
      presentation::ClockRange(time_axis_->min(), time_axis_->max(), wall_origin_);
  return {Q(messages::kChartPictureTitle), Q(fmt::format(messages::kChartPictureRange, from, to))};
}

bool ChartPanel::ExportPng(const QString& path) {
  Redraw();
  // The caption is drawn by the chart itself, for the picture only: on the screen the tab says it.
  chart_->setTitle(PictureCaption().join("<br>"));
  chart_->layout()->activate();
  QImage picture(view_->viewport()->size() * kPictureScale, QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::white);
  {
    QPainter painter(&picture);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    view_->render(&painter, QRectF(picture.rect()), view_->viewport()->rect());
  }
  chart_->setTitle({});
  if (!picture.save(path, "PNG")) {
    messages_.Show(fmt::format(messages::kExportFailed, S(path), messages::kPictureNotWritten),
                   common::MessageIcon::kError);
    return false;
  }
  return true;
}

void ChartPanel::AskCsv() {
  const QString chosen = ChooseFile(this, {"Export Chart Data", "CSV Files (*.csv)", true, "csv"});
  if (chosen.isEmpty()) return;
  ExportCsv(QString::fromStdString(
      monitor::DataLogFilePath(chosen.toStdString(), monitor::LogFormat::kCsv).string()));
}

void ChartPanel::AskPng() {
  const QString chosen = ChooseFile(this, kPngDialog);
  if (!chosen.isEmpty()) ExportPng(chosen);
}

}  // namespace cw::gui
