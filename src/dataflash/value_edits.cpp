// The data flash session's edits beyond the one written at once: held edits and their Write All,
// a single parameter read, and the command line's value setting.
#include <fmt/format.h>

#include <algorithm>

#include "dataflash/data_flash_session.h"
#include "dataflash/messages.h"

namespace cw::dataflash {
namespace {

// Whether `entered` is stored as the bytes `held` was read from.
bool SameStoredValue(const ParamDef& def, std::string_view entered, const ParamValue& held) {
  const auto wanted = EncodeParam(def, entered, ValueSource::kFile);
  const auto holds = EncodeParam(def, held.text, ValueSource::kFile);
  return wanted && holds && std::ranges::equal(wanted->bytes(), holds->bytes());
}

}  // namespace

std::optional<EncodedValue> EncodeAndTell(const ParamDef& row, std::string_view text,
                                          ValueSource source, common::MessageSink& messages) {
  auto encoded = EncodeParam(row, text, source);
  if (!encoded) {
    messages.Show(encoded.error().message);
    return std::nullopt;
  }
  if (!encoded->note.empty()) {
    messages.Show(encoded->note, common::MessageIcon::kWarning);
  }
  return std::move(*encoded);
}

common::Outcome DataFlashSession::HoldEdit(std::size_t row, std::string_view text) {
  common::OutcomeBuilder outcome(messages_);
  SetHint({});
  if (row >= kParamCount) return outcome.Refused();
  if (!read_done_) {
    SetHint(messages::kEditIgnored);
    return outcome.Refused();
  }
  // Whole: a number cut to the 32 characters a row keeps could read as another.
  const auto encoded = EncodeAndTell(kParams[row], text, ValueSource::kTyped, outcome);
  if (!encoded) return outcome.Refused();
  {
    const std::lock_guard lock(mutex_);
    held_.Hold(row, encoded->value.text);
  }
  changes_.Notify(DataFlashChange::kHeldEdits);
  return outcome.Done();
}

std::optional<std::size_t> DataFlashSession::UndoEdit() {
  std::optional<std::size_t> row;
  {
    const std::lock_guard lock(mutex_);
    row = held_.Undo();
  }
  if (row) changes_.Notify(DataFlashChange::kHeldEdits);
  return row;
}

common::Outcome DataFlashSession::WriteAllWithHeldEdits() {
  common::OutcomeBuilder outcome(messages_);
  std::map<std::size_t, std::string> held;
  {
    const std::lock_guard lock(mutex_);
    held = held_.texts();
  }
  const auto held_text = [&](std::size_t row) -> std::optional<std::string> {
    const auto found = held.find(row);
    if (found == held.end()) return std::nullopt;
    return found->second;
  };
  const std::array<std::string, kParamCount> before = RowTexts();
  SetRowTexts([&](std::size_t row) { return held_text(row).value_or(before[row]); });

  const common::Outcome written = WriteAllShown();
  outcome.Absorb(written);
  if (!written) {
    const std::array<std::string, kParamCount> now = RowTexts();
    SetRowTexts(
        [&](std::size_t row) { return held_text(row) == now[row] ? before[row] : now[row]; });
    return outcome.Finish(written.verdict);
  }
  {
    const std::lock_guard lock(mutex_);
    held_.Forget(held);
  }
  changes_.Notify(DataFlashChange::kHeldEdits);
  std::vector<std::string> not_kept;
  for (const std::size_t row : RowsDiffering(WorkingImage(), held_text)) {
    not_kept.emplace_back(kParams[row].name);
  }
  if (not_kept.empty()) return outcome.Done();
  outcome.Show(fmt::format(messages::kLoadNotKept, not_kept.size(), FirstNames(not_kept)),
               common::MessageIcon::kError);
  return outcome.Failed();
}

common::OutcomeOf<ParamValue> DataFlashSession::ReadParam(std::size_t row) {
  common::OutcomeBuilder outcome(messages_);
  if (row >= kParamCount) return outcome.Finish(common::Verdict::kRefused, ParamValue{});
  ParamValue value;
  {
    TransferScope scope(*this);
    FlashImage work = WorkingImage();
    if (!transfer_.ReadParam(work, kParams[row], value)) {
      return outcome.Finish(common::Verdict::kFailed, ParamValue{});
    }
    const std::lock_guard lock(mutex_);
    image_ = work;
    values_[row] = value;
  }
  changes_.Notify(DataFlashChange::kValues);
  return outcome.Finish(common::Verdict::kDone, value);
}

ValueSetting DataFlashSession::SetValue(std::size_t row, std::string_view text,
                                        std::stop_token stop) {
  ValueSetting setting;
  {
    const FlashTransfer::StopScope stoppable(transfer_, stop);
    // An edit counts only after a Read All, as on the page.
    if (!ReadAll()) {
      setting.unread = true;
      setting.stopped = transfer_.stopped().has_value();
      return setting;
    }
  }
  if (stop.stop_requested()) {
    messages_.Show(messages::kStoppedNothingWritten);
    setting.stopped = true;
    return setting;
  }
  setting.edit = WriteValue(row, text);
  switch (setting.edit.detail) {
    case EditResult::kWritten:
    case EditResult::kMismatch: {
      const std::lock_guard lock(mutex_);
      setting.holds = values_[row].text;
      break;
    }
    case EditResult::kFailed:
      // The write or its read-back failed: what the gauge holds now is read once more. When it
      // holds the value entered, the write went through and only its first read-back was lost.
      if (const auto read = ReadParam(row)) {
        setting.holds = read.detail.text;
        if (SameStoredValue(kParams[row], text, read.detail)) {
          setting.edit.detail = EditResult::kWritten;
          setting.edit.verdict = common::Verdict::kDone;
        }
      }
      break;
    default:
      break;
  }
  return setting;
}

std::array<std::string, kParamCount> DataFlashSession::RowTexts() const {
  std::array<std::string, kParamCount> texts;
  const std::lock_guard lock(mutex_);
  for (std::size_t row = 0; row < kParamCount; ++row) texts[row] = values_[row].text;
  return texts;
}

void DataFlashSession::SetRowTexts(common::FunctionRef<std::string(std::size_t row)> text_of) {
  {
    const std::lock_guard lock(mutex_);
    for (std::size_t row = 0; row < kParamCount; ++row) {
      values_[row].text = text_of(row).substr(0, kMaxValueText);
    }
  }
  changes_.Notify(DataFlashChange::kValues);
}

}  // namespace cw::dataflash
