#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/front_end.h"
#include "monitor/data_log.h"
#include "monitor/register_table.h"
#include "monitor/scan_engine.h"
#include "monitor/status_display_data.h"

namespace cw::monitor {

// The Log and Scan selections of every register row at once.
enum class RowSelection { kClearLogs, kLogAll, kClearScans, kScanAll };
enum class CellState { kNotRead, kSet, kClear };

// Value a status display shows when its register has not been read.
inline constexpr std::int32_t kDisplayNotRead = -1;

struct SbsChange {
  enum class What {
    kDisplay,    // status display `display` has a new value (on the scan worker's thread)
    kSelection,  // Log or Scan flags changed
    kLogging,    // the data log started or stopped, or wrote a line
  };
  What what = What::kSelection;
  std::size_t display = 0;
  bool operator==(const SbsChange&) const = default;
};

// Lines written since the log started, and how many of them hold a value that could not be
// read: the page shows it, so a log full of "0" does not go unnoticed.
struct LogTally {
  int lines = 0;
  int lines_with_unread = 0;
  bool operator==(const LogTally&) const = default;
};

// The SBS page's state at one moment, beside the register table (ScanEngine::Snapshot).
struct SbsView {
  // The status displays, indexed like kStatusDisplays.
  std::array<std::int32_t, kStatusDisplays.size()> displays{};
  bool logging = false;
  // The Log and Scan selections may change: not while logging.
  bool selections_editable = true;
  LogTally log_tally;
};

// One pass over every register row and the static data, for a one-shot read.
struct ScanReport {
  RegisterTable table;
  int rows = 0;
  int unread = 0;  // rows whose read failed
};

// A data log of a fixed number of lines, the scan driven by the caller's thread.
struct LogRecording {
  std::string path;
  int interval_seconds = DataLog::kDefaultInterval;
  int samples = 1;
  // The rows to log (tables A to C); none: every row.
  std::vector<std::string> rows;
};

struct LogRecordingResult {
  // A named row that is not in tables A to C; nothing was logged.
  std::optional<std::string> unknown_row;
  bool started = false;
  int lines = 0;
  // Values written, the header's static data included, and those among them that were not read
  // (marked so in the file).
  LoggedValues values;
  bool complete = false;  // every line asked for was written
  bool stopped = false;   // a stop request ended it first; every line written is whole
};

// The SBS page's session: Log and Scan selections, the tab, the status-bit displays, the data
// log, register edits. The widget shows View() and the register table's snapshot and forwards
// input. The scan reports rows to it from the worker thread; View() is safe from any thread.
class SbsSession final {
 public:
  SbsSession(ScanEngine& engine, DataLog& log, common::MessageSink& messages);

  // Page creation: lists cleared, nothing selected, tab 0, scanning enabled, a static refresh
  // requested.
  void Start();

  SbsView View() const;

  // A row's Log or Scan selection toggled; refused (false) while logging. A logged row is
  // always scanned.
  bool ToggleLog(RowRef ref);
  bool ToggleScan(RowRef ref);
  bool SelectAllRows(RowSelection selection);

  // Start Log and Stop Log of the File menu; the front end's timer asks for a line every
  // interval. A line fails when the file could not be written (logging then stops); its detail
  // counts the values in it that were not current (marked so in the file). The start's detail
  // counts the header's. Without `format` the log keeps the format chosen for it last.
  common::OutcomeOf<LoggedValues> StartLog(const std::string& path, int interval_seconds,
                                           std::optional<LogFormat> format = std::nullopt);
  void StopLog();
  common::OutcomeOf<int> WriteLogLine();

  static std::optional<std::size_t> DisplayIndex(std::string_view title);
  static CellState Cell(std::int32_t value, int bit);
  // Title as drawn: the group title followed by " - SCANNING".
  static std::string DisplayTitle(std::size_t display);

  // The flag displays that show `row` take its value; announced only on change.
  void UpdateFlagDisplay(const SbsRegisterDef& row);

  // A Value cell edited to `text`: writes the register and reads it back; a value that cannot
  // be written is refused with a message.
  common::Outcome WriteRegister(RowRef ref, std::string_view text);

  // The command line's one-shot read: every row selected, one scan pass, the static data.
  ScanReport ScanOnce();
  // The command line's data log: the rows selected, the static data read, then `samples` lines,
  // each after a scan pass, `interval_seconds` apart on the clock. Stops early when `stop` is set
  // (within a quarter of a second, whatever the interval) or a line cannot be written.
  // `on_line` hears how many lines are written: 0 once the file is open, then after each line.
  LogRecordingResult RecordLog(const LogRecording& recording, const std::atomic<bool>& stop,
                               const std::function<void(int lines)>& on_line = {});

  common::Observers<SbsChange>& changes() { return changes_; }

 private:
  void SetDisplay(std::size_t display, std::int32_t value);
  void Notify(SbsChange::What what) { changes_.Notify({what, 0}); }
  common::OutcomeOf<LoggedValues> WriteLine();
  // Ticks the Log cell of each named row, or every row when none is named; the first name that
  // is no row of tables A to C.
  std::optional<std::string> SelectLoggedRows(const std::vector<std::string>& names);

  ScanEngine& engine_;
  DataLog& log_;
  common::MessageSink& messages_;
  std::atomic<int> log_lines_ = 0;
  std::atomic<int> log_lines_with_unread_ = 0;
  // The last value of each display's row, to announce changes; View() shows it only while the
  // row's value is current.
  std::array<std::atomic<std::int32_t>, kStatusDisplays.size()> displays_;
  std::array<RowRef, kStatusDisplays.size()> display_rows_{};
  common::Observers<SbsChange> changes_;
  // Last: rows stop arriving before anything above goes away.
  common::Subscription scan_rows_;
};

}  // namespace cw::monitor
