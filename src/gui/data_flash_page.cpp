#include "gui/data_flash_page.h"

#include <fmt/format.h>

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/parameter_defaults.h"
#include "common/parse.h"
#include "dataflash/bit_view.h"
#include "dataflash/row_filter.h"
#include "gui/flash_tip.h"
#include "gui/gauge_worker.h"
#include "gui/messages.h"
#include "gui/param_list_model.h"
#include "gui/param_value_delegate.h"
#include "gui/product_colours.h"
#include "gui/qt_text.h"
#include "gui/tools/file_choice.h"

namespace cw::gui {
namespace {

using dataflash::kListColumns;
using dataflash::kListCount;
using dataflash::kTabCount;

constexpr std::size_t kListsPerTab = kListCount / kTabCount;
constexpr int kRowHeight = 16;
constexpr int kListFontPixels = 11;
constexpr int kNamePadding = 10;
constexpr char kTabStyle[] = "QTabBar::tab { min-width: 80px; min-height: 22px; }";

QString Swatch(QRgb colour, std::string_view text) {
  return QString("<span style=\"background-color:%1\">&nbsp;&nbsp;&nbsp;&nbsp;</span>&nbsp;%2")
      .arg(QColor(colour).name(), Q(text).toHtmlEscaped());
}

}  // namespace

DataFlashPage::DataFlashPage(app::Workbench& bench, GaugeWorker& worker, QWidget* parent)
    : QWidget(parent),
      session_(bench.data_flash()),
      worker_(worker),
      defaults_(app::SimulatedPackDefaults(bench.constants())),
      view_(session_.View()),
      relay_(this) {
  read_all_ = new QPushButton("Read All", this);
  write_all_ = new QPushButton("Write All", this);
  filter_ = new QLineEdit(this);
  filter_->setPlaceholderText(Q("part of a name, on every tab"));
  filter_->setClearButtonEnabled(true);
  compare_ = new QPushButton(Q("Compare with File..."), this);
  clear_compare_ = new QPushButton(Q("Clear Compare"), this);
  hold_ = new QCheckBox(Q("Hold edits for Write All"), this);
  hold_->setToolTip(Q(
      "Keep the values typed on the page, marked, until Write All writes them all; Undo Edit takes "
      "back the last one. Off: every edit is written at once."));
  undo_ = new QPushButton(Q("Undo Edit"), this);
  undo_->setToolTip(Q(messages::kUndoShortcut));
  auto* top = new QHBoxLayout;
  top->addWidget(read_all_);
  top->addWidget(write_all_);
  top->addSpacing(16);
  top->addWidget(new QLabel(Q("Filter:"), this));
  top->addWidget(filter_, 1);
  top->addSpacing(16);
  top->addWidget(compare_);
  top->addWidget(clear_compare_);
  top->addSpacing(16);
  top->addWidget(hold_);
  top->addWidget(undo_);

  tabs_ = new QTabWidget(this);
  tabs_->tabBar()->setStyleSheet(kTabStyle);
  tabs_->tabBar()->setExpanding(true);
  tabs_->setUsesScrollButtons(false);
  for (std::size_t tab = 0; tab < kTabCount; ++tab) {
    auto* page = new QWidget(tabs_);
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(2, 2, 2, 2);
    // The three lists share the page's width, each as its columns ask.
    for (std::size_t i = 0; i < kListsPerTab; ++i) {
      const std::size_t list = tab * kListsPerTab + i;
      const dataflash::ListColumns& widths = kListColumns[list];
      row->addWidget(MakeList(list), widths.name + widths.value + widths.unit);
    }
    tabs_->addTab(page, Q(dataflash::kTabNames[tab]));
  }

  note_ = new QLabel(this);
  note_->setObjectName("flash_note");
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(MakeLegend());
  bottom->addStretch();
  bottom->addWidget(note_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(top);
  layout->addWidget(tabs_, 1);
  layout->addWidget(MakeBitViewRow());
  layout->addLayout(bottom);

  connect(read_all_, &QPushButton::clicked, this, [this] {
    RunTransfer(app::Work::kReadAll, [&session = session_] { return session.ReadAll(); });
  });
  connect(write_all_, &QPushButton::clicked, this, [this] {
    RunTransfer(app::Work::kWriteAll, [&session = session_] { return session.WriteAll(); });
  });
  connect(tabs_, &QTabWidget::currentChanged, this, [this](int tab) {
    session_.SelectTab(static_cast<std::size_t>(tab));
    ShowState();
  });
  connect(filter_, &QLineEdit::textChanged, this, &DataFlashPage::OnFilter);
  connect(compare_, &QPushButton::clicked, this, &DataFlashPage::OnCompare);
  connect(clear_compare_, &QPushButton::clicked, this, &DataFlashPage::OnClearCompare);
  connect(undo_, &QPushButton::clicked, this, [this] { session_.UndoEdit(); });
  auto* undo_key = new QShortcut(QKeySequence(Q(messages::kUndoShortcut)), this);
  undo_key->setContext(Qt::WidgetWithChildrenShortcut);
  connect(undo_key, &QShortcut::activated, undo_, &QPushButton::click);
  relay_.Watch(session_.changes());
  connect(&relay_, &ChangeRelay::changed, this, &DataFlashPage::ShowState);
  ShowState();
}

DataFlashPage::~DataFlashPage() = default;

QTableView* DataFlashPage::MakeList(std::size_t list) {
  auto* model = new ParamListModel(list, view_, defaults_, this);
  auto* view = new QTableView(this);
  view->setObjectName(QString("flash_list_%1").arg(list + 1));
  view->setModel(model);
  view->setItemDelegate(new ParamValueDelegate(view));
  QFont font = view->font();
  font.setPixelSize(kListFontPixels);
  view->setFont(font);
  view->verticalHeader()->hide();
  view->verticalHeader()->setMinimumSectionSize(kRowHeight);
  view->verticalHeader()->setDefaultSectionSize(kRowHeight);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  view->setWordWrap(false);
  QPalette palette = view->palette();
  palette.setColor(QPalette::Base, QColor(kProductBackground));
  view->setPalette(palette);
  QHeaderView* header = view->horizontalHeader();
  header->setHighlightSections(false);
  header->setSectionResizeMode(QHeaderView::Fixed);
  const dataflash::ListColumns& widths = kListColumns[list];
  // The list's own width for the names, unless a name would not fit in it on this font.
  int name_width = widths.name;
  for (const dataflash::ParamDef& row : dataflash::ListRows(list)) {
    name_width =
        std::max(name_width, view->fontMetrics().horizontalAdvance(Q(row.name)) + kNamePadding);
  }
  header->resizeSection(ParamListModel::kName, name_width);
  header->resizeSection(ParamListModel::kValue, widths.value);
  header->resizeSection(ParamListModel::kUnit, widths.unit);
  // The values take what the page gives beyond the list's own widths, so that a long value or a
  // held edit shows whole and each stays beside its name.
  header->setStretchLastSection(false);
  header->setSectionResizeMode(ParamListModel::kValue, QHeaderView::Stretch);
  // Never narrower than its columns and a scroll bar, should the page be too short for every row.
  view->setMinimumWidth(name_width + widths.value + widths.unit + 2 * view->frameWidth() +
                        view->verticalScrollBar()->sizeHint().width());
  view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  view->installEventFilter(this);
  connect(view, &QTableView::clicked, this,
          [this, list](const QModelIndex& index) { OnCellClicked(list, index); });
  connect(model, &ParamListModel::valueEdited, this, &DataFlashPage::OnValueEdited);
  models_[list] = model;
  lists_[list] = view;
  return view;
}

QWidget* DataFlashPage::MakeBitViewRow() {
  auto* area = new QWidget(this);
  bit_caption_ = new QLabel(area);
  bit_caption_->setObjectName("bit_caption");
  bit_view_ = new FlashTip(area);
  bit_view_->setToolTip(
      Q("Click a bit to toggle it; Write sends the new value as an edit of the row"));
  write_bits_ = new QPushButton(Q(messages::kWriteButton), area);
  revert_bits_ = new QPushButton(Q("Revert"), area);
  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(bit_view_, 1);
  row->addWidget(write_bits_);
  row->addWidget(revert_bits_);
  auto* column = new QVBoxLayout(area);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
  column->addWidget(bit_caption_);
  column->addLayout(row);
  // The row keeps its height while no bit view is shown, so the lists never jump.
  area->setFixedHeight(area->sizeHint().height());
  connect(bit_view_, &FlashTip::editedChanged, this, &DataFlashPage::ShowBitView);
  connect(write_bits_, &QPushButton::clicked, this, &DataFlashPage::OnWriteBits);
  connect(revert_bits_, &QPushButton::clicked, bit_view_, &FlashTip::Revert);
  return area;
}

QWidget* DataFlashPage::MakeLegend() {
  auto* legend = new QLabel(this);
  legend->setTextFormat(Qt::RichText);
  legend->setText(
      Swatch(ParamValueDelegate::kMarkedValue, "changed on the gauge") + "&nbsp;&nbsp;&nbsp;" +
      Swatch(ParamValueDelegate::kHeldValue, "edited, not yet written") + "&nbsp;&nbsp;&nbsp;" +
      Swatch(ParamValueDelegate::kDiffersName, "differs from the compared file"));
  return legend;
}

void DataFlashPage::mousePressEvent(QMouseEvent* event) {
  session_.HideBitView();
  ShowState();
  QWidget::mousePressEvent(event);
}

bool DataFlashPage::eventFilter(QObject* object, QEvent* event) {
  auto* view = qobject_cast<QTableView*>(object);
  if (view != nullptr && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2 && view->currentIndex().isValid()) {
    const auto list =
        static_cast<std::size_t>(std::find(lists_.begin(), lists_.end(), view) - lists_.begin());
    OnCellClicked(list, view->currentIndex().siblingAtColumn(ParamListModel::kValue));
    return true;
  }
  return QWidget::eventFilter(object, event);
}

void DataFlashPage::OnCellClicked(std::size_t list, const QModelIndex& index) {
  const std::size_t row = models_[list]->RowInList(index.row());
  switch (index.column()) {
    case ParamListModel::kName:
      session_.ShowBitViewOf(list, row);
      ShowState();
      break;
    case ParamListModel::kValue:
      if (session_.BeginEdit(list, row)) {
        ShowState();
        lists_[list]->edit(index);
      }
      break;
    default:
      break;
  }
}

void DataFlashPage::OnValueEdited(std::size_t row, const QString& text) {
  if (hold_->isChecked()) {
    session_.HoldEdit(row, S(text));
    ShowState();
    return;
  }
  ++jobs_;
  ShowState();
  worker_.Run<dataflash::EditOutcome>(
      this, [&session = session_, row, text = S(text)] { return session.WriteValue(row, text); },
      [this](const dataflash::EditOutcome&) {
        --jobs_;
        ShowState();
      });
}

void DataFlashPage::OnWriteBits() {
  const auto edited = bit_view_->edited();
  const auto& flag = bit_view_->flag();
  if (!edited || !flag) return;
  const std::size_t row = *dataflash::FindParam(flag->name);
  const std::string text = dataflash::FlagValueText(dataflash::kParams[row], *edited);
  bit_view_->Revert();
  OnValueEdited(row, Q(text));
}

void DataFlashPage::OnFilter(const QString& text) {
  const std::string filter = S(text);
  for (ParamListModel* model : models_) model->SetFilter(filter);
  const auto counts = dataflash::MatchesPerTab(filter);
  const bool filtering = !common::TrimBlanks(filter).empty();
  // Chosen before any tab is disabled: the tab widget leaves a disabled tab for its neighbour.
  const std::size_t shown = dataflash::TabToShow(filter, view_.current_tab);
  for (std::size_t tab = 0; tab < kTabCount; ++tab) {
    const std::string name(dataflash::kTabNames[tab]);
    tabs_->setTabText(static_cast<int>(tab),
                      Q(filtering ? fmt::format("{} ({})", name, counts[tab]) : name));
    tabs_->setTabEnabled(static_cast<int>(tab), !filtering || counts[tab] > 0);
  }
  tabs_->setCurrentIndex(static_cast<int>(shown));
  ShowState();
}

void DataFlashPage::OnCompare() {
  const QString chosen = QFileDialog::getOpenFileName(
      this, Q(messages::kCompareTitle), RememberedFolder(messages::kCompareTitle),
      Q("Constants (*.afi *.bin);;Flash Data File (*.afi);;Firmware Bin File (*.bin)"), nullptr,
      QFileDialog::DontUseNativeDialog);
  if (chosen.isEmpty()) return;
  RememberFolder(messages::kCompareTitle, chosen);
  CompareWith(S(chosen));
}

void DataFlashPage::CompareWith(const std::filesystem::path& path) {
  ++jobs_;
  ShowState();
  worker_.Run<common::Outcome>(
      this, [&session = session_, path] { return session.CompareWithFile(path); },
      [this](const common::Outcome&) {
        --jobs_;
        ShowState();
      });
}

void DataFlashPage::OnClearCompare() {
  session_.ClearComparison();
  ShowState();
}

void DataFlashPage::RunTransfer(app::Work work, std::function<common::Outcome()> job) {
  ++jobs_;
  ShowState();
  worker_.RunWork<common::Outcome>(
      work, this,
      [&transfer = session_.transfer(), job = std::move(job)](std::stop_token stop) {
        const dataflash::FlashTransfer::StopScope stoppable(transfer, std::move(stop));
        return job();
      },
      [this](const common::Outcome&) {
        --jobs_;
        ShowState();
      });
}

void DataFlashPage::ShowState() {
  view_ = session_.View();
  const bool idle = view_.controls_enabled && jobs_ == 0;
  for (QPushButton* button : {read_all_, write_all_, compare_}) button->setEnabled(idle);
  clear_compare_->setEnabled(view_.comparison.has_value());
  undo_->setEnabled(idle && view_.held_count > 0);
  for (QTableView* view : lists_) view->setEnabled(view_.controls_enabled);
  {
    const QSignalBlocker blocker(tabs_);
    tabs_->setCurrentIndex(static_cast<int>(view_.current_tab));
  }
  for (ParamListModel* model : models_) model->Refresh(view_);
  ShowBitView();
  note_->setText(Q(view_.note));
}

void DataFlashPage::ShowBitView() {
  const auto id = view_.shown_bit_view;
  const auto flag = id ? dataflash::FindBitView(*id) : std::nullopt;
  if (!flag) {
    if (bit_view_->flag()) bit_view_->Clear();
    bit_caption_->clear();
    write_bits_->setVisible(false);
    revert_bits_->setVisible(false);
    return;
  }
  const std::size_t row = *dataflash::FindParam(flag->name);
  const dataflash::ParamValue& value = view_.values[row];
  bit_view_->Show(*flag, value.raw_value);
  const auto edited = bit_view_->edited();
  const std::string name(flag->name);
  bit_caption_->setText(
      Q(edited ? fmt::format("{}: {} (the gauge holds {})", name,
                             dataflash::FlagValueText(dataflash::kParams[row], *edited), value.text)
               : fmt::format("{}: {}", name, value.text)));
  write_bits_->setVisible(true);
  revert_bits_->setVisible(true);
  write_bits_->setEnabled(edited.has_value() && view_.controls_enabled && jobs_ == 0);
  revert_bits_->setEnabled(edited.has_value());
}

}  // namespace cw::gui
