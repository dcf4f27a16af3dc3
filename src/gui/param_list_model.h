#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <string>
#include <vector>

#include "dataflash/data_flash_view.h"
#include "dataflash/page_layout.h"

namespace cw::gui {

// One of the data flash page's 21 lists: Name, Value and Unit of the list's parameters that the
// filter leaves, with each row's marks (changed on the gauge, edited but not written, differs
// from a compared file) as roles for the delegate. It takes the session's view in Refresh(),
// keeps what its rows show, and hands an entered value on through valueEdited(). A Value cell's
// tooltip gives the parameter's limits, default and unit.
class ParamListModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kName = 0, kValue, kUnit };
  enum Role {
    kMarkedRole = Qt::UserRole + 1,  // bool: the Value cell is painted red
    kHeldRole,                       // bool: edited, not yet written
    kDiffersRole,                    // bool: the compared file holds another value
  };

  // `defaults` holds every parameter's default text (kParams order) and outlives the model.
  ParamListModel(std::size_t list, const dataflash::DataFlashView& view,
                 const std::vector<std::string>& defaults, QObject* parent = nullptr);

  std::size_t list() const { return list_; }
  // Shows only the rows whose name holds `filter`.
  void SetFilter(std::string_view filter);
  // Takes the session's present state; only rows that changed are repainted.
  void Refresh(const dataflash::DataFlashView& view);

  // The shown row's place in its list and among all parameters.
  std::size_t RowInList(int view_row) const { return shown_[static_cast<std::size_t>(view_row)]; }
  std::size_t ParamRow(int view_row) const;
  // The view row of a parameter, or -1 when the filter hides it or it is in another list.
  int ViewRowOf(std::string_view name) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  void valueEdited(std::size_t row, const QString& text);

 private:
  struct RowView {
    std::string value;  // the gauge's value as the page shows it
    std::optional<std::string> held;
    bool marked = false;
    // The compared file's text, when it holds another value.
    std::optional<std::string> differs;
    bool operator==(const RowView&) const = default;
  };

  // What a Value cell's tooltip says of the parameter besides its state: limits, default, unit.
  std::string ValueTip(std::size_t param) const;

  std::size_t list_;
  const std::vector<std::string>& defaults_;
  std::vector<std::size_t> shown_;  // rows in the list, filtered
  std::vector<RowView> rows_;       // every row of the list
  std::string compared_file_;
};

}  // namespace cw::gui
