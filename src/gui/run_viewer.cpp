#include "gui/run_viewer.h"

#include <fmt/format.h>

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>

#include "gui/messages.h"
#include "gui/product_colours.h"
#include "gui/qt_text.h"
#include "gui/tools/file_choice.h"

namespace cw::gui {
namespace {

constexpr int kListWidth = 190;
// Each run its own line style, in the order the runs were opened.
constexpr std::array<Qt::PenStyle, 5> kRunStyles = {Qt::SolidLine, Qt::DashLine, Qt::DotLine,
                                                    Qt::DashDotLine, Qt::DashDotDotLine};
constexpr int kPictureScale = 2;

QColor RegisterColour(const std::vector<std::string>& registers, const std::string& name) {
  const auto at = std::find(registers.begin(), registers.end(), name) - registers.begin();
  return QColor(kChartColours[static_cast<std::size_t>(at) % kChartColours.size()]);
}

}  // namespace

RunViewer::RunViewer(QWidget* parent)
    : QWidget(parent, Qt::Window),
      list_(new QListWidget(this)),
      alignment_(new QComboBox(this)),
      status_(new QLabel(this)),
      readout_(new QLabel(this)),
      plot_(new RunPlot(this)) {
  setWindowTitle(Q(messages::kRunViewerTitle));
  setAttribute(Qt::WA_DeleteOnClose, false);
  resize(1100, 700);

  list_->setFixedWidth(kListWidth);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  connect(list_, &QListWidget::itemChanged, this, &RunViewer::OnItemChanged);

  auto* open = new QPushButton(Q(messages::kOpenLogButton), this);
  connect(open, &QPushButton::clicked, this, &RunViewer::AskOpen);
  auto* align_label = new QLabel(Q(messages::kAlignLabel), this);
  align_label->setBuddy(alignment_);
  for (std::string_view choice : messages::kAlignChoices) alignment_->addItem(Q(choice));
  connect(alignment_, &QComboBox::currentIndexChanged, this, &RunViewer::OnAlignment);
  auto* show_all = new QPushButton(Q(messages::kShowAllButton), this);
  connect(show_all, &QPushButton::clicked, this, &RunViewer::ShowAll);
  auto* png = new QPushButton(Q(messages::kChartExportPng), this);
  connect(png, &QPushButton::clicked, this, &RunViewer::AskPng);

  plot_->setToolTip(Q(messages::kViewerHint));
  plot_->on_zoom = [this](double x, double factor) { ZoomAt(x, factor); };
  plot_->on_pan = [this](double seconds) { PanBy(seconds); };
  plot_->on_cursor = [this](double x) { SetCursorAt(x); };
  plot_->on_show_all = [this] { ShowAll(); };
  readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  readout_->setText(Q(messages::kViewerHint));
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* controls = new QHBoxLayout;
  controls->addWidget(open);
  controls->addWidget(align_label);
  controls->addWidget(alignment_);
  controls->addWidget(show_all);
  controls->addStretch();
  controls->addWidget(png);
  auto* right = new QVBoxLayout;
  right->addLayout(controls);
  right->addWidget(plot_, 1);
  right->addWidget(readout_);
  auto* body = new QHBoxLayout;
  body->addWidget(list_);
  body->addLayout(right, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addWidget(status_);

  redraw_.setSingleShot(true);
  redraw_.setInterval(0);
  connect(&redraw_, &QTimer::timeout, this, &RunViewer::Redraw);
  ShowStatus();
  Redraw();
}

RunViewer::~RunViewer() { reader_.Shutdown(); }

void RunViewer::AskOpen() {
  const QStringList chosen = QFileDialog::getOpenFileNames(
      this, Q(messages::kOpenLogTitle), RememberedFolder(messages::kOpenLogTitle),
      Q(messages::kOpenLogFilter), nullptr, QFileDialog::DontUseNativeDialog);
  if (chosen.isEmpty()) return;
  RememberFolder(messages::kOpenLogTitle, chosen.front());
  Open(chosen);
}

void RunViewer::Open(const QStringList& paths) {
  for (const QString& path : paths) {
    ++reading_;
    reader_.Post([this, path = S(path)](std::stop_token stop) {
      auto read = monitor::ReadRunLog(path, stop);
      if (!read && read.error().stopped) return;
      if (!read) {
        QMetaObject::invokeMethod(
            this, [this, message = Q(read.error().message)] { Refused(message); },
            Qt::QueuedConnection);
        return;
      }
      std::shared_ptr<const monitor::RunLog> run =
          std::make_shared<monitor::RunLog>(std::move(*read));
      QMetaObject::invokeMethod(
          this, [this, run] { Opened(run); }, Qt::QueuedConnection);
    });
  }
  ShowStatus();
}

void RunViewer::Opened(std::shared_ptr<const monitor::RunLog> run) {
  --reading_;
  chart_.AddRun(std::move(run));
  FillRegisterList();
  ShowStatus();
  Redraw();
  emit fileRead();
}

void RunViewer::Refused(const QString& message) {
  --reading_;
  errors_ << message;
  ShowStatus();
  emit fileRead();
}

void RunViewer::ShowStatus() {
  QStringList lines;
  if (reading_ > 0) lines << Q(fmt::format(messages::kReadingLogs, reading_));
  for (std::size_t r = 0; r < chart_.run_count(); ++r) {
    const monitor::RunLog& run = chart_.run(r);
    if (run.times.empty()) continue;
    lines << Q(fmt::format(messages::kRunsOpen, S(RunName(r)), run.rows(),
                           monitor::LogClockText(run.times.front()),
                           monitor::LogClockText(run.times.back())));
  }
  if (lines.isEmpty() && errors_.isEmpty()) lines << Q(messages::kNoRunOpen);
  QString text = lines.join("<br>").toHtmlEscaped().replace("&lt;br&gt;", "<br>");
  for (const QString& error : errors_) {
    text += (text.isEmpty() ? "" : "<br>") +
            QString("<span style='color:#C00000'>%1</span>").arg(error.toHtmlEscaped());
  }
  status_->setText(text);
}

QString RunViewer::RunName(std::size_t run) const {
  return QFileInfo(QString::fromStdString(chart_.run(run).path.string())).fileName();
}

void RunViewer::FillRegisterList() {
  const QSignalBlocker blocker(list_);
  list_->clear();
  for (const std::string& name : chart_.Registers()) {
    auto* item = new QListWidgetItem(Q(name), list_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(chart_.shown(name) ? Qt::Checked : Qt::Unchecked);
  }
}

void RunViewer::OnItemChanged(QListWidgetItem* item) {
  chart_.Show(S(item->text()), item->checkState() == Qt::Checked);
  Redraw();
}

void RunViewer::OnAlignment(int index) {
  chart_.SetAlignment(index == 1 ? presentation::RunAlignment::kClock
                                 : presentation::RunAlignment::kStart);
  // A time on one axis means nothing on the other.
  cursor_.reset();
  Redraw();
}

void RunViewer::SetCursorAt(double x) {
  cursor_ = x;
  Redraw();
}

void RunViewer::ZoomAt(double x, double factor) {
  chart_.ZoomAt(x, factor);
  RedrawSoon();
}

void RunViewer::PanBy(double seconds) {
  chart_.PanBy(seconds);
  RedrawSoon();
}

void RunViewer::ShowAll() {
  chart_.ShowAll();
  RedrawSoon();
}

void RunViewer::RedrawSoon() {
  if (!redraw_.isActive()) redraw_.start();
}

void RunViewer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  RedrawSoon();
}

void RunViewer::Redraw() {
  redraw_.stop();
  const std::vector<std::string> registers = chart_.Registers();
  // The axes are known before the lines: their number sets the plot's width.
  std::vector<std::string> units;
  for (std::size_t r = 0; r < chart_.run_count(); ++r) {
    for (const std::string& name : chart_.shown_registers()) {
      const monitor::LogColumn* column = chart_.run(r).Find(name);
      if (column != nullptr && std::find(units.begin(), units.end(), column->unit) == units.end()) {
        units.push_back(column->unit);
      }
    }
  }
  const QRectF area = plot_->PlotArea(units.size());
  const std::vector<presentation::PlottedSeries> plotted =
      chart_.Plot(std::max(1, static_cast<int>(area.width())));

  std::vector<RunPlotLine> lines;
  std::vector<RunPlotAxis> axes;
  std::map<std::string, std::pair<double, double>> ranges;
  for (const presentation::PlottedSeries& series : plotted) {
    const auto unit = std::find(units.begin(), units.end(), series.unit) - units.begin();
    RunPlotLine line{Q(fmt::format(messages::kRunLegend, series.name, S(RunName(series.run)))),
                     RegisterColour(registers, series.name),
                     kRunStyles[series.run % kRunStyles.size()], static_cast<std::size_t>(unit),
                     series.segments};
    if (axes.size() <= line.axis) axes.resize(line.axis + 1);
    if (axes[line.axis].unit.isEmpty() && !axes[line.axis].colour.isValid()) {
      axes[line.axis] = {Q(series.unit), line.colour, {}};
    }
    if (series.low) {
      auto [at, added] = ranges.try_emplace(series.unit, *series.low, *series.high);
      if (!added) {
        at->second.first = std::min(at->second.first, *series.low);
        at->second.second = std::max(at->second.second, *series.high);
      }
    }
    lines.push_back(std::move(line));
  }
  axes.resize(units.size());
  for (std::size_t k = 0; k < units.size(); ++k) {
    presentation::ChartValueRange& shown = value_ranges_[units[k]];
    const auto range = ranges.find(units[k]);
    if (range != ranges.end()) {
      const auto next = presentation::NextChartValueRange(range->second.first, range->second.second,
                                                          shown.low, shown.high);
      if (next) shown = *next;
    }
    axes[k].range = shown;
    if (!axes[k].colour.isValid()) axes[k].colour = Qt::black;
  }

  const presentation::TimeSpan span = chart_.span();
  const double char_width = QFontMetricsF(plot_->font()).horizontalAdvance('0');
  const bool clock = chart_.alignment() == presentation::RunAlignment::kClock;
  presentation::ChartTimeAxis ticks =
      clock ? presentation::ClockTimeAxis(span.start, span.end, 0, area.width(), char_width)
            : presentation::ElapsedTimeAxis(span.start, span.end, area.width(), char_width);
  plot_->SetContent(span, std::move(ticks),
                    Q(clock ? messages::kChartTimeAxis : messages::kElapsedAxis), std::move(lines),
                    std::move(axes), cursor_);
  ShowReadout();
}

void RunViewer::ShowReadout() {
  if (!cursor_) {
    readout_->setText(Q(messages::kViewerHint));
    return;
  }
  const bool clock = chart_.alignment() == presentation::RunAlignment::kClock;
  QStringList lines;
  lines << Q(clock ? fmt::format(messages::kCursorAtClock, monitor::LogClockText(*cursor_))
                   : fmt::format(messages::kCursorAtElapsed, presentation::ElapsedText(*cursor_)));
  std::optional<std::size_t> run;
  QString line;
  for (const presentation::CursorReading& reading : chart_.ReadAt(*cursor_)) {
    if (run != reading.run) {
      if (run) lines << line;
      run = reading.run;
      line = RunName(reading.run) + "  " +
             (reading.time ? Q(monitor::LogClockText(*reading.time)) : Q(messages::kCursorNoRow));
    }
    if (!reading.time) continue;
    const QString value =
        reading.value ? Q(reading.text) + (reading.unit.empty() ? "" : " " + Q(reading.unit))
                      : Q(messages::kCursorNotRead);
    line += QString("   %1 %2").arg(Q(reading.name), value);
  }
  if (run) lines << line;
  readout_->setText(lines.join('\n'));
}

QStringList RunViewer::LegendNames() const {
  QStringList names;
  for (const RunPlotLine& line : plot_->lines()) names << line.legend;
  return names;
}

int RunViewer::SegmentCount(std::size_t index) const {
  const auto& lines = plot_->lines();
  return index < lines.size() ? static_cast<int>(lines[index].segments.size()) : 0;
}

QStringList RunViewer::PictureCaption() const {
  QStringList files;
  for (std::size_t r = 0; r < chart_.run_count(); ++r) files << RunName(r);
  const presentation::TimeSpan span = chart_.span();
  std::string range;
  if (chart_.alignment() == presentation::RunAlignment::kClock) {
    const auto [from, to] = presentation::ClockRange(span.start, span.end, 0);
    range = fmt::format(messages::kChartPictureRange, from, to);
  } else {
    range = fmt::format(messages::kRunPictureElapsed, presentation::ElapsedText(span.start),
                        presentation::ElapsedText(span.end));
  }
  return {Q(fmt::format(messages::kRunPictureTitle, S(files.join(", ")))), Q(range)};
}

bool RunViewer::ExportPng(const QString& path) {
  Redraw();
  if (!plot_->Picture(kPictureScale, PictureCaption()).save(path, "PNG")) {
    status_->setText(
        QString("<span style='color:#C00000'>%1</span>")
            .arg(Q(fmt::format(messages::kExportFailed, S(path), messages::kPictureNotWritten))
                     .toHtmlEscaped()));
    return false;
  }
  return true;
}

void RunViewer::AskPng() {
  const QString chosen = ChooseFile(this, kPngDialog);
  if (!chosen.isEmpty()) ExportPng(chosen);
}

}  // namespace cw::gui
