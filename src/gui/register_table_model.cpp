#include "gui/register_table_model.h"

#include <QBrush>
#include <QColor>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include "gui/messages.h"
#include "gui/qt_text.h"

namespace cw::gui {
namespace {

// The text of a row whose value is not current: still legible on the lists' light grey, plainly
// not the black of a reading.
constexpr QRgb kNotCurrentText = 0x7F7F7F;

// The access icons of the first column, 12 x 12: an open pen for a register that can be
// written, a closed padlock for a read-only one.
QIcon AccessIcon(bool writable) {
  QPixmap pixmap(12, 12);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  if (writable) {
    painter.setPen(QPen(QColor(0x1F, 0x5F, 0xBF), 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(2.5, 9.5), QPointF(9.5, 2.5));
    painter.setPen(QPen(QColor(0x1F, 0x5F, 0xBF), 1));
    painter.drawLine(QPointF(1, 11), QPointF(3, 11));
  } else {
    painter.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(3, 1, 6, 7), 0, 180 * 16);
    painter.setBrush(QColor(0x70, 0x70, 0x70));
    painter.drawRect(QRectF(2, 5, 8, 6));
  }
  return QIcon(pixmap);
}

}  // namespace

RegisterTableModel::RegisterTableModel(monitor::TableId table,
                                       const monitor::RegisterTable& snapshot, QObject* parent)
    : QAbstractTableModel(parent),
      table_(table),
      rows_(snapshot.rows(table).size()),
      read_only_icon_(AccessIcon(false)),
      writable_icon_(AccessIcon(true)) {
  Refresh(snapshot);
}

void RegisterTableModel::Refresh(const monitor::RegisterTable& snapshot) {
  std::vector<RowView> next(rows_.size());
  const auto defs = snapshot.rows(table_);
  for (std::size_t i = 0; i < defs.size(); ++i) {
    const monitor::SbsRegisterDef& def = defs[i];
    next[i] = {std::string(def.name),
               std::string(def.ShownText()),
               std::string(def.unit),
               def.log,
               def.scan,
               def.writable(),
               snapshot.Current(def)};
  }
  int first = -1;
  int last = -1;
  for (std::size_t i = 0; i < next.size(); ++i) {
    if (next[i] == rows_[i]) continue;
    if (first < 0) first = static_cast<int>(i);
    last = static_cast<int>(i);
  }
  rows_ = std::move(next);
  if (first >= 0) emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

int RegisterTableModel::RowOf(std::string_view name) const {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

int RegisterTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RegisterTableModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return register_list() ? 5 : 3;
}

QVariant RegisterTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const RowView& row = rows_[static_cast<std::size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      switch (index.column()) {
        case kName:
          return Q(row.name);
        case kValue:
          return Q(row.value);
        case kUnit:
          return Q(row.unit);
        default:
          return {};
      }
    case Qt::DecorationRole:
      if (index.column() == kName && register_list())
        return row.writable ? writable_icon_ : read_only_icon_;
      return {};
    case Qt::ToolTipRole:
      // The whole name first: a narrow list cuts it.
      if (index.column() == kName && register_list()) {
        return Q(row.name) + '\n' +
               Q(row.writable ? "Writable: F2 or a double click edits the value"
                              : "Read-only register");
      }
      return {};
    case Qt::CheckStateRole:
      if (index.column() == kLog) return row.log ? Qt::Checked : Qt::Unchecked;
      if (index.column() == kScan) return row.scan ? Qt::Checked : Qt::Unchecked;
      return {};
    case Qt::ForegroundRole:
      if (row.current) return {};
      return QBrush(QColor(kNotCurrentText));
    case Qt::TextAlignmentRole:
      if (index.column() == kValue && register_list()) {
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
      }
      return {};
    default:
      return {};
  }
}

QVariant RegisterTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kName:
      return Q(messages::kNameColumn);
    case kValue:
      return Q(messages::kValueColumn);
    case kUnit:
      return Q(messages::kUnitColumn);
    case kLog:
      return Q("Log");
    case kScan:
      return Q("Scan");
    default:
      return {};
  }
}

Qt::ItemFlags RegisterTableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const RowView& row = rows_[static_cast<std::size_t>(index.row())];
  if (index.column() == kLog || index.column() == kScan) flags |= Qt::ItemIsUserCheckable;
  if (index.column() == kValue && row.writable) flags |= Qt::ItemIsEditable;
  return flags;
}

bool RegisterTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid()) return false;
  const monitor::RowRef ref = Ref(index.row());
  if (role == Qt::CheckStateRole && index.column() == kLog) {
    emit logClicked(ref);
    return true;
  }
  if (role == Qt::CheckStateRole && index.column() == kScan) {
    emit scanClicked(ref);
    return true;
  }
  if (role == Qt::EditRole && index.column() == kValue) {
    emit valueEdited(ref, value.toString());
    return true;
  }
  return false;
}

}  // namespace cw::gui
