#include "gui/param_list_model.h"

#include <fmt/format.h>

#include <array>

#include "dataflash/row_filter.h"
#include "dataflash/value_text.h"
#include "gui/messages.h"
#include "gui/qt_text.h"

namespace cw::gui {

using dataflash::kParams;

namespace {

// A value with the row's unit after it, when the row has one.
std::string WithUnit(std::string text, std::string_view unit) {
  if (!unit.empty() && unit != "-") {
    text += ' ';
    text += unit;
  }
  return text;
}

}  // namespace

ParamListModel::ParamListModel(std::size_t list, const dataflash::DataFlashView& view,
                               const std::vector<std::string>& defaults, QObject* parent)
    : QAbstractTableModel(parent),
      list_(list),
      defaults_(defaults),
      rows_(dataflash::kListSizes[list]) {
  SetFilter({});
  Refresh(view);
}

std::size_t ParamListModel::ParamRow(int view_row) const {
  return dataflash::ListStart(list_) + RowInList(view_row);
}

void ParamListModel::SetFilter(std::string_view filter) {
  std::vector<std::size_t> shown;
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    if (dataflash::NameMatches(kParams[dataflash::ListStart(list_) + row].name, filter)) {
      shown.push_back(row);
    }
  }
  if (shown == shown_) return;
  beginResetModel();
  shown_ = std::move(shown);
  endResetModel();
}

void ParamListModel::Refresh(const dataflash::DataFlashView& view) {
  const dataflash::FileComparison* comparison =
      view.comparison && view.comparison->result ? &*view.comparison->result : nullptr;
  if (view.comparison) compared_file_ = view.comparison->file_name;
  std::vector<RowView> next(rows_.size());
  for (std::size_t row = 0; row < next.size(); ++row) {
    const std::size_t param = dataflash::ListStart(list_) + row;
    next[row] = {view.values[param].text, view.held[param],
                 view.item_data[param] == dataflash::kItemMarked, std::nullopt};
    if (comparison != nullptr && comparison->Differs(param)) {
      next[row].differs = comparison->file_texts[param].value_or("");
    }
  }
  int first = -1;
  int last = -1;
  for (std::size_t view_row = 0; view_row < shown_.size(); ++view_row) {
    if (next[shown_[view_row]] == rows_[shown_[view_row]]) continue;
    if (first < 0) first = static_cast<int>(view_row);
    last = static_cast<int>(view_row);
  }
  rows_ = std::move(next);
  if (first >= 0) emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

int ParamListModel::ViewRowOf(std::string_view name) const {
  for (std::size_t view_row = 0; view_row < shown_.size(); ++view_row) {
    if (kParams[ParamRow(static_cast<int>(view_row))].name == name) {
      return static_cast<int>(view_row);
    }
  }
  return -1;
}

int ParamListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int ParamListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 3;
}

QVariant ParamListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const dataflash::ParamDef& def = kParams[ParamRow(index.row())];
  const RowView& row = rows_[RowInList(index.row())];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      switch (index.column()) {
        case kName:
          return Q(def.name);
        case kValue:
          return Q(row.held.value_or(row.value));
        case kUnit:
          return Q(def.unit);
        default:
          return {};
      }
    case Qt::TextAlignmentRole:
      if (index.column() == kUnit) return QVariant(Qt::AlignCenter);
      return {};
    case Qt::ToolTipRole:
      if (index.column() == kValue) {
        const std::string about = ValueTip(ParamRow(index.row()));
        if (row.held)
          return Q(fmt::format("Edited, not yet written: Write All writes it (the gauge holds {})",
                               row.value) +
                   "\n" + about);
        if (row.marked)
          return Q(std::string("Changed on the gauge since the last read, or not kept as written") +
                   "\n" + about);
        return Q(about);
      }
      if (row.differs && index.column() == kName) {
        return Q(fmt::format("In {}: {}", compared_file_, *row.differs));
      }
      // Some names are longer than the Name column is wide.
      if (index.column() == kName) return Q(def.name);
      return {};
    case kMarkedRole:
      return row.marked;
    case kHeldRole:
      return row.held.has_value();
    case kDiffersRole:
      return row.differs.has_value();
    default:
      return {};
  }
}

std::string ParamListModel::ValueTip(std::size_t param) const {
  const dataflash::ParamDef& def = kParams[param];
  const std::string default_text = param < defaults_.size() ? defaults_[param] : std::string();
  const std::string unit = fmt::format("Unit: {}", def.unit.empty() ? "none" : def.unit);
  if (def.type == dataflash::kTypeString) {
    // A text row's conversion field is its longest length; it has no limits of its own.
    return fmt::format("{}\n{}\n{}", fmt::format("Length: at most {} characters", def.conversion),
                       fmt::format(messages::kValueDefault, default_text), unit);
  }
  const dataflash::ShownLimits limits = dataflash::LimitTexts(def);
  return fmt::format("{}\n{}\n{}",
                     WithUnit(fmt::format("Limits: {} to {}", limits.low, limits.high), def.unit),
                     WithUnit(fmt::format(messages::kValueDefault, default_text), def.unit), unit);
}

QVariant ParamListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static constexpr std::array<std::string_view, 3> kTitles = {
      messages::kNameColumn, messages::kValueColumn, messages::kUnitColumn};
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= static_cast<int>(kTitles.size())) {
    return {};
  }
  return Q(kTitles[static_cast<std::size_t>(section)]);
}

Qt::ItemFlags ParamListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  // The page decides whether a click opens the editor; the model only allows it.
  if (index.column() == kValue) flags |= Qt::ItemIsEditable;
  return flags;
}

bool ParamListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || index.column() != kValue) return false;
  emit valueEdited(ParamRow(index.row()), value.toString());
  return true;
}

}  // namespace cw::gui
