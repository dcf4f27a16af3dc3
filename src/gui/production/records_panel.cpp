#include "gui/production/records_panel.h"

#include <fmt/format.h>

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
#include "gui/qt_text.h"
#include "gui/tools/file_choice.h"
#include "production/records_export.h"
#include "production/records_time.h"

namespace cw::gui {
namespace {

using production::RunRecord;
using production::RunResult;

constexpr FileDialogRequest kExportDialog{messages::kExportCsvTitle, messages::kExportCsvFilter,
                                          true, messages::kExportCsvSuffix};
constexpr std::array<std::string_view, 8> kColumns = {
    messages::kRecordsColumnRun,     messages::kRecordsColumnStarted,
    messages::kRecordsColumnAdapter, messages::kRecordsColumnPack,
    messages::kRecordsColumnResult,  messages::kRecordsColumnStep,
    messages::kRecordsColumnFailure, messages::kRecordsColumnDuration};
constexpr RunResult kFilterResults[] = {RunResult::kPass, RunResult::kFail, RunResult::kStopped,
                                        RunResult::kInterrupted, RunResult::kRunning};

std::array<std::string, kColumns.size()> CellsOf(const RunRecord& run) {
  const auto duration = run.duration_ms();
  return {std::to_string(run.id),
          production::FormatUtc(run.start.started_at),
          run.start.adapter_serial,
          run.pack_serial ? std::to_string(*run.pack_serial) : std::string(),
          std::string(production::ResultName(run.result)),
          run.failed_step,
          run.failure,
          duration ? fmt::format(messages::kDurationSeconds, static_cast<double>(*duration) / 1000)
                   : std::string()};
}

using RunsRead = std::expected<std::vector<RunRecord>, std::string>;

RunsRead ReadRuns(production::RecordsStore& store, const production::RunFilter& filter) {
  auto runs = store.Runs(filter, false);
  if (!runs) return std::unexpected(runs.error().message);
  return std::move(*runs);
}

constexpr int kStartedColumn = 1;
constexpr int kFailureColumn = 6;
static_assert(kColumns[kStartedColumn] == messages::kRecordsColumnStarted);
static_assert(kColumns[kFailureColumn] == messages::kRecordsColumnFailure);

}  // namespace

RecordsPanel::RecordsPanel(GaugeWorker& worker, QWidget* parent)
    : QGroupBox(Q(messages::kRecordsGroup), parent), worker_(worker) {
  filter_ = new QComboBox(this);
  filter_->addItem(Q(messages::kResultFilterAll));
  for (RunResult result : kFilterResults) {
    filter_->addItem(Q(production::ResultName(result)), static_cast<int>(result));
  }
  filter_->setFocusPolicy(Qt::ClickFocus);
  export_ = new QPushButton(Q(messages::kExportCsvButton), this);
  export_->setFocusPolicy(Qt::NoFocus);
  note_ = new QLabel(this);
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
                         fontMetrics().horizontalAdvance("0000-00-00T00:00:00.000Z") +
                             2 * fontMetrics().averageCharWidth());

  auto* controls = new QHBoxLayout;
  controls->addWidget(filter_);
  controls->addWidget(note_, 1);
  controls->addWidget(export_);
  auto* layout = new QVBoxLayout(this);
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
  export_->setEnabled(false);
}

void RecordsPanel::SetStore(std::shared_ptr<production::RecordsStore> store) {
  store_ = std::move(store);
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
  worker_.Run<RunsRead>(
      this, [store = store_, filter] { return ReadRuns(*store, filter); },
      [this, store = store_](const RunsRead& runs) {
        --pending_;
        reading_ = false;
        spacing_.start();
        // A store replaced meanwhile is read again.
        if (store != store_) read_again_ = true;
        if (read_again_) return;
        if (!runs) {
          note_->setText(Q(fmt::format(messages::kRecordsReadFailed, runs.error())));
          return;
        }
        ShowRuns(*runs);
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
          return fmt::format(messages::kExportCsvFailed,
                             common::DescribeFileError(written.error()));
        }
        return fmt::format(messages::kExportCsvDone, runs->size(), target);
      },
      [this](const std::string& said) {
        --pending_;
        export_->setEnabled(store_ != nullptr);
        note_->setText(Q(said));
      });
}

}  // namespace cw::gui
