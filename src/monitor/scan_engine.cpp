#include "monitor/scan_engine.h"

#include <algorithm>

#include "monitor/value_conversion.h"

namespace cw::monitor {
namespace {

constexpr std::string_view kManufactureDateName = "Manufacture Date";

std::size_t TableIndex(TableId table) { return static_cast<std::size_t>(table); }

// The adapter is gone or no longer answers: no read of any row can succeed until it is back. A
// gauge that refuses one register is no such loss; the rows after it may still be read.
bool LinkLost(link::LinkStatus status) {
  return status == link::LinkStatus::kNoAdapter || status == link::LinkStatus::kAdapterNotAnswering;
}

}  // namespace

ScanEngine::ScanEngine(link::GaugeLink& link, common::ProgressSink& progress,
                       const std::atomic<bool>& calibration_busy)
    : link_(link),
      clock_(link.clock()),
      progress_(progress),
      calibration_busy_(calibration_busy),
      fields_(PlaceBlockFields(table_)),
      debug_text_(kDebugInfoLength, '\0') {
  reply_.reserve(64);
}

void ScanEngine::Notify(RowRef ref) { changes_.Notify(ref, table_.row(ref)); }

int ScanEngine::CountSelected() {
  std::lock_guard lock(table_mutex_);
  int count = 0;
  for (TableId table : kScanTables) {
    for (const SbsRegisterDef& row : table_.rows(table)) {
      if (!scan_enabled_) return count;
      if (row.scan) ++count;
    }
  }
  return count;
}

PassResult ScanEngine::ScanPass() {
  TransactionGate always;
  return ScanPass(always);
}

PassResult ScanEngine::ScanPass(TransactionGate& control) {
  PassResult result;
  result.selected = CountSelected();
  if (result.selected == 0) {
    control.AfterTransaction();
    clock_.SleepFor(kIdleWait);
    return result;
  }
  cache_.StartPass();
  {
    std::lock_guard lock(table_mutex_);
    table_.StartPass();
  }
  progress_.TaskProgress(common::TaskKind::kSbsScan, result.selected, 0);
  for (TableId table : kScanTables) {
    const std::size_t rows = table_.rows(table).size();  // fixed at construction
    for (std::size_t index = 0; index < rows; ++index) {
      const RowRef ref{table, index};
      bool selected = false;
      {
        std::lock_guard lock(table_mutex_);
        selected = table_.row(ref).scan && scan_enabled_;
      }
      if (!selected) continue;
      if (!control.BeforeTransaction()) {
        result.end = PassEnd::kStopped;
        return result;
      }
      if (!ScanRow(ref)) result.all_read = false;
      control.AfterTransaction();
      ++result.done;
      // Rows visited while the adapter is lost are no progress: the bar goes back to nothing
      // (and a pass never ends in "Task Completed." with nothing read).
      if (LinkLost(link_.link_status())) {
        progress_.TaskProgress(common::TaskKind::kSbsScan, 0, 0);
      } else {
        progress_.TaskProgress(common::TaskKind::kSbsScan, result.selected, result.done);
      }
      clock_.SleepFor(kAfterRow);
      if (calibration_busy_) {
        result.end = PassEnd::kCalibration;
        return result;
      }
    }
  }
  result.end = PassEnd::kComplete;
  return result;
}

bool ScanEngine::ScanRow(RowRef ref) {
  std::uint8_t command = 0;
  {
    std::lock_guard lock(table_mutex_);
    command = table_.row(ref).command;
  }
  const auto& field = fields_[TableIndex(ref.table)][ref.index];

  if (command == kDebugInfoBlock.subcommand) {
    const bool ok = ReadDebugInfo(debug_text_);
    std::lock_guard lock(table_mutex_);
    SbsRegisterDef& row = table_.row(ref);
    row.value_text.assign(debug_text_);
    // Its zeros after a failure are no reading: only the stamp tells them from a real block.
    if (ok) {
      table_.MarkRead(row);
    } else {
      RecordFailure(row);
    }
    Notify(ref);
    return ok;
  }

  std::int32_t raw = kNotRead;
  if (field) {
    std::uint32_t value = 0;
    if (ReadStatusField(*field, command, value)) raw = static_cast<std::int32_t>(value);
  } else {
    scratch_row_.command = command;
    if (link_.ReadWord(scratch_row_)) raw = scratch_row_.raw_value;
  }

  std::lock_guard lock(table_mutex_);
  SbsRegisterDef& row = table_.row(ref);
  if (raw == kNotRead) {
    ApplyFailure(row);
    RecordFailure(row);
  } else {
    ApplyRead(row, raw, table_.BatteryModeRaw());
    table_.MarkRead(row);
  }
  Notify(ref);
  return raw != kNotRead;
}

bool ScanEngine::ReadStatusField(const BlockField& field, std::uint8_t command,
                                 std::uint32_t& value) {
  const StatusBlockInfo& block = kCachedBlocks[field.block];
  if (!cache_.ReadThisPass(field.block)) {
    const bool read = link_.ReadManufacturerBlock(command, block.length, reply_);
    cache_.Store(field.block,
                 read ? link::ManufacturerBlockData(reply_, command, block.length) : std::nullopt);
  }
  if (!cache_.Valid(field.block)) return false;
  value = cache_.Field(field);
  return true;
}

bool ScanEngine::ReadDebugInfo(std::string& text) {
  std::fill(text.begin(), text.end(), '\0');
  if (!link_.ReadManufacturerBlock(kDebugInfoBlock.subcommand, kDebugInfoBlock.length, reply_)) {
    return false;
  }
  const auto data =
      link::ManufacturerBlockData(reply_, kDebugInfoBlock.subcommand, kDebugInfoBlock.length);
  if (!data) return false;
  std::copy(data->begin(), data->end(), text.begin());
  return true;
}

void ScanEngine::RecordFailure(SbsRegisterDef& row) {
  RegisterTable::MarkNotRead(row);
  // What was read before the link went may have changed unseen since.
  if (LinkLost(link_.link_status())) table_.MarkLinkLost();
}

RegisterTable ScanEngine::Snapshot() const {
  RegisterTable table;
  {
    std::lock_guard lock(table_mutex_);
    table = table_;
  }
  // The scan records a loss only once its read returns, and that read may wait on a time-out or
  // on a notice the user has not yet closed. The link's status says it at once: while the adapter
  // is lost, nothing since the latest pass began has been read. Only for this copy: the worker's
  // own failed read records it for good.
  if (LinkLost(link_.link_status())) table.MarkLinkLost();
  return table;
}

void ScanEngine::RefreshStaticData() {
  TransactionGate always;
  RefreshStaticData(always);
}

void ScanEngine::RefreshStaticData(TransactionGate& control) {
  const std::size_t rows = table_.rows(TableId::kD).size();
  bool any_read = false;
  for (std::size_t index = 0; index < rows; ++index) {
    if (!scan_enabled_ || calibration_busy_) return;
    if (!control.BeforeTransaction()) return;
    const RowRef ref{TableId::kD, index};
    link::RegisterRow read;
    bool text_row = false;
    {
      std::lock_guard lock(table_mutex_);
      read = table_.row(ref).ToLinkRow();
      text_row = table_.row(ref).is_text();
    }
    const bool ok = text_row ? link_.ReadBlock(read) : link_.ReadWord(read);
    control.AfterTransaction();
    any_read = any_read || ok;

    std::lock_guard lock(table_mutex_);
    SbsRegisterDef& row = table_.row(ref);
    if (!ok) {
      if (!text_row) row.raw_value = kNotRead;
      row.value_text.clear();
      RecordFailure(row);
    } else if (text_row) {
      row.value_text = read.value_text;
      table_.MarkRead(row);
    } else {
      row.raw_value = read.raw_value;
      FollowBatteryMode(row, table_.BatteryModeRaw());
      row.value_text = row.name == kManufactureDateName
                           ? ManufactureDateText(static_cast<std::uint16_t>(read.raw_value))
                           : FormatRaw(row, read.raw_value);
      table_.MarkRead(row);
    }
    Notify(ref);
  }
  CheckBootLoader(any_read, control);
}

void ScanEngine::CheckBootLoader(bool gauge_answered, TransactionGate& control) {
  if (gauge_answered || link_.link_status() != link::LinkStatus::kNotResponding) {
    in_boot_loader_ = false;
    return;
  }
  // A gauge that answers none of its registers may wait in its boot loader: one status read
  // tells, and the window says what recovers it.
  if (!control.BeforeTransaction()) return;
  in_boot_loader_ = link_.WaitsInBootLoader();
  control.AfterTransaction();
}

WriteOutcome ScanEngine::WriteRegister(RowRef ref, std::string_view text) {
  link::RegisterRow write;
  {
    std::lock_guard lock(table_mutex_);
    const SbsRegisterDef& row = table_.row(ref);
    if (!row.writable()) return WriteOutcome::kReadOnly;
    const auto value = ParseWithFormat(row.format, text);
    if (!value) return WriteOutcome::kBadValue;
    write = row.ToLinkRow();
    write.raw_value = *value;
  }
  if (!link_.WriteWord(write)) return WriteOutcome::kWriteFailed;
  const bool read_back = link_.ReadWord(write);

  std::lock_guard lock(table_mutex_);
  SbsRegisterDef& row = table_.row(ref);
  if (read_back) {
    ApplyRead(row, write.raw_value, table_.BatteryModeRaw());
    table_.MarkRead(row);
  } else {
    row.raw_value = kNotRead;
    row.value_text.clear();
    RecordFailure(row);
  }
  Notify(ref);
  return read_back ? WriteOutcome::kWritten : WriteOutcome::kReadBackFailed;
}

}  // namespace cw::monitor
