#include "monitor/sbs_session.h"

#include <fmt/format.h>

#include <algorithm>

#include "monitor/messages.h"

namespace cw::monitor {
namespace {

// The 16 bits of `raw` that `display` shows.
std::int32_t DisplayValue(const StatusDisplayDef& display, std::int32_t raw) {
  if (raw == kNotRead) return kDisplayNotRead;
  const auto bits = static_cast<std::uint32_t>(raw);
  return static_cast<std::int32_t>(display.half == WordHalf::kHigh ? bits >> 16 : bits & 0xFFFF);
}

}  // namespace

SbsSession::SbsSession(ScanEngine& engine, DataLog& log, common::MessageSink& messages)
    : engine_(engine), log_(log), messages_(messages) {
  for (auto& display : displays_) display = kDisplayNotRead;
  engine_.WithTable([&](const RegisterTable& table) {
    for (std::size_t i = 0; i < kStatusDisplays.size(); ++i) {
      display_rows_[i] = *table.Find(kStatusDisplays[i].source_row);
    }
  });
  scan_rows_ = engine_.changes().Subscribe(
      [this](RowRef, const SbsRegisterDef& row) { UpdateFlagDisplay(row); });
}

void SbsSession::Start() {
  engine_.WithTable([](RegisterTable& table) { table.ResetRunState(); });
  engine_.SetScanEnabled(true);
  engine_.RequestStaticRefresh();
  Notify(SbsChange::What::kSelection);
}

common::OutcomeOf<LoggedValues> SbsSession::StartLog(const std::string& path, int interval_seconds,
                                                     std::optional<LogFormat> format) {
  common::OutcomeBuilder outcome(messages_);
  if (format) log_.SetFormat(*format);
  const auto started = log_.StartLog(path, interval_seconds);
  log_lines_ = 0;
  log_lines_with_unread_ = 0;
  Notify(SbsChange::What::kLogging);
  if (!started) {
    outcome.Show(started.error(), common::MessageIcon::kError);
    return outcome.Finish(common::Verdict::kFailed, LoggedValues{});
  }
  return outcome.Finish(common::Verdict::kDone, *started);
}

void SbsSession::StopLog() {
  const bool was_logging = log_.active();
  log_.StopLog();
  if (was_logging) Notify(SbsChange::What::kLogging);
}

common::OutcomeOf<int> SbsSession::WriteLogLine() {
  const common::OutcomeOf<LoggedValues> line = WriteLine();
  return {line, line.detail.unread};
}

common::OutcomeOf<LoggedValues> SbsSession::WriteLine() {
  common::OutcomeBuilder outcome(messages_);
  // A tick that arrives after the log stopped writes nothing and says nothing.
  if (!log_.active()) return outcome.Finish(common::Verdict::kRefused, LoggedValues{});
  const auto written = log_.WriteLogLine();
  if (!written) {
    // Logging has stopped: the buttons come back.
    Notify(SbsChange::What::kLogging);
    outcome.Show(written.error(), common::MessageIcon::kError);
    return outcome.Finish(common::Verdict::kFailed, LoggedValues{});
  }
  ++log_lines_;
  if (written->unread > 0) ++log_lines_with_unread_;
  Notify(SbsChange::What::kLogging);
  return outcome.Finish(common::Verdict::kDone, *written);
}

bool SbsSession::ToggleLog(RowRef ref) {
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
  Notify(SbsChange::What::kSelection);
  return true;
}

bool SbsSession::ToggleScan(RowRef ref) {
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
  Notify(SbsChange::What::kSelection);
  return true;
}

bool SbsSession::SelectAllRows(RowSelection selection) {
  if (log_.active()) return false;
  engine_.WithTable([&](RegisterTable& table) {
    switch (selection) {
      case RowSelection::kClearLogs:
        table.SetAllLog(false);
        break;
      case RowSelection::kLogAll:
        table.SetAllLog(true);
        table.SetAllScan(true);
        break;
      case RowSelection::kClearScans:
        table.SetAllLog(false);
        table.SetAllScan(false);
        break;
      case RowSelection::kScanAll:
        table.SetAllScan(true);
        break;
    }
  });
  Notify(SbsChange::What::kSelection);
  return true;
}

SbsView SbsSession::View() const {
  SbsView view;
  const RegisterTable table = engine_.Snapshot();
  for (std::size_t i = 0; i < kStatusDisplays.size(); ++i) {
    const SbsRegisterDef& row = table.row(display_rows_[i]);
    view.displays[i] =
        table.Current(row) ? DisplayValue(kStatusDisplays[i], row.raw_value) : kDisplayNotRead;
  }
  view.logging = log_.active();
  view.selections_editable = !view.logging;
  view.log_tally = {log_lines_, log_lines_with_unread_};
  return view;
}

std::optional<std::size_t> SbsSession::DisplayIndex(std::string_view title) {
  for (std::size_t i = 0; i < kStatusDisplays.size(); ++i) {
    if (kStatusDisplays[i].title == title) return i;
  }
  return std::nullopt;
}

CellState SbsSession::Cell(std::int32_t value, int bit) {
  if (value == kDisplayNotRead) return CellState::kNotRead;
  return ((value >> bit) & 1) != 0 ? CellState::kSet : CellState::kClear;
}

std::string SbsSession::DisplayTitle(std::size_t display) {
  return fmt::format("{}{}", kStatusDisplays[display].title, " - SCANNING");
}

void SbsSession::SetDisplay(std::size_t display, std::int32_t value) {
  if (displays_[display].exchange(value) == value) return;
  changes_.Notify({SbsChange::What::kDisplay, display});
}

void SbsSession::UpdateFlagDisplay(const SbsRegisterDef& row) {
  for (std::size_t i = 0; i < kStatusDisplays.size(); ++i) {
    if (kStatusDisplays[i].source_row == row.name) {
      SetDisplay(i, DisplayValue(kStatusDisplays[i], row.raw_value));
    }
  }
}

common::Outcome SbsSession::WriteRegister(RowRef ref, std::string_view text) {
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
      outcome.Show(fmt::format(messages::kWriteFailed, name));
      return outcome.Failed();
    case WriteOutcome::kBadValue:
      outcome.Show(fmt::format("\"{}\" is not a valid value for {} ({}).", text, name, format));
      return outcome.Refused();
    case WriteOutcome::kReadOnly:
      outcome.Show(fmt::format("{} cannot be written.", name));
      return outcome.Refused();
  }
  return outcome.Failed();
}

