#include "gui/production/records_panel.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <expected>

#include "common/file_error.h"
#include "common/file_output.h"
#include "gui/gauge_worker.h"
#include "gui/messages.h"
#include "gui/production/report_dialog.h"
#include "gui/qt_text.h"
#include "gui/tools/file_choice.h"
#include "production/pack_report.h"
#include "production/records_export.h"
#include "production/records_time.h"

namespace cw::gui {
namespace {

using production::RunRecord;
using production::RunResult;

constexpr FileDialogRequest kExportDialog{"Export the Records as CSV", "CSV files (*.csv)", true,
                                          "csv"};
constexpr std::array<std::string_view, 8> kColumns = {
    "Run",         messages::kRecordsColumnStarted, "Adapter", "Pack", "Result",
    "Failed step", messages::kRecordsColumnFailure, "Duration"};
constexpr RunResult kFilterResults[] = {RunResult::kPass, RunResult::kFail, RunResult::kStopped,
                                        RunResult::kInterrupted, RunResult::kRunning};

std::array<std::string, kColumns.size()> CellsOf(const RunRecord& run) {
  const auto duration = run.duration_ms();
  return {
      std::to_string(run.id),
      production::FormatLocal(run.start.started_at),
      run.start.adapter_serial,
      run.pack_serial ? std::to_string(*run.pack_serial) : std::string(),
      std::string(production::ResultName(run.result)),
      run.failed_step,
      run.failure,
      duration ? fmt::format("{:.1f} s", static_cast<double>(*duration) / 1000) : std::string()};
}

using RunsRead = std::expected<std::vector<RunRecord>, std::string>;

RunsRead ReadRuns(production::RecordsStore& store, const production::RunFilter& filter) {
  auto runs = store.Runs(filter, false);
  if (!runs) return std::unexpected(runs.error().message);
  return std::move(*runs);
}

// "First pass 75.0 % (3 of 4 packs); most failed: check (out_of_limits) 1"
std::string ShiftText(const std::vector<RunRecord>& runs) {
  const auto shift = production::SummariseAll(runs);
  if (!shift || shift->packs == 0) return std::string("This shift: no pack finished yet");
  std::string text =
      fmt::format("This shift: first pass {:.1f} % ({} of {} packs)",
                  shift->first_pass_percent().value_or(0), shift->first_pass, shift->packs);
  std::vector<std::string> failures;
  for (const production::FailureCount& count : shift->failures) {
    if (failures.size() == 3) break;
    failures.push_back(fmt::format("{} ({}) {}", count.step,
                                   count.cause.empty() ? "-" : count.cause, count.count));
  }
  if (!failures.empty()) text += fmt::format("; most failed: {}", fmt::join(failures, ", "));
  return text;
}

struct PanelRead {
  RunsRead runs;
  std::string shift;
};

struct ReportRead {
  std::string title;
  std::string html;
  std::string failure;
};

constexpr int kStartedColumn = 1;
constexpr int kFailureColumn = 6;
static_assert(kColumns[kStartedColumn] == messages::kRecordsColumnStarted);
static_assert(kColumns[kFailureColumn] == messages::kRecordsColumnFailure);

}  // namespace

RecordsPanel::RecordsPanel(GaugeWorker& worker, QWidget* parent)
    : QGroupBox(Q("Last records"), parent), worker_(worker) {
  filter_ = new QComboBox(this);
  filter_->addItem(Q("All results"));
  for (RunResult result : kFilterResults) {
    filter_->addItem(Q(production::ResultName(result)), static_cast<int>(result));
  }
  filter_->setFocusPolicy(Qt::ClickFocus);
  export_ = new QPushButton(Q("Export CSV..."), this);
  export_->setFocusPolicy(Qt::NoFocus);
  report_ = new QPushButton(Q("Report..."), this);
  report_->setFocusPolicy(Qt::NoFocus);
  report_->setEnabled(false);
  note_ = new QLabel(this);
  shift_ = new QLabel(this);
  table_ = new QTableWidget(0, static_cast<int>(kColumns.size()), this);
  QStringList headers;
  for (std::string_view column : kColumns) headers << Q(column);
  table_->setHorizontalHeaderLabels(headers);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setFocusPolicy(Qt::NoFocus);
  table_->verticalHeader()->hide();
  // The failure's words take the room the other columns leave; those keep their size, so that
  // a reload never measures the table's contents.
  QHeaderView* header = table_->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionResizeMode(kFailureColumn, QHeaderView::Stretch);
  // Wide enough for a whole time stamp, measured once.
  table_->setColumnWidth(kStartedColumn,
                         fontMetrics().horizontalAdvance("0000-00-00 00:00:00 +00:00") +
                             2 * fontMetrics().averageCharWidth());

  auto* controls = new QHBoxLayout;
  controls->addWidget(filter_);
  controls->addWidget(note_, 1);
  controls->addWidget(report_);
  controls->addWidget(export_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(shift_);
  layout->addLayout(controls);
  layout->addWidget(table_);

  spacing_.setSingleShot(true);
  spacing_.setInterval(kReloadSpacingMs);
  connect(&spacing_, &QTimer::timeout, this, [this] {
    if (read_again_ && store_ != nullptr) Read();
  });
  connect(filter_, &QComboBox::currentIndexChanged, this, [this] {
    // The operator's choice is read at once.
    spacing_.stop();
    Reload();
  });
  connect(export_, &QPushButton::clicked, this, [this] {
    const QString path = ChooseFile(this, kExportDialog);
    if (!path.isEmpty()) ExportCsv(path);
  });
  connect(report_, &QPushButton::clicked, this, [this] {
    if (const auto run = SelectedRun()) OpenReport(*run);
  });
  connect(table_, &QTableWidget::itemSelectionChanged, this,
          [this] { report_->setEnabled(store_ != nullptr && SelectedRun().has_value()); });
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this] {
    if (const auto run = SelectedRun()) OpenReport(*run);
  });
  export_->setEnabled(false);
}

