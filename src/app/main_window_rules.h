#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/front_end.h"
#include "link/gauge_link.h"

namespace cw::app {

// What the status bar shows for one task progress report.
struct TaskProgressView {
  std::string progress_text;        // pane 1
  std::optional<bool> bar_visible;  // nullopt: the bar stays as it was
  int bar_position = 0;
  std::optional<std::string> pane2;  // nullopt: pane 2 keeps its text
  bool operator==(const TaskProgressView&) const = default;
};

TaskProgressView TaskProgressText(common::TaskKind kind, int total, int done);

// The charge gauge beside the pages: remaining over full capacity, refreshed every 2 s.
class ChargeGauge {
 public:
  struct View {
    int position;      // 0..100 bar, the integer part
    std::string text;  // "%.1f%%"
  };
  // Raw register values; 0xFFFFFFFF (-1) is "not read". nullopt: nothing changes on screen.
  std::optional<View> Update(std::int64_t full_raw, std::int64_t remaining_raw);

 private:
  float last_shown_ = -1.0f;
};

// The four pages behind the image buttons. Only the calibration page refreshes itself, and
// only while it is the page shown.
enum class Page { kSbs = 0, kDataFlash = 1, kCalibration = 2, kSmbAccess = 3 };

class PageSelector {
 public:
  // `calibration_refresh(true)` starts the calibration page's 1 s refresh, false stops it.
  explicit PageSelector(std::function<void(bool)> calibration_refresh)
      : calibration_refresh_(std::move(calibration_refresh)) {}
  Page current() const { return current_; }
  // A click on page `page`'s button. False when it was already shown: nothing changes.
  bool Select(Page page);

 private:
  Page current_ = Page::kSbs;
  std::function<void(bool)> calibration_refresh_;
};

// " 12:34:56 ", the status bar's clock.
std::string StatusClockText();

// The data log file for a name chosen in the save dialog: the name as chosen (file systems
// here are case-sensitive), with ".LOG" appended unless it already ends in it in any case.
std::filesystem::path DataLogPath(const std::filesystem::path& chosen);

// "Set Logging Time": the typed interval when it is 1 to 60 s; otherwise the range message
// is shown and nullopt returned (the dialog stays open).
std::optional<int> ParseLoggingTime(std::string_view text, common::MessageSink& messages);

// The About box's version lines, reading the adapter's version through `link`. Without an
// answer from the adapter the second line says so.
struct AboutText {
  std::string text;
  bool adapter_answered = false;
};
AboutText AboutVersionText(link::GaugeLink& link);

// LockMainUi / UnlockMainUi as state the main window shows: its file commands greyed and the
// data flash, calibration and SMB access pages disabled while locked. Tool jobs call it from
// their workers; the listeners hear every change with the new state.
class MainUiState final : public common::MainUiLock {
 public:
  void LockMainUi() override { Set(true); }
  void UnlockMainUi() override { Set(false); }
  bool locked() const { return locked_; }
  common::Observers<bool>& changes() { return changes_; }

 private:
  void Set(bool locked) {
    if (locked_.exchange(locked) != locked) changes_.Notify(locked);
  }

  std::atomic<bool> locked_{false};
  common::Observers<bool> changes_;
};

}  // namespace cw::app