ScanReport SbsSession::ScanOnce() {
  engine_.WithTable([](RegisterTable& table) { table.SetAllScan(true); });
  engine_.ScanPass();
  engine_.RefreshStaticData();
  ScanReport report{engine_.Snapshot()};
  for (TableId id : kAllTables) {
    for (const SbsRegisterDef& row : report.table.rows(id)) {
      ++report.rows;
      if (!report.table.Current(row)) ++report.unread;
    }
  }
  return report;
}

std::optional<std::string> SbsSession::SelectLoggedRows(const std::vector<std::string>& names) {
  if (names.empty()) {
    SelectAllRows(RowSelection::kLogAll);
    return std::nullopt;
  }
  for (const std::string& name : names) {
    const auto found = engine_.WithTable([&](const RegisterTable& table) {
      const auto ref = table.Find(name);
      return ref ? std::optional(std::pair{*ref, table.row(*ref).log}) : std::nullopt;
    });
    if (!found || found->first.table == TableId::kD) return name;
    // A row named twice is ticked once.
    if (!found->second) ToggleLog(found->first);
  }
  return std::nullopt;
}

LogRecordingResult SbsSession::RecordLog(const LogRecording& recording,
                                         const std::atomic<bool>& stop,
                                         const std::function<void(int lines)>& on_line) {
  LogRecordingResult result;
  result.unknown_row = SelectLoggedRows(recording.rows);
  if (result.unknown_row) return result;
  engine_.RefreshStaticData();
  engine_.ClearStaticRefreshRequest();
  const auto started = StartLog(recording.path, recording.interval_seconds);
  result.started = started.done();
  if (!result.started) return result;
  result.values = started.detail;
  common::Clock& clock = engine_.link().clock();
  const common::Millis interval{1000 * recording.interval_seconds};
  // A stop is heard between short naps: a minute's interval must not keep Ctrl-C waiting.
  constexpr common::Millis kLongestNap{250};
  const auto wait_until = [&](common::Millis tick) {
    for (common::Millis now = clock.Now(); tick > now && !stop; now = clock.Now()) {
      clock.SleepFor(std::min(tick - now, kLongestNap));
    }
  };
  if (on_line) on_line(0);
  common::Millis next_tick = clock.Now() + interval;
  while (result.lines < recording.samples) {
    wait_until(next_tick);
    if (stop) break;
    next_tick += interval;
    engine_.ScanPass();
    const auto line = WriteLine();
    if (!line) break;
    result.values.Add(line.detail);
    ++result.lines;
    if (on_line) on_line(result.lines);
  }
  result.complete = result.lines == recording.samples;
  result.stopped = !result.complete && stop;
  StopLog();
  return result;
}

}  // namespace cw::monitor
