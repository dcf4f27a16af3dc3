#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "monitor/sbs_register_def.h"

namespace cw::monitor {

// The four lists of the SBS page: three register lists and the static-data list.
enum class TableId : std::uint8_t { kA = 0, kB = 1, kC = 2, kD = 3 };
inline constexpr std::array<TableId, 3> kScanTables = {TableId::kA, TableId::kB, TableId::kC};
inline constexpr std::array<TableId, 4> kAllTables = {TableId::kA, TableId::kB, TableId::kC,
                                                      TableId::kD};

struct RowRef {
  TableId table = TableId::kA;
  std::size_t index = 0;
  bool operator==(const RowRef&) const = default;
};

// The run-time copy of the built-in register table. Rows are fixed at construction: references
// to them stay valid for the table's life.
class RegisterTable {
 public:
  RegisterTable();

  std::span<SbsRegisterDef> rows(TableId table) { return tables_[Index(table)]; }
  std::span<const SbsRegisterDef> rows(TableId table) const { return tables_[Index(table)]; }
  SbsRegisterDef& row(RowRef ref) { return tables_[Index(ref.table)][ref.index]; }
  const SbsRegisterDef& row(RowRef ref) const { return tables_[Index(ref.table)][ref.index]; }

  // Exact, case-sensitive name lookup over tables A to D in order.
  std::optional<RowRef> Find(std::string_view name) const;
  SbsRegisterDef* FindRow(std::string_view name);
  const SbsRegisterDef* FindRow(std::string_view name) const;

  // The raw value of the row named `name` (kNotRead until read, and for a name no row has).
  std::int32_t RawValueOf(std::string_view name) const;

  // The "Battery Mode" of the latest good read (kNotRead until one): what decides the units of
  // the capacity rows and At Rate. A failed read of it later leaves it as it was.
  std::int32_t BatteryModeRaw() const { return battery_mode_; }

  // Whether a row's value is current: its last read succeeded, and the link has not been lost
  // since the scan pass it was read in began. A value read in the latest pass stays current
  // when the link goes later in that pass (it was read in this pass); one read before it does
  // not (the pass that should have read it again could not).
  bool Current(const SbsRegisterDef& row) const { return row.read_stamp > lost_at_; }
  // A good read of `row`: its value is current from now on. A read of Battery Mode gives every
  // capacity row and At Rate the unit it says.
  void MarkRead(SbsRegisterDef& row) {
    row.read_stamp = ++reads_;
    if (&row == &tables_[0][battery_mode_index_]) BatteryModeRead(row.raw_value);
  }
  // A failed read of `row`.
  static void MarkNotRead(SbsRegisterDef& row) { row.read_stamp = 0; }
  // A scan pass that reads rows begins.
  void StartPass() { pass_start_ = reads_; }
  // The link failed: nothing read before the latest pass began is current any more.
  void MarkLinkLost() { lost_at_ = std::max(lost_at_, pass_start_); }

  // Clears every value text and every Log and Scan flag (a list is being built).
  void ResetRunState();
  void SetAllScan(bool scan);
  void SetAllLog(bool log);

 private:
  static std::size_t Index(TableId table) { return static_cast<std::size_t>(table); }
  void BatteryModeRead(std::int32_t raw);

  std::array<std::vector<SbsRegisterDef>, 4> tables_;
  std::size_t battery_mode_index_ = 0;
  std::int32_t battery_mode_ = kNotRead;
  // Good reads so far: the source of every row's read_stamp.
  std::uint64_t reads_ = 0;
  // reads_ when the latest scan pass began, and when the link was last lost.
  std::uint64_t pass_start_ = 0;
  std::uint64_t lost_at_ = 0;
};

}  // namespace cw::monitor
