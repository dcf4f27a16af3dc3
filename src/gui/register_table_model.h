#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <string>
#include <vector>

#include "monitor/register_table.h"

namespace cw::gui {

// One list of the SBS page over the register table: Name (with the access icon), Value, Unit,
// and for the three register lists the Log and Scan check cells. It takes the table's snapshot in
// Refresh(), keeps what its rows show, and hands every click and edit on to the page. A row whose
// value is not current (never read, failed, or read before the link was lost) is drawn grey.
class RegisterTableModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kName = 0, kValue, kUnit, kLog, kScan };

  RegisterTableModel(monitor::TableId table, const monitor::RegisterTable& snapshot,
                     QObject* parent = nullptr);

  // Takes the table's present state; only rows that changed are repainted.
  void Refresh(const monitor::RegisterTable& snapshot);
  monitor::RowRef Ref(int row) const { return {table_, static_cast<std::size_t>(row)}; }
  int RowOf(std::string_view name) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  void logClicked(monitor::RowRef row);
  void scanClicked(monitor::RowRef row);
  void valueEdited(monitor::RowRef row, const QString& text);

 private:
  struct RowView {
    std::string name;
    std::string value;
    std::string unit;
    bool log = false;
    bool scan = false;
    bool writable = false;
    bool current = false;
    bool operator==(const RowView&) const = default;
  };

  bool register_list() const { return table_ != monitor::TableId::kD; }

  monitor::TableId table_;
  std::vector<RowView> rows_;
  QIcon read_only_icon_;
  QIcon writable_icon_;
};

}  // namespace cw::gui
