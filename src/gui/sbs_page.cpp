#include "gui/sbs_page.h"

#include <QAction>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>

#include "gui/chart_panel.h"
#include "gui/gauge_worker.h"
#include "gui/messages.h"
#include "gui/product_colours.h"
#include "gui/qt_text.h"
#include "gui/register_table_model.h"
#include "gui/scan_hint.h"
#include "gui/status_bit_ctrl.h"
#include "monitor/monitor_session.h"
#include "monitor/sbs_session.h"
#include "monitor/status_display_data.h"
#include "presentation/data_log_choice.h"

namespace cw::gui {
namespace {

// Three lists side by side fit a 1366-pixel screen beside the page buttons and the SubCMD panel:
// a name longer than its column then ends in "..." and its tooltip holds it whole. Where the
// screen has room, the lists ask for enough to show every name whole.
constexpr int kListMinimumDigits = 41;
constexpr int kListRoomyDigits = 50;

// The tabs under the lists, and the title of the group around them while each is shown.
struct TabTexts {
  std::string_view tab;
  std::string_view group_title;
};
constexpr std::array<TabTexts, 3> kTabs = {{{"Show Flags", "Flags / Status Bits"},
                                            {"Show Static Data", "Static Data"},
                                            {"Live Chart", "Live Chart"}}};

// The status displays in two columns of five, top to bottom.
constexpr std::array<std::array<std::string_view, 5>, 2> kDisplayColumns = {{
    {"Battery Status", "Temperature Rang", "Safety status L", "PF status L",
     "Manufacturing Status"},
    {"Operation Status", "Charging Status", "Safety status H", "PF status H", "Battery Mode"},
}};

class RegisterListView final : public QTableView {
 public:
  using QTableView::QTableView;
  QSize sizeHint() const override {
    return {fontMetrics().horizontalAdvance('0') * kListRoomyDigits,
            QTableView::sizeHint().height()};
  }
};

using monitor::RowSelection;
using monitor::TableId;

// How often the data log's timer looks at the clock: the lines keep to the interval within this.
constexpr int kLogPollMs = 50;
// Values change faster than anyone reads them; ten redraws a second keep the lists current.
constexpr int kRedrawMs = 100;
// A link lost while the scan waits on it changes no row, only whether the rows are current: the
// page looks again this often, so the values grey within half a second.
constexpr int kReadingsCheckMs = 500;

}  // namespace

SbsPage::SbsPage(app::Workbench& bench, GaugeWorker& worker, QWidget* parent)
    : QWidget(parent),
      bench_(bench),
      session_(bench.sbs()),
      worker_(worker),
      values_relay_(this, kRedrawMs),
      page_relay_(this, kRedrawMs) {
  auto* lists = new QHBoxLayout;
  for (TableId table : monitor::kScanTables) lists->addWidget(MakeList(table), 1);
  MakeList(TableId::kD);

  const std::array<std::pair<RowSelection, std::string_view>, 4> buttons = {{
      {RowSelection::kClearLogs, "Clear Logs"},
      {RowSelection::kLogAll, "Log All"},
      {RowSelection::kClearScans, "Clear Scans"},
      {RowSelection::kScanAll, "Scan All"},
  }};
  auto* button_column = new QVBoxLayout;
  for (const auto& [which, text] : buttons) {
    auto* button = new QPushButton(Q(text), this);
    connect(button, &QPushButton::clicked, this,
            [this, which = which] { session_.SelectAllRows(which); });
    buttons_[static_cast<std::size_t>(which)] = button;
    button_column->addWidget(button);
  }
  log_button_ = new QToolButton(this);
  log_button_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  log_button_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  button_column->addSpacing(12);
  button_column->addWidget(log_button_);
  log_tally_ = new QLabel(this);
  log_tally_->setWordWrap(true);
  button_column->addWidget(log_tally_);
  button_column->addStretch();

  tabs_ = new QTabBar(this);
  for (const TabTexts& texts : kTabs) tabs_->addTab(Q(texts.tab));
  tabs_->setExpanding(true);
  chart_ = new ChartPanel(bench_.monitor().engine(), bench_.clock(), bench_.messages(), this);
  stack_ = new QStackedWidget(this);
  stack_->addWidget(MakeDisplays());
  stack_->addWidget(lists_[Index(TableId::kD)]);
  stack_->addWidget(chart_);
  group_ = new QGroupBox(this);
  auto* group_layout = new QVBoxLayout(group_);
  group_layout->addWidget(tabs_);
  group_layout->addWidget(stack_, 1);
  group_->setTitle(Q(kTabs.front().group_title));
  connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
    stack_->setCurrentIndex(index);
    group_->setTitle(Q(kTabs[static_cast<std::size_t>(index)].group_title));
  });

  auto* upper = new QWidget(this);
  upper->setLayout(lists);
  lists->setContentsMargins(0, 0, 0, 0);
  auto* lower = new QWidget(this);
  auto* bottom = new QHBoxLayout(lower);
  bottom->setContentsMargins(0, 0, 0, 0);
  bottom->addWidget(group_, 1);
  bottom->addLayout(button_column);
  // The user shares the height between the lists and the chart; a taller window grows both.
  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->setObjectName("sbs_splitter");
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(upper);
  splitter_->addWidget(lower);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(new ScanHint(session_, bench_.monitor().engine(), this));
  layout->addWidget(splitter_, 1);

  log_timer_.setInterval(kLogPollMs);
  connect(&log_timer_, &QTimer::timeout, this, &SbsPage::OnLogTick);
  values_relay_.Watch(bench_.monitor().engine().changes());
  page_relay_.Watch(session_.changes());
  connect(&values_relay_, &ChangeRelay::changed, this, &SbsPage::ShowValues);
  connect(&page_relay_, &ChangeRelay::changed, this, &SbsPage::ShowPageState);
  readings_timer_.setInterval(kReadingsCheckMs);
  connect(&readings_timer_, &QTimer::timeout, this, &SbsPage::ShowReadings);
  readings_timer_.start();
  ShowPageState();
}

