#pragma once

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

  // Raw value of the "Battery Mode" row (kNotRead until read).
  std::int32_t BatteryModeRaw() const { return rows(TableId::kA)[battery_mode_index_].raw_value; }

  // Clears every value text and every Log and Scan flag (a list is being built).
  void ResetRunState();
  void SetAllScan(bool scan);
  void SetAllLog(bool log);

 private:
  static std::size_t Index(TableId table) { return static_cast<std::size_t>(table); }

  std::array<std::vector<SbsRegisterDef>, 4> tables_;
  std::size_t battery_mode_index_ = 0;
};

}  // namespace cw::monitor
