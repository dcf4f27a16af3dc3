#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/front_end.h"
#include "monitor/data_log.h"
#include "monitor/scan_engine.h"
#include "monitor/status_display_data.h"

namespace cw::monitor {

enum class PageButton { kClearLogs, kLogAll, kClearScans, kScanAll };
enum class PageTab { kFlags = 0, kStaticData = 1, kChart = 2 };
enum class CellState { kNotRead, kSet, kClear };

// Value a status display shows when its register has not been read.
inline constexpr std::int32_t kDisplayNotRead = -1;

struct SbsPageChange {
  enum class What {
    kDisplay,    // status display `display` has a new value (on the scan worker's thread)
    kSelection,  // Log or Scan flags changed
    kTab,
    kLogging,  // the data log started or stopped
  };
  What what = What::kSelection;
  std::size_t display = 0;
  bool operator==(const SbsPageChange&) const = default;
};

// The rules of the SBS page without its widgets: Log and Scan selections, the four buttons, the
// tab, the status-bit displays, the data log, register edits. The widget shows this state and
// forwards input. The scan reports rows to it from the worker thread; display values are safe
// to read from any thread.
class SbsPageRules final {
 public:
  SbsPageRules(ScanEngine& engine, DataLog& log, common::MessageSink& messages);

  // Page creation: lists cleared, nothing selected, tab 0, scanning enabled, a static refresh
  // requested.
  void Start();

  // Clicks in a register list's Log or Scan cell; ignored (false) while logging.
  bool ClickLog(RowRef ref);
  bool ClickScan(RowRef ref);
  bool PressButton(PageButton button);
  bool ButtonsEnabled() const { return !log_.active(); }

  // Start Log and Stop Log of the File menu; the front end's timer asks for a line every
  // interval. A line fails when the file could not be written (logging then stops); its detail
  // counts the fields whose last read failed (written as "0").
  common::Outcome StartLog(const std::string& path, int interval_seconds);
  void StopLog();
  common::OutcomeOf<int> WriteLogLine();
  bool logging() const { return log_.active(); }
  // Lines written since the log started, and how many of them hold a value that could not be
  // read: the page shows it, so a log full of "0" does not go unnoticed.
  struct LogTally {
    int lines = 0;
    int lines_with_unread = 0;
    bool operator==(const LogTally&) const = default;
  };
  LogTally log_tally() const { return {log_lines_, log_lines_with_unread_}; }
  DataLog& log() { return log_; }

  void SelectTab(PageTab tab);
  PageTab tab() const { return tab_; }
  bool DisplaysVisible() const { return tab_ == PageTab::kFlags; }
  bool StaticListVisible() const { return tab_ == PageTab::kStaticData; }
  std::string_view GroupTitle() const;

  // Status displays, indexed like kStatusDisplays.
  std::int32_t DisplayValue(std::size_t display) const { return displays_[display].load(); }
  static std::optional<std::size_t> DisplayIndex(int control_id);
  static CellState Cell(std::int32_t value, int bit);
  // Title as drawn: the group title followed by " - SCANNING".
  static std::string DisplayTitle(std::size_t display);

  // The flag displays that show `row` take its value; announced only on change.
  void UpdateFlagDisplay(const SbsRegisterDef& row);

  // An in-place edit of a Value cell finished with `text`: writes the register and reads it
  // back; a value that cannot be written is refused with a message.
  common::Outcome OnValueEdited(RowRef ref, std::string_view text);

  common::Observers<SbsPageChange>& changes() { return changes_; }

 private:
  void SetDisplay(std::size_t display, std::int32_t value);
  void Notify(SbsPageChange::What what) { changes_.Notify({what, 0}); }

  ScanEngine& engine_;
  DataLog& log_;
  common::MessageSink& messages_;
  std::atomic<PageTab> tab_ = PageTab::kFlags;
  std::atomic<int> log_lines_ = 0;
  std::atomic<int> log_lines_with_unread_ = 0;
  std::array<std::atomic<std::int32_t>, kStatusDisplays.size()> displays_;
  common::Observers<SbsPageChange> changes_;
  // Last: rows stop arriving before anything above goes away.
  common::Subscription scan_rows_;
};

}  // namespace cw::monitor
