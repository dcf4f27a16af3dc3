#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "common/message_sink.h"
#include "monitor/data_log.h"
#include "monitor/scan_engine.h"
#include "monitor/status_display_data.h"

namespace cw::monitor {

enum class PageButton { kClearLogs, kLogAll, kClearScans, kScanAll };
enum class PageTab { kFlags = 0, kStaticData = 1 };
enum class CellState { kNotRead, kSet, kClear };

// Value a status display shows when its register has not been read.
inline constexpr std::int32_t kDisplayNotRead = -1;

// The rules of the SBS page without its widgets: Log and Scan selections, the four buttons, the
// tab, the status-bit displays, register edits. The widget shows this state and forwards input.
// The scan reports rows to it from the worker thread; display values are safe to read from any
// thread, and the repaint callback runs on the worker (the front end marshals it).
class SbsPageRules final : public ScanListener {
 public:
  SbsPageRules(ScanEngine& engine, DataLog& log, common::MessageSink& messages);
  ~SbsPageRules() override;

  // Page creation: lists cleared, nothing selected, tab 0, scanning enabled, a static refresh
  // requested.
  void Start();

  // Clicks in a register list's Log or Scan cell; ignored (false) while logging.
  bool ClickLog(RowRef ref);
  bool ClickScan(RowRef ref);
  bool PressButton(PageButton button);
  bool ButtonsEnabled() const { return !log_.active(); }

  void SelectTab(PageTab tab) { tab_ = tab; }
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
  // Called with the display index whenever a display's value changed.
  void SetRepaintCallback(std::function<void(std::size_t)> repaint);

  // The flag displays that show `row` take its value; repainted only on change.
  void UpdateFlagDisplay(const SbsRegisterDef& row);
  void RowUpdated(RowRef ref, const SbsRegisterDef& row) override;

  // An in-place edit of a Value cell finished with `text`: writes the register and reports a
  // value that cannot be written.
  WriteOutcome OnValueEdited(RowRef ref, std::string_view text);

 private:
  void SetDisplay(std::size_t display, std::int32_t value);

  ScanEngine& engine_;
  DataLog& log_;
  common::MessageSink& messages_;
  PageTab tab_ = PageTab::kFlags;
  std::array<std::atomic<std::int32_t>, kStatusDisplays.size()> displays_;
  std::function<void(std::size_t)> repaint_;
};

}  // namespace cw::monitor
