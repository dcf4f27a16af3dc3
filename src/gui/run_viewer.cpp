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
// The file dialog's title, also the key its folder is remembered under.
constexpr std::string_view kOpenLogTitle = "Open Data Log";
constexpr std::string_view kViewerHint =
    "Wheel: zoom at the pointer. Drag: pan. Click: read every shown register at that time. "
    "Home: show all.";

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
  setWindowTitle("Data Logs - Cellwarden");
  setAttribute(Qt::WA_DeleteOnClose, false);
  resize(1100, 700);

  list_->setFixedWidth(kListWidth);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  connect(list_, &QListWidget::itemChanged, this, &RunViewer::OnItemChanged);

  auto* open = new QPushButton("&Open Log...", this);
  connect(open, &QPushButton::clicked, this, &RunViewer::AskOpen);
  auto* align_label = new QLabel("&Align runs:", this);
  align_label->setBuddy(alignment_);
  alignment_->addItems({"At their start", "At clock time"});
  connect(alignment_, &QComboBox::currentIndexChanged, this, &RunViewer::OnAlignment);
  auto* show_all = new QPushButton("Show A&ll", this);
  connect(show_all, &QPushButton::clicked, this, &RunViewer::ShowAll);
  auto* png = new QPushButton(Q(messages::kChartExportPng), this);
  connect(png, &QPushButton::clicked, this, &RunViewer::AskPng);

  plot_->setToolTip(Q(kViewerHint));
  plot_->on_zoom = [this](double x, double factor) { ZoomAt(x, factor); };
  plot_->on_pan = [this](double seconds) { PanBy(seconds); };
  plot_->on_cursor = [this](double x) { SetCursorAt(x); };
  plot_->on_show_all = [this] { ShowAll(); };
  readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  readout_->setText(Q(kViewerHint));
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
  connect(&redraw_, &QTimer::timeout, this, &RunViewer::Refresh);
  ShowStatus();
  Redraw();
}

RunViewer::~RunViewer() {
  reader_.Shutdown();
  thinner_.Shutdown();
}

void RunViewer::AskOpen() {
  const QStringList chosen =
      QFileDialog::getOpenFileNames(this, Q(kOpenLogTitle), RememberedFolder(kOpenLogTitle),
                                    "Data Logs (*.LOG *.log *.csv *.CSV);;All Files (*)", nullptr,
                                    QFileDialog::DontUseNativeDialog);
  if (chosen.isEmpty()) return;
  RememberFolder(kOpenLogTitle, chosen.front());
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
      std::shared_ptr<const presentation::ChartRun> run =
          presentation::PrepareChartRun(std::make_shared<monitor::RunLog>(std::move(*read)));
      QMetaObject::invokeMethod(
          this, [this, run] { Opened(run); }, Qt::QueuedConnection);
    });
  }
  ShowStatus();
}

void RunViewer::Opened(std::shared_ptr<const presentation::ChartRun> run) {
  --reading_;
  chart_.AddRun(std::move(run));
  FillRegisterList();
  ShowStatus();
  RedrawSoon(true);
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
  if (reading_ > 0) lines << Q(fmt::format("Reading {}...", reading_));
  for (std::size_t r = 0; r < chart_.run_count(); ++r) {
    const monitor::RunLog& run = chart_.run(r);
    if (run.times.empty()) continue;
    lines << Q(fmt::format("{}: {} rows, {} to {}", S(RunName(r)), run.rows(),
                           monitor::LogClockText(run.times.front()),
                           monitor::LogClockText(run.times.back())));
  }
  if (lines.isEmpty() && errors_.isEmpty()) {
    lines << "Open a data log (.LOG or CSV) written by Cellwarden; open more to lay them over each "
             "other.";
  }
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
  RedrawSoon(true);
}

void RunViewer::OnAlignment(int index) {
  chart_.SetAlignment(index == 1 ? presentation::RunAlignment::kClock
                                 : presentation::RunAlignment::kStart);
  // A time on one axis means nothing on the other.
  cursor_.reset();
  RedrawSoon(true);
}

void RunViewer::SetCursorAt(double x) {
  cursor_ = x;
  ShowView();
  ShowReadout();
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

void RunViewer::RedrawSoon(bool lines_changed) {
  ++view_version_;
  if (lines_changed) lines_version_ = view_version_;
  if (!redraw_.isActive()) redraw_.start();
}

void RunViewer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  RedrawSoon();
}

// On the turn of the event loop after input: the plot moves at once, the lines follow.
void RunViewer::Refresh() {
  ShowView();
  ShowReadout();
  if (!thinning_) Thin();
}

