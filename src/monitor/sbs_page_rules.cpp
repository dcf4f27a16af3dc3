#include "monitor/sbs_page_rules.h"

#include <fmt/format.h>

#include "monitor/messages.h"

namespace cw::monitor {

SbsPageRules::SbsPageRules(ScanEngine& engine, DataLog& log, common::MessageSink& messages)
    : engine_(engine), log_(log), messages_(messages) {
  for (auto& display : displays_) display = kDisplayNotRead;
  engine_.SetListener(this);
}

SbsPageRules::~SbsPageRules() { engine_.SetListener(nullptr); }

void SbsPageRules::Start() {
  engine_.WithTable([](RegisterTable& table) { table.ResetRunState(); });
  tab_ = PageTab::kFlags;
  engine_.SetScanEnabled(true);
  engine_.RequestStaticRefresh();
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
  return true;
}

std::string_view SbsPageRules::GroupTitle() const {
  return tab_ == PageTab::kFlags ? messages::kFlagsGroupTitle : messages::kStaticGroupTitle;
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

void SbsPageRules::SetRepaintCallback(std::function<void(std::size_t)> repaint) {
  repaint_ = std::move(repaint);
}

void SbsPageRules::SetDisplay(std::size_t display, std::int32_t value) {
  if (displays_[display].exchange(value) == value) return;
  if (repaint_) repaint_(display);
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

void SbsPageRules::RowUpdated(RowRef, const SbsRegisterDef& row) { UpdateFlagDisplay(row); }

WriteOutcome SbsPageRules::OnValueEdited(RowRef ref, std::string_view text) {
  const WriteOutcome outcome = engine_.WriteRegister(ref, text);
  const auto [name, format] = engine_.WithTable([&](const RegisterTable& table) {
    return std::pair{std::string(table.row(ref).name), std::string(table.row(ref).format)};
  });
  switch (outcome) {
    case WriteOutcome::kBadValue:
      messages_.Show(fmt::format(fmt::runtime(messages::kWriteBadValue), text, name, format));
      break;
    case WriteOutcome::kReadOnly:
      messages_.Show(fmt::format(fmt::runtime(messages::kWriteReadOnly), name));
      break;
    case WriteOutcome::kWriteFailed:
      messages_.Show(fmt::format(fmt::runtime(messages::kWriteFailed), name));
      break;
    case WriteOutcome::kWritten:
    case WriteOutcome::kReadBackFailed:
      break;
  }
  return outcome;
}

}  // namespace cw::monitor