std::optional<std::int64_t> RecordsPanel::SelectedRun() const {
  const QList<QTableWidgetItem*> selected = table_->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  const QTableWidgetItem* id = table_->item(selected.front()->row(), 0);
  bool number = false;
  const qlonglong run = id != nullptr ? id->text().toLongLong(&number) : 0;
  if (!number) return std::nullopt;
  return run;
}

void RecordsPanel::SetStore(std::shared_ptr<production::RecordsStore> store, std::string station) {
  store_ = std::move(store);
  station_ = std::move(station);
  shift_start_ = std::chrono::system_clock::now();
  shift_->clear();
  export_->setEnabled(store_ != nullptr);
  if (store_ == nullptr) table_->setRowCount(0);
  Reload();
}

std::optional<RunResult> RecordsPanel::ChosenResult() const {
  if (filter_->currentIndex() <= 0) return std::nullopt;
  return static_cast<RunResult>(filter_->currentData().toInt());
}

void RecordsPanel::SetResultFilter(std::optional<RunResult> result) {
  filter_->setCurrentIndex(result ? filter_->findData(static_cast<int>(*result)) : 0);
}

void RecordsPanel::Reload() {
  if (store_ == nullptr) return;
  if (reading_ || spacing_.isActive()) {
    read_again_ = true;
    return;
  }
  Read();
}

void RecordsPanel::Read() {
  read_again_ = false;
  reading_ = true;
  ++pending_;
  const production::RunFilter filter{.result = ChosenResult(), .last = kShownRuns};
  // A station left unnamed takes the host's name: every run of these records counts then.
  production::RunFilter shift{.since = shift_start_};
  if (!station_.empty()) shift.station = station_;
  worker_.Run<PanelRead>(
      this,
      [store = store_, filter, shift] {
        PanelRead read{ReadRuns(*store, filter), {}};
        if (const RunsRead runs = ReadRuns(*store, shift)) read.shift = ShiftText(*runs);
        return read;
      },
      [this, store = store_](const PanelRead& read) {
        --pending_;
        reading_ = false;
        spacing_.start();
        // A store replaced meanwhile is read again.
        if (store != store_) read_again_ = true;
        if (read_again_) return;
        if (!read.runs) {
          note_->setText(Q(fmt::format(messages::kRecordsReadFailed, read.runs.error())));
          return;
        }
        shift_->setText(Q(read.shift));
        ShowRuns(*read.runs);
      });
}

void RecordsPanel::OpenReport(std::int64_t run) {
  if (store_ == nullptr) return;
  ++pending_;
  report_->setEnabled(false);
  worker_.Run<ReportRead>(
      this,
      [store = store_, run]() -> ReportRead {
        const auto runs = production::PackRunsOfRun(*store, run);
        if (!runs) return {{}, {}, fmt::format(messages::kRecordsReadFailed, runs.error().message)};
        const production::PackReport report = production::MakePackReport(*runs);
        return {report.title, production::PackReportHtml(report), {}};
      },
      [this](const ReportRead& read) {
        --pending_;
        report_->setEnabled(store_ != nullptr && SelectedRun().has_value());
        if (!read.failure.empty()) {
          note_->setText(Q(read.failure));
          return;
        }
        if (report_dialog_) report_dialog_->close();
        report_dialog_ = new ReportDialog(worker_, Q(read.title), Q(read.html), this);
        report_dialog_->show();
      });
}

void RecordsPanel::ShowRuns(const std::vector<RunRecord>& runs) {
  table_->setUpdatesEnabled(false);
  table_->setRowCount(static_cast<int>(runs.size()));
  // The latest first: the pack just taken off is at the top.
  int row = 0;
  for (auto run = runs.rbegin(); run != runs.rend(); ++run, ++row) {
    const auto cells = CellsOf(*run);
    for (std::size_t column = 0; column < cells.size(); ++column) {
      const QString text = Q(cells[column]);
      if (QTableWidgetItem* item = table_->item(row, static_cast<int>(column))) {
        if (item->text() != text) item->setText(text);
      } else {
        table_->setItem(row, static_cast<int>(column), new QTableWidgetItem(text));
      }
    }
  }
  table_->setUpdatesEnabled(true);
}

void RecordsPanel::ExportCsv(const QString& path) {
  if (store_ == nullptr) return;
  ++pending_;
  export_->setEnabled(false);
  const production::RunFilter filter{.result = ChosenResult()};
  worker_.Run<std::string>(
      this,
      [store = store_, filter, target = S(path)]() -> std::string {
        const RunsRead runs = ReadRuns(*store, filter);
        if (!runs) return fmt::format(messages::kRecordsReadFailed, runs.error());
        const auto written = common::WriteFileAtomically(target, production::RunsCsv(*runs));
        if (!written) {
          return fmt::format("The CSV file was not written: {}",
                             common::DescribeFileError(written.error()));
        }
        return fmt::format("{} runs written to {}", runs->size(), target);
      },
      [this](const std::string& said) {
        --pending_;
        export_->setEnabled(store_ != nullptr);
        note_->setText(Q(said));
      });
}

}  // namespace cw::gui
