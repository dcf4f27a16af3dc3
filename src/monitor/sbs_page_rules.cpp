#include "monitor/sbs_page_rules.h"

#include <fmt/format.h>

#include "monitor/messages.h"

namespace cw::monitor {

SbsPageRules::SbsPageRules(ScanEngine& engine, DataLog& log, common::MessageSink& messages)
    : engine_(engine), log_(log), messages_(messages) {
  for (auto& display : displays_) display = kDisplayNotRead;
  scan_rows_ = engine_.changes().Subscribe(
      [this](RowRef, const SbsRegisterDef& row) { UpdateFlagDisplay(row); });
}

void SbsPageRules::Start() {
  engine_.WithTable([](RegisterTable& table) { table.ResetRunState(); });
  SelectTab(PageTab::kFlags);
  engine_.SetScanEnabled(true);
  engine_.RequestStaticRefresh();
  Notify(SbsPageChange::What::kSelection);
}

void SbsPageRules::SelectTab(PageTab tab) {
  if (tab_.exchange(tab) != tab) Notify(SbsPageChange::What::kTab);
}

common::Outcome SbsPageRules::StartLog(const std::string& path, int interval_seconds) {
  common::OutcomeBuilder outcome(messages_);
  const auto started = log_.StartLog(path, interval_seconds);
  log_lines_ = 0;
  log_lines_with_unread_ = 0;
  Notify(SbsPageChange::What::kLogging);
  if (!started) {
    outcome.Show(started.error(), common::kDefaultCaption, common::MessageIcon::kError);
    return outcome.Failed();
  }
  return outcome.Done();
}

void SbsPageRules::StopLog() {
  const bool was_logging = log_.active();
  log_.StopLog();
  if (was_logging) Notify(SbsPageChange::What::kLogging);
}

common::OutcomeOf<int> SbsPageRules::WriteLogLine() {
  common::OutcomeBuilder outcome(messages_);
  // A tick that arrives after the log stopped writes nothing and says nothing.
  if (!log_.active()) return outcome.Finish(common::Verdict::kRefused, 0);
  const auto written = log_.WriteLogLine();
  if (!written) {
    // Logging has stopped: the buttons come back.
    Notify(SbsPageChange::What::kLogging);
    outcome.Show(written.error(), common::kDefaultCaption, common::MessageIcon::kError);
    return outcome.Finish(common::Verdict::kFailed, 0);
  }
  ++log_lines_;
  if (*written > 0) ++log_lines_with_unread_;
  Notify(SbsPageChange::What::kLogging);
  return outcome.Finish(common::Verdict::kDone, *written);
}

bool SbsPageRules::ClickLog(RowRef ref) {
  if (log_.active() || ref.table == TableId::kD) return false;
  engine_.WithTable([&](RegisterTable& table) {
    SbsRegisterDef& row = table.row(ref);
    if (row.log) {
      row.log = false;
    } else {
      // A logged row is always scanned.
      row.log = true;
      row.scan = true;
    }
  });
  Notify(SbsPageChange::What::kSelection);
  return true;
}

bool SbsPageRules::ClickScan(RowRef ref) {
  if (log_.active() || ref.table == TableId::kD) return false;
  engine_.WithTable([&](RegisterTable& table) {
    SbsRegisterDef& row = table.row(ref);
    if (row.scan) {
      row.scan = false;
      row.log = false;
    } else {
      row.scan = true;
    }
  });
  Notify(SbsPageChange::What::kSelection);
  return true;
}

bool SbsPageRules::PressButton(PageButton button) {
  if (!ButtonsEnabled()) return false;
  engine_.WithTable([&](RegisterTable& table) {
    switch (button) {
      case PageButton::kClearLogs:
        table.SetAllLog(false);
        break;
      case PageButton::kLogAll:
        table.SetAllLog(true);
        table.SetAllScan(true);
        break;
      case PageButton::kClearScans:
        table.SetAllLog(false);
        table.SetAllScan(false);
        break;
      case PageButton::kScanAll:
        table.SetAllScan(true);
        break;
    }
  });
  Notify(SbsPageChange::What::kSelection);
  return true;
}

std::string_view SbsPageRules::GroupTitle() const {
  switch (tab_.load()) {
    case PageTab::kFlags:
      return messages::kFlagsGroupTitle;
    case PageTab::kStaticData:
      return messages::kStaticGroupTitle;
    case PageTab::kChart:
      return messages::kChartGroupTitle;
  }
  return messages::kFlagsGroupTitle;
}

std::optional<std::size_t> SbsPageRules::DisplayIndex(int control_id) {
  for (std::size_t i = 0; i < kStatusDisplays.size(); ++i) {
    if (kStatusDisplays[i].control_id == control_id) return i;
  }
  return std::nullopt;
}

CellState SbsPageRules::Cell(std::int32_t value, int bit) {
  if (value == kDisplayNotRead) return CellState::kNotRead;
  return ((value >> bit) & 1) != 0 ? CellState::kSet : CellState::kClear;
}

std::string SbsPageRules::DisplayTitle(std::size_t display) {
  return fmt::format("{}{}", kStatusDisplays[display].title, messages::kScanningSuffix);
}

void SbsPageRules::SetDisplay(std::size_t display, std::int32_t value) {
  if (displays_[display].exchange(value) == value) return;
  changes_.Notify({SbsPageChange::What::kDisplay, display});
}

void SbsPageRules::UpdateFlagDisplay(const SbsRegisterDef& row) {
  for (std::size_t i = 0; i < kStatusDisplays.size(); ++i) {
    const StatusDisplayDef& display = kStatusDisplays[i];
    if (display.source_row != row.name) continue;
    const std::int32_t raw = row.raw_value;
    std::int32_t value = raw;
    if (raw != kNotRead) {
      const auto bits = static_cast<std::uint32_t>(raw);
      switch (display.half) {
        case WordHalf::kWhole:
          value = static_cast<std::int32_t>(bits & 0xFFFF);
          break;
        case WordHalf::kLow:
          value = static_cast<std::int32_t>(bits & 0xFFFF);
          break;
        case WordHalf::kHigh:
          value = static_cast<std::int32_t>(bits >> 16);
          break;
      }
    }
    SetDisplay(i, value);
  }
}

common::Outcome SbsPageRules::OnValueEdited(RowRef ref, std::string_view text) {
  common::OutcomeBuilder outcome(messages_);
  const WriteOutcome written = engine_.WriteRegister(ref, text);
  const auto [name, format] = engine_.WithTable([&](const RegisterTable& table) {
    return std::pair{std::string(table.row(ref).name), std::string(table.row(ref).format)};
  });
  switch (written) {
    case WriteOutcome::kWritten:
      outcome.GaugeChanged();
      return outcome.Done();
    case WriteOutcome::kReadBackFailed:
      outcome.GaugeChanged();
      return outcome.Failed();
    case WriteOutcome::kWriteFailed:
      outcome.Show(fmt::format(fmt::runtime(messages::kWriteFailed), name));
      return outcome.Failed();
    case WriteOutcome::kBadValue:
      outcome.Show(fmt::format(fmt::runtime(messages::kWriteBadValue), text, name, format));
      return outcome.Refused();
    case WriteOutcome::kReadOnly:
      outcome.Show(fmt::format(fmt::runtime(messages::kWriteReadOnly), name));
      return outcome.Refused();
  }
  return outcome.Failed();
}

}  // namespace cw::monitor
