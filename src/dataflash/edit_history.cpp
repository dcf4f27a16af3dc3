#include "dataflash/edit_history.h"

#include <fmt/format.h>

#include <array>

#include "dataflash/afi_file.h"
#include "dataflash/file_compare.h"
#include "dataflash/messages.h"

namespace cw::dataflash {

common::Outcome EditHistory::Hold(std::size_t row, std::string_view text) {
  common::OutcomeBuilder outcome(page_.messages());
  if (row >= kParamCount || !page_.read_done()) return outcome.Refused();
  ParamValue value{-1, std::string(text.substr(0, kMaxValueText))};
  std::array<std::uint8_t, kMaxFieldSize> encoded{};
  if (EncodeParam(kParams[row], value, encoded, true, &outcome) == kEncodeFailed) {
    return outcome.Refused();
  }
  {
    const std::lock_guard lock(mutex_);
    const auto held = held_.find(row);
    entries_.push_back(
        {row, held == held_.end() ? std::nullopt : std::optional(held->second), value.text});
    held_[row] = value.text;
  }
  changes_.Notify();
  return outcome.Done();
}

std::optional<std::size_t> EditHistory::Undo() {
  std::size_t row = 0;
  {
    const std::lock_guard lock(mutex_);
    if (entries_.empty()) return std::nullopt;
    const Entry last = entries_.back();
    entries_.pop_back();
    row = last.row;
    if (last.before) {
      held_[row] = *last.before;
    } else {
      held_.erase(row);
    }
  }
  changes_.Notify();
  return row;
}

std::optional<std::string> EditHistory::held(std::size_t row) const {
  const std::lock_guard lock(mutex_);
  const auto found = held_.find(row);
  if (found == held_.end()) return std::nullopt;
  return found->second;
}

std::size_t EditHistory::size() const {
  const std::lock_guard lock(mutex_);
  return held_.size();
}

std::map<std::size_t, std::string> EditHistory::Snapshot() const {
  const std::lock_guard lock(mutex_);
  return held_;
}

void EditHistory::Forget(const std::map<std::size_t, std::string>& written) {
  {
    const std::lock_guard lock(mutex_);
    for (const auto& [row, text] : written) {
      const auto held = held_.find(row);
      if (held == held_.end() || held->second != text) continue;
      held_.erase(held);
      std::erase_if(entries_, [row](const Entry& entry) { return entry.row == row; });
    }
  }
  changes_.Notify();
}

common::Outcome EditHistory::WriteAll() {
  const std::map<std::size_t, std::string> held = Snapshot();
  if (held.empty()) return page_.WriteAllButton();
  common::OutcomeBuilder outcome(page_.messages());
  const auto held_text = [&](std::size_t row) -> std::optional<std::string> {
    const auto found = held.find(row);
    if (found == held.end()) return std::nullopt;
    return found->second;
  };
  std::array<std::string, kParamCount> before;
  for (std::size_t row = 0; row < kParamCount; ++row) before[row] = page_.value(row).text;
  page_.SetRowTexts([&](std::size_t row) { return held_text(row).value_or(before[row]); });

  const common::Outcome written = page_.WriteAllButton();
  outcome.Absorb(written);
  if (!written) {
    std::array<std::string, kParamCount> now;
    for (std::size_t row = 0; row < kParamCount; ++row) now[row] = page_.value(row).text;
    page_.SetRowTexts(
        [&](std::size_t row) { return held_text(row) == now[row] ? before[row] : now[row]; });
    return outcome.Finish(written.verdict);
  }
  Forget(held);
  std::vector<std::string> not_kept;
  for (const std::size_t row : RowsDiffering(page_.image(), held_text)) {
    not_kept.emplace_back(kParams[row].name);
  }
  if (not_kept.empty()) return outcome.Done();
  outcome.Show(
      fmt::format(fmt::runtime(messages::kLoadNotKept), not_kept.size(), FirstNames(not_kept)),
      common::kDefaultCaption, common::MessageIcon::kError);
  return outcome.Failed();
}

}  // namespace cw::dataflash
