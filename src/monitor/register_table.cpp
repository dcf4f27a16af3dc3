#include "monitor/register_table.h"

#include "monitor/register_table_data.h"
#include "monitor/value_conversion.h"

namespace cw::monitor {
namespace {

constexpr std::string_view kBatteryModeName = "Battery Mode";

template <std::size_t N>
std::vector<SbsRegisterDef> Build(const std::array<SbsRegisterInfo, N>& infos) {
  std::vector<SbsRegisterDef> rows;
  rows.reserve(N);
  for (const SbsRegisterInfo& info : infos) rows.emplace_back(info);
  return rows;
}

}  // namespace

RegisterTable::RegisterTable()
    : tables_{Build(register_data::kTableA), Build(register_data::kTableB),
              Build(register_data::kTableC), Build(register_data::kTableD)} {
  battery_mode_index_ = Find(kBatteryModeName)->index;
}

void RegisterTable::BatteryModeRead(std::int32_t raw) {
  battery_mode_ = raw;
  for (auto& table : tables_) {
    for (SbsRegisterDef& row : table) FollowBatteryMode(row, raw);
  }
}

std::optional<RowRef> RegisterTable::Find(std::string_view name) const {
  for (TableId table : kAllTables) {
    const auto list = rows(table);
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i].name == name) return RowRef{table, i};
    }
  }
  return std::nullopt;
}

SbsRegisterDef* RegisterTable::FindRow(std::string_view name) {
  const auto ref = Find(name);
  return ref ? &row(*ref) : nullptr;
}

const SbsRegisterDef* RegisterTable::FindRow(std::string_view name) const {
  const auto ref = Find(name);
  return ref ? &row(*ref) : nullptr;
}

std::int32_t RegisterTable::RawValueOf(std::string_view name) const {
  const SbsRegisterDef* found = FindRow(name);
  return found != nullptr ? found->raw_value : kNotRead;
}

void RegisterTable::ResetRunState() {
  for (auto& list : tables_) {
    for (SbsRegisterDef& row : list) {
      row.value_text.clear();
      MarkNotRead(row);
      row.log = false;
      row.scan = false;
    }
  }
}

void RegisterTable::SetAllScan(bool scan) {
  for (TableId table : kScanTables) {
    for (SbsRegisterDef& row : rows(table)) row.scan = scan;
  }
}

void RegisterTable::SetAllLog(bool log) {
  for (TableId table : kScanTables) {
    for (SbsRegisterDef& row : rows(table)) row.log = log;
  }
}

}  // namespace cw::monitor
