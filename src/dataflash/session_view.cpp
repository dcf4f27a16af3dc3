// What the data flash session shows: its view, the note under the lists, the bit views, the
// editors and the tabs.
#include <fmt/format.h>

#include "dataflash/data_flash_session.h"

namespace cw::dataflash {
namespace {

std::optional<std::size_t> RowIndex(std::size_t list, std::size_t row_in_list) {
  if (list >= kListCount || row_in_list >= kListSizes[list]) return std::nullopt;
  return ListStart(list) + row_in_list;
}

std::string NoteText(const DataFlashView& view, std::string_view hint) {
  std::vector<std::string> parts;
  if (view.comparison && view.comparison->result) {
    const FileComparison& result = *view.comparison->result;
    std::string summary = fmt::format("{}: {} of {} parameters differ", view.comparison->file_name,
                                      result.rows.size(), result.compared);
    if (result.algorithm_keys_differing > 0) {
      summary += fmt::format("; AlgorithmData: {} of {} keys differ",
                             result.algorithm_keys_differing, kAlgorithmKeyCount);
    }
    if (!result.missing.empty() || !result.invalid.empty()) {
      summary += fmt::format("; not compared: {} keys missing, {} unreadable",
                             result.missing.size(), result.invalid.size());
    }
    parts.push_back(summary);
  } else if (view.comparison) {
    parts.push_back(
        fmt::format("{} loaded: Read All compares it with the gauge.", view.comparison->file_name));
  }
  if (view.held_count > 0) {
    parts.push_back(fmt::format("Edits held for Write All: {}", view.held_count));
  }
  if (!hint.empty()) parts.emplace_back(hint);
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : "   ") + part;
  return text;
}

}  // namespace

DataFlashView DataFlashSession::View() const {
  DataFlashView view;
  view.read_done = read_done_;
  view.busy = busy_;
  view.editing_enabled = editing_enabled_;
  view.controls_enabled = controls_enabled_;
  view.progress_total = total_;
  const std::lock_guard lock(mutex_);
  view.values = values_;
  view.item_data = item_data_;
  for (const auto& [row, text] : held_.texts()) view.held[row] = text;
  view.held_count = held_.size();
  view.image = image_;
  view.backup = backup_;
  view.current_tab = current_tab_;
  view.shown_bit_view = shown_bit_view_;
  if (compared_) {
    // Worked out again only when the values it is held against have changed.
    if (view.read_done && (!compared_image_ || *compared_image_ != image_)) {
      comparison_ = CompareValues(*compared_, image_);
      compared_image_ = image_;
    }
    view.comparison = ComparisonView{compared_name_, comparison_};
  }
  view.note = NoteText(view, hint_);
  return view;
}

void DataFlashSession::SetHint(std::string_view hint) {
  {
    const std::lock_guard lock(mutex_);
    if (hint_ == hint) return;
    hint_ = hint;
  }
  changes_.Notify(DataFlashChange::kValues);
}

void DataFlashSession::SetEditingEnabled(bool on) { editing_enabled_ = on; }

std::optional<BitViewRequest> DataFlashSession::ShowBitViewOf(std::size_t list,
                                                              std::size_t row_in_list) {
  const auto row = RowIndex(list, row_in_list);
  if (!editing_enabled_ || !row || !kListColumns[list].bit_views) return std::nullopt;
  const auto flag = FindFlagRegister(kParams[*row].name);
  if (!flag) {
    HideBitView();
    return BitViewRequest{};
  }
  std::int32_t value = -1;
  {
    const std::lock_guard lock(mutex_);
    shown_bit_view_ = flag->bit_view_id;
    value = values_[*row].raw_value;
  }
  changes_.Notify(DataFlashChange::kBitView);
  return BitViewRequest{true, flag->bit_view_id, value, flag->wide};
}

void DataFlashSession::HideBitView() {
  {
    const std::lock_guard lock(mutex_);
    if (!shown_bit_view_) return;
    shown_bit_view_.reset();
  }
  changes_.Notify(DataFlashChange::kBitView);
}

bool DataFlashSession::BeginEdit(std::size_t list, std::size_t row_in_list) {
  const auto row = RowIndex(list, row_in_list);
  if (!editing_enabled_ || !row) return false;
  {
    const std::lock_guard lock(mutex_);
    if ((item_data_[*row] & 0xFF) != kItemNormal) return false;
  }
  HideBitView();
  return true;
}

void DataFlashSession::SelectTab(std::size_t tab) {
  HideBitView();
  {
    const std::lock_guard lock(mutex_);
    if (tab >= kTabCount || tab == current_tab_) return;
    current_tab_ = tab;
  }
  changes_.Notify(DataFlashChange::kTab);
}

}  // namespace cw::dataflash
