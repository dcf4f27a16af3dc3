#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/clock.h"
#include "common/front_end.h"
#include "link/gauge_link.h"
#include "monitor/register_table.h"
#include "monitor/status_block.h"
#include "monitor/transaction_gate.h"

namespace cw::monitor {

enum class PassEnd {
  kIdle,         // nothing selected (or scanning disabled): waited 700 ms, read nothing
  kComplete,     // every selected row was visited
  kCalibration,  // a calibration started: the pass returned after the current row
  kStopped,      // the worker is pausing for good or ending
};

struct PassResult {
  PassEnd end = PassEnd::kIdle;
  int selected = 0;      // rows counted at the start of the pass
  int done = 0;          // rows visited
  bool all_read = true;  // no row failed
};

enum class WriteOutcome {
  kWritten,         // written and read back
  kReadBackFailed,  // written; the read-back failed and the value text is empty
  kWriteFailed,     // the gauge did not take the write; the row is unchanged
  kBadValue,        // the text is not a value of the row's format; nothing sent
  kReadOnly,        // the row cannot be written; nothing sent
};

// Reads the register table from the gauge: scan passes over the selected rows of tables A to
// C with one read per status block per pass, the static-data refresh of table D, and register
// writes from the page. The table is shared with the page: every access goes through
// WithTable or Snapshot, and no bus transaction runs with the table locked.
class ScanEngine {
 public:
  static constexpr common::Millis kIdleWait{700};
  static constexpr common::Millis kAfterRow{2};

  // `calibration_busy` is owned by calibration; a pass returns after the row in progress when
  // it becomes true.
  ScanEngine(link::GaugeLink& link, common::ProgressSink& progress,
             const std::atomic<bool>& calibration_busy);

  // Every row the scan (or a register write) has just updated. Called with the table locked, on
  // the thread that did the read: a listener must not call back into the engine.
  common::Observers<RowRef, const SbsRegisterDef&>& changes() { return changes_; }

  // Set by the main window and by calibration; a pass reads nothing while it is false.
  void SetScanEnabled(bool enabled) { scan_enabled_ = enabled; }
  bool scan_enabled() const { return scan_enabled_; }
  void RequestStaticRefresh() { static_refresh_request_ = true; }
  bool static_refresh_requested() const { return static_refresh_request_; }
  void ClearStaticRefreshRequest() { static_refresh_request_ = false; }

  // The table as it stands now: a copy, the one way a front end reads it. Its Current() says
  // which values were read and are still current, the link's present state included.
  RegisterTable Snapshot() const;
  // Runs `f` on the table with it locked: for the monitor's own rules (selections, the data log,
  // the chart) and for tests that set rows up.
  template <typename F>
  decltype(auto) WithTable(F&& f) {
    std::lock_guard lock(table_mutex_);
    return f(table_);
  }

  // One pass over the rows whose Scan flag is set, tables A, B, C in order.
  PassResult ScanPass(TransactionGate& control);
  PassResult ScanPass();
  // Reads table D. Stops before a row when scanning is disabled or a calibration runs.
  void RefreshStaticData(TransactionGate& control);
  void RefreshStaticData();
  // Whether the latest static refresh, answered by no register, found the gauge waiting in its
  // boot loader (an update stopped or failed).
  bool gauge_in_boot_loader() const { return in_boot_loader_; }

  // An in-place edit of a writable row finished with `text` (UI thread).
  WriteOutcome WriteRegister(RowRef ref, std::string_view text);

  link::GaugeLink& link() { return link_; }

 private:
  int CountSelected();
  // Reads one row; false when the row failed.
  bool ScanRow(RowRef ref);
  bool ReadStatusField(const BlockField& field, std::uint8_t command, std::uint32_t& value);
  bool ReadDebugInfo(std::string& text);
  // A failed read of `row` (table locked); a failure on the link is a loss of the link.
  void RecordFailure(SbsRegisterDef& row);
  void Notify(RowRef ref);
  void CheckBootLoader(bool gauge_answered, TransactionGate& control);

  link::GaugeLink& link_;
  common::Clock& clock_;
  common::ProgressSink& progress_;
  const std::atomic<bool>& calibration_busy_;
  std::atomic<bool> scan_enabled_{true};
  std::atomic<bool> static_refresh_request_{true};
  std::atomic<bool> in_boot_loader_{false};

  mutable std::mutex table_mutex_;
  RegisterTable table_;
  common::Observers<RowRef, const SbsRegisterDef&> changes_;

  // Worker-side state, touched only by the thread running the pass.
  std::array<std::vector<std::optional<BlockField>>, 3> fields_;
  StatusBlockCache cache_;
  link::RegisterRow scratch_row_;
  common::Bytes reply_;
  std::string debug_text_;
};

}  // namespace cw::monitor