RunViewer::LinesRequest RunViewer::Request() const {
  LinesRequest request{chart_, {}, 1, view_version_, lines_version_};
  for (std::size_t r = 0; r < chart_.run_count(); ++r) {
    for (const std::string& name : chart_.shown_registers()) {
      const monitor::LogColumn* column = chart_.run(r).Find(name);
      if (column != nullptr && std::find(request.units.begin(), request.units.end(),
                                         column->unit) == request.units.end()) {
        request.units.push_back(column->unit);
      }
    }
  }
  request.width = std::max(1, static_cast<int>(plot_->PlotArea(request.units.size()).width()));
  return request;
}

void RunViewer::Thin() {
  thinning_ = true;
  thinner_.Post([this, request = Request()](std::stop_token) {
    std::vector<presentation::PlottedSeries> plotted = request.chart.Plot(request.width);
    QMetaObject::invokeMethod(
        this,
        [this, request, plotted = std::move(plotted)]() mutable {
          Thinned(request, std::move(plotted));
        },
        Qt::QueuedConnection);
  });
}

void RunViewer::Thinned(const LinesRequest& request,
                        std::vector<presentation::PlottedSeries> plotted) {
  thinning_ = false;
  // Lines of the registers and runs shown stand in the right place whatever span they were
  // thinned for; lines of others, or older than those drawn, are dropped.
  if (request.lines == lines_version_ && request.view > drawn_version_) {
    ShowLines(request, std::move(plotted));
  }
  if (drawn_version_ != view_version_ && !redraw_.isActive()) Thin();
}

void RunViewer::Redraw() {
  redraw_.stop();
  const LinesRequest request = Request();
  ShowLines(request, request.chart.Plot(request.width));
  ShowReadout();
}

void RunViewer::ShowLines(const LinesRequest& request,
                          std::vector<presentation::PlottedSeries> plotted) {
  const std::vector<std::string>& units = request.units;
  const std::vector<std::string> registers = chart_.Registers();
  std::vector<RunPlotLine> lines;
  std::vector<RunPlotAxis> axes;
  std::map<std::string, std::pair<double, double>> ranges;
  for (presentation::PlottedSeries& series : plotted) {
    const auto unit = std::find(units.begin(), units.end(), series.unit) - units.begin();
    RunPlotLine line{Q(fmt::format("{} ({})", series.name, S(RunName(series.run)))),
                     RegisterColour(registers, series.name),
                     kRunStyles[series.run % kRunStyles.size()], static_cast<std::size_t>(unit),
                     std::move(series.segments)};
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
  plot_->SetLines(std::move(lines), std::move(axes));
  drawn_version_ = request.view;
  // The number of axes sets the plot's width, and with it the ticks.
  ShowView();
  if (drawn_version_ == view_version_) emit linesDrawn();
}

void RunViewer::ShowView() {
  const presentation::TimeSpan span = chart_.span();
  const double width = plot_->PlotArea(plot_->axes().size()).width();
  const double char_width = QFontMetricsF(plot_->font()).horizontalAdvance('0');
  const bool clock = chart_.alignment() == presentation::RunAlignment::kClock;
  presentation::ChartTimeAxis ticks =
      clock ? presentation::ClockTimeAxis(span.start, span.end, 0, width, char_width)
            : presentation::ElapsedTimeAxis(span.start, span.end, width, char_width);
  plot_->SetView(span, std::move(ticks),
                 clock ? Q(messages::kChartTimeAxis) : QString("Time since the start of each run"),
                 cursor_);
}

void RunViewer::ShowReadout() {
  if (!cursor_) {
    readout_->setText(Q(kViewerHint));
    return;
  }
  const bool clock = chart_.alignment() == presentation::RunAlignment::kClock;
  QStringList lines;
  lines << Q(clock ? fmt::format("Cursor at {}", monitor::LogClockText(*cursor_))
                   : fmt::format("Cursor at {} from the start of each run",
                                 presentation::ElapsedText(*cursor_)));
  std::optional<std::size_t> run;
  QString line;
  for (const presentation::CursorReading& reading : chart_.ReadAt(*cursor_)) {
    if (run != reading.run) {
      if (run) lines << line;
      run = reading.run;
      line =
          RunName(reading.run) + "  " +
          (reading.time ? Q(monitor::LogClockText(*reading.time)) : QString("no row at this time"));
    }
    if (!reading.time) continue;
    const QString value =
        reading.value ? Q(reading.text) + (reading.unit.empty() ? "" : " " + Q(reading.unit))
                      : QString("not read");
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
    range = fmt::format("{} to {} from the start of each run",
                        presentation::ElapsedText(span.start), presentation::ElapsedText(span.end));
  }
  return {Q(fmt::format("Data logs: {}", S(files.join(", ")))), Q(range)};
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
