#include "dataflash/held_edits.h"

#include <algorithm>

namespace cw::dataflash {

void HeldEdits::Hold(std::size_t row, std::string text) {
  const auto held = held_.find(row);
  entries_.push_back({row, held == held_.end() ? std::nullopt : std::optional(held->second), text});
  held_[row] = std::move(text);
}

std::optional<std::size_t> HeldEdits::Undo() {
  if (entries_.empty()) return std::nullopt;
  const Entry last = entries_.back();
  entries_.pop_back();
  if (last.before) {
    held_[last.row] = *last.before;
  } else {
    held_.erase(last.row);
  }
  return last.row;
}

std::optional<std::string> HeldEdits::held(std::size_t row) const {
  const auto found = held_.find(row);
  if (found == held_.end()) return std::nullopt;
  return found->second;
}

void HeldEdits::Forget(const std::map<std::size_t, std::string>& written) {
  for (const auto& [row, text] : written) {
    const auto held = held_.find(row);
    if (held == held_.end() || held->second != text) continue;
    held_.erase(held);
    std::erase_if(entries_, [row](const Entry& entry) { return entry.row == row; });
  }
}

}  // namespace cw::dataflash