SbsPage::~SbsPage() = default;

QTableView* SbsPage::MakeList(TableId table) {
  auto* model = new RegisterTableModel(table, bench_.monitor().engine().Snapshot(), this);
  auto* view = table == TableId::kD ? new QTableView(this) : new RegisterListView(this);
  view->setModel(model);
  view->verticalHeader()->hide();
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view->setWordWrap(false);
  QPalette palette = view->palette();
  palette.setColor(QPalette::Base, QColor(kProductBackground));
  view->setPalette(palette);
  QHeaderView* header = view->horizontalHeader();
  header->setHighlightSections(false);
  const int digit = view->fontMetrics().horizontalAdvance('0');
  if (table == TableId::kD) {
    // Static values are texts as often as numbers: the value column takes the room.
    header->resizeSection(RegisterTableModel::kName, digit * 24);
    header->setSectionResizeMode(RegisterTableModel::kValue, QHeaderView::Stretch);
  } else {
    header->setSectionResizeMode(RegisterTableModel::kName, QHeaderView::Stretch);
    header->resizeSection(RegisterTableModel::kValue, digit * 9);
  }
  header->resizeSection(RegisterTableModel::kUnit, digit * 5);
  if (table != TableId::kD) {
    header->resizeSection(RegisterTableModel::kLog, digit * 5);
    header->resizeSection(RegisterTableModel::kScan, digit * 5);
    view->setMinimumWidth(digit * kListMinimumDigits);
  }
  connect(model, &RegisterTableModel::logClicked, this,
          [this](monitor::RowRef row) { session_.ToggleLog(row); });
  connect(model, &RegisterTableModel::scanClicked, this,
          [this](monitor::RowRef row) { session_.ToggleScan(row); });
  connect(model, &RegisterTableModel::valueEdited, this, &SbsPage::OnValueEdited);
  models_[Index(table)] = model;
  lists_[Index(table)] = view;
  return view;
}

QWidget* SbsPage::MakeDisplays() {
  auto* area = new QWidget(this);
  auto* grid = new QGridLayout(area);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(4);
  displays_.resize(monitor::kStatusDisplays.size());
  for (int column = 0; column < 2; ++column) {
    for (int row = 0; row < 5; ++row) {
      const std::string_view title =
          kDisplayColumns[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)];
      const std::size_t index = *monitor::SbsSession::DisplayIndex(title);
      displays_[index] = new StatusBitCtrl(index, area);
      grid->addWidget(displays_[index], row, column);
    }
  }
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(5, 1);
  return area;
}

void SbsPage::SetLogAction(QAction* action) { log_button_->setDefaultAction(action); }

void SbsPage::OnValueEdited(monitor::RowRef row, const QString& text) {
  worker_.Run<common::Outcome>(
      this, [&session = session_, row, text = S(text)] { return session.WriteRegister(row, text); },
      [this, row](const common::Outcome&) {
        QTableView* view = lists_[Index(row.table)];
        view->selectRow(static_cast<int>(row.index));
      });
}

void SbsPage::ShowValues() {
  const monitor::RegisterTable table = bench_.monitor().engine().Snapshot();
  for (RegisterTableModel* model : models_) model->Refresh(table);
}

void SbsPage::ShowReadings() {
  const monitor::SbsView view = session_.View();
  for (std::size_t i = 0; i < displays_.size(); ++i) displays_[i]->SetValue(view.displays[i]);
  ShowValues();
}

void SbsPage::ShowPageState() {
  const monitor::SbsView view = session_.View();
  for (QPushButton* button : buttons_) button->setEnabled(view.selections_editable);
  ShowReadings();
  chart_->RefreshSeriesList();
  log_tally_->setVisible(view.logging);
  log_tally_->setText(
      Q(presentation::LogTallyText(view.log_tally.lines, view.log_tally.lines_with_unread)));
  // Lines with unread values stand out: the file marks each of them as not read.
  log_tally_->setStyleSheet(view.log_tally.lines_with_unread > 0 ? "color: #B00000;" : "");
  if (view.logging != was_logging_) {
    was_logging_ = view.logging;
    if (!view.logging) {
      ticker_.Stop();
      log_timer_.stop();
    }
    emit loggingChanged(view.logging);
  }
}

common::Outcome SbsPage::StartLog(const std::string& path, int interval_seconds,
                                  monitor::LogFormat format) {
  common::Outcome outcome = session_.StartLog(path, interval_seconds, format);
  if (outcome.done()) {
    ticker_.Start(bench_.clock().Now(), interval_seconds);
    log_timer_.start();
  }
  ShowPageState();
  return outcome;
}

void SbsPage::StopLog() {
  session_.StopLog();
  ShowPageState();
}

void SbsPage::OnLogTick() {
  if (!session_.View().logging) {
    ShowPageState();
    return;
  }
  if (ticker_.Due(bench_.clock().Now())) session_.WriteLogLine();
}

}  // namespace cw::gui
