#include "dataflash/data_flash_session.h"

#include <fmt/format.h>

#include <algorithm>

#include "common/text.h"
#include "dataflash/messages.h"
#include "link/messages.h"

namespace cw::dataflash {
namespace {

constexpr int kReadAllSteps = 27;
constexpr int kWriteAllSteps = 50;
constexpr int kWriteAllTotal = 38;
constexpr int kChargeTableReadDrop = 17;
constexpr int kChargeTableWriteSteps = 12;
constexpr common::Millis kBeforeTransfer{100};
constexpr common::Millis kBeforeReadBack{10};

constexpr std::span<const std::uint8_t> PageSetIds() {
  return std::span<const std::uint8_t>(kSubclassIds).first(kPageSetCount);
}
constexpr std::span<const std::uint16_t> PageSetLayout() {
  return std::span<const std::uint16_t>(kSubclassLayout).first(kPageSetCount);
}
constexpr std::span<const std::uint8_t> ChargeTableIds() {
  return std::span<const std::uint8_t>(kSubclassIds)
      .subspan(kChargeTableFirstRow, kChargeTableRowCount);
}
constexpr std::span<const std::uint16_t> ChargeTableLayout() {
  return std::span<const std::uint16_t>(kSubclassLayout)
      .subspan(kChargeTableFirstRow, kChargeTableRowCount);
}

bool Unchanged(const ParamDef& row, const ParamValue& before, const ParamValue& after) {
  if (row.type == kTypeString) return common::EqualsIgnoringCase(before.text, after.text);
  return before.raw_value == after.raw_value;
}

std::string_view SealedMessage(SealedTransfer transfer) {
  switch (transfer) {
    case SealedTransfer::kReadAll:
      return messages::kSealedReadAll;
    case SealedTransfer::kWriteAll:
      return messages::kSealedWriteAll;
    case SealedTransfer::kLoadAfi:
      return messages::kSealedWriteAfi;
    case SealedTransfer::kSaveAfi:
      return messages::kSealedReadAfi;
  }
  return messages::kSealedReadAll;
}

}  // namespace

int InitialProgressTotal() {
  int total = 31;
  for (std::size_t i = 0; i < kPageSetCount; ++i) {
    const std::uint8_t length = EntryAt(i).length;
    if (length >= 65) {
      total += 2;
    } else if (length >= 33) {
      total += 1;
    }
  }
  return total;
}

DataFlashSession::DataFlashSession(link::GaugeLink& link, common::MessageSink& messages,
                                   common::ProgressSink& progress, ConstantsReader read_constants)
    : transfer_(link, progress),
      messages_(messages),
      read_constants_(std::move(read_constants)),
      total_(InitialProgressTotal()) {
  item_data_.fill(kItemNormal);
}

bool DataFlashSession::PassesSealCheck(SealedTransfer transfer, common::MessageSink& messages) {
  switch (transfer_.CheckSealed()) {
    case SealCheck::kCommunicationError:
      messages.Show(messages::kCommunicationError);
      return false;
    case SealCheck::kSealed:
      messages.Show(SealedMessage(transfer));
      return false;
    case SealCheck::kUnsealed:
      return true;
  }
  return false;
}

common::Outcome DataFlashSession::CheckUnsealedFor(SealedTransfer transfer) {
  common::OutcomeBuilder outcome(messages_);
  return PassesSealCheck(transfer, outcome) ? outcome.Done() : outcome.Refused();
}

bool DataFlashSession::ReadIntoBackup(common::MessageSink& messages) {
  AlgorithmArea backup{};
  if (!ReadAllInto(backup, messages)) return false;
  const std::lock_guard lock(mutex_);
  backup_ = backup;
  return true;
}

common::Outcome DataFlashSession::ReadAll() {
  common::OutcomeBuilder outcome(messages_);
  SetHint({});
  if (!PassesSealCheck(SealedTransfer::kReadAll, outcome)) return outcome.Refused();
  return ReadIntoBackup(outcome) ? outcome.Done() : outcome.Failed();
}

common::Outcome DataFlashSession::WriteAll() {
  SetHint({});
  bool holding = false;
  {
    const std::lock_guard lock(mutex_);
    holding = !held_.empty();
  }
  return holding ? WriteAllWithHeldEdits() : WriteAllShown();
}

common::Outcome DataFlashSession::WriteAllShown() {
  common::OutcomeBuilder outcome(messages_);
  if (!PassesSealCheck(SealedTransfer::kWriteAll, outcome)) return outcome.Refused();
  // Without the gauge's algorithm area in hand nothing may be written: read first.
  if (!read_done_) return ReadIntoBackup(outcome) ? outcome.Done() : outcome.Failed();
  AlgorithmArea backup{};
  {
    const std::lock_guard lock(mutex_);
    backup = backup_;
  }
  outcome.GaugeChanged();
  return WriteAllFrom(backup, {}, outcome) ? outcome.Done() : outcome.Failed();
}

common::Outcome DataFlashSession::ReadAllFlash(AlgorithmArea& backup_out) {
  common::OutcomeBuilder outcome(messages_);
  return ReadAllInto(backup_out, outcome) ? outcome.Done() : outcome.Failed();
}

common::Outcome DataFlashSession::WriteAllFlash(const AlgorithmArea& backup, const RowSet& keep) {
  common::OutcomeBuilder outcome(messages_);
  outcome.GaugeChanged();
  return WriteAllFrom(backup, keep, outcome) ? outcome.Done() : outcome.Failed();
}

bool DataFlashSession::ShowStopped(common::MessageSink& messages) {
  const std::optional<StoppedWalk>& stopped = transfer_.stopped();
  if (!stopped) return false;
  if (!stopped->writing) {
    messages.Show(messages::kStoppedReading);
  } else if (stopped->pages == 0) {
    messages.Show(messages::kStoppedNothingWritten);
  } else {
    messages.Show(fmt::format(messages::kStoppedPartlyWritten, stopped->pages),
                  common::MessageIcon::kError);
  }
  return true;
}

bool DataFlashSession::ReadSubclasses(FlashImage& image, std::span<const std::uint8_t> ids,
                                      std::span<const std::uint16_t> layout,
                                      common::MessageSink& messages) {
  if (transfer_.ReadSubclasses(image, ids, layout, total_)) return true;
  if (!ShowStopped(messages) && transfer_.AdapterGone()) {
    messages.Show(link::messages::kUsbNotConnected);
  }
  return false;
}

bool DataFlashSession::WriteSubclasses(const FlashImage& image, std::span<const std::uint8_t> ids,
                                       std::span<const std::uint16_t> layout,
                                       common::MessageSink& messages) {
  if (transfer_.WriteSubclasses(image, ids, layout, total_)) return true;
  if (!ShowStopped(messages) && transfer_.AdapterGone()) {
    messages.Show(link::messages::kUsbNotConnected);
  }
  return false;
}

bool DataFlashSession::ReadAllInto(AlgorithmArea& backup_out, common::MessageSink& messages) {
  TransferScope scope(*this);
  const bool mark_changes = read_done_;
  total_ += kReadAllSteps;
  Report(0);
  transfer_.link().clock().SleepFor(kBeforeTransfer);
  FlashImage work{};
  const bool ok = ReadSubclasses(work, kSubclassIds, kSubclassLayout, messages);
  {
    const std::lock_guard lock(mutex_);
    image_ = work;
  }
  if (ok) {
    std::copy(work.begin() + kAlgorithmAreaStart, work.end(), backup_out.begin());
    read_done_ = true;
  }
  busy_ = false;
  RefreshLists(mark_changes);
  Report(total_);
  total_ -= kReadAllSteps;
  return ok;
}

bool DataFlashSession::AlgorithmAreaMatches(const AlgorithmArea& backup) const {
  for (std::size_t i = kPageSetCount; i < kSubclassCount; ++i) {
    const SubclassEntry entry = EntryAt(i);
    const std::size_t start = entry.image_offset();
    const std::size_t in_backup = start - kAlgorithmAreaStart;
    if (!std::equal(image_.begin() + static_cast<std::ptrdiff_t>(start),
                    image_.begin() + static_cast<std::ptrdiff_t>(start + entry.length),
                    backup.begin() + static_cast<std::ptrdiff_t>(in_backup))) {
      return false;
    }
  }
  return true;
}

bool DataFlashSession::WriteAllFrom(const AlgorithmArea& backup, const RowSet& keep,
                                    common::MessageSink& messages) {
  TransferScope scope(*this);
  const int saved_total = total_;
  total_ = kWriteAllTotal;
  // Whatever happens, the total is what it was when the operation began.
  struct RestoreTotal {
    std::atomic<int>& total;
    int value;
    ~RestoreTotal() { total = value; }
  } restore{total_, saved_total};

  Report(0);
  FlashImage work{};
  std::copy(backup.begin(), backup.end(), work.begin() + kAlgorithmAreaStart);
  transfer_.link().clock().SleepFor(kBeforeTransfer);
  if (!ReadSubclasses(work, PageSetIds(), PageSetLayout(), messages)) {
    Report(total_);
    return false;
  }
  read_done_ = true;
  {
    const std::lock_guard lock(mutex_);
    for (std::size_t row = 0; row < kParamCount; ++row) {
      if (keep.test(row)) continue;
      const auto encoded = EncodeParam(kParams[row], values_[row].text, ValueSource::kFile);
      // A text that is no number leaves the gauge's own bytes in place.
      if (!encoded) continue;
      // The row is judged against what is written when the lists are read back.
      values_[row] = encoded->value;
      std::ranges::copy(encoded->bytes(),
                        work.begin() + static_cast<std::ptrdiff_t>(ParamImageOffset(kParams[row])));
    }
  }

  total_ += kWriteAllSteps;
  const bool written = WriteSubclasses(work, kSubclassIds, kSubclassLayout, messages);
  Report(total_);
  total_ -= kWriteAllSteps;
  if (!written) return false;

  // Every page is written: the check and the reset are what makes it whole, so they run to
  // their end whatever stop is asked for now.
  const FlashTransfer::StopScope to_the_end(transfer_, {});
  Report(0);
  total_ += kReadAllSteps;
  FlashImage read_back{};
  const bool read = ReadSubclasses(read_back, kSubclassIds, kSubclassLayout, messages);
  bool matches = false;
  if (read) {
    const std::lock_guard lock(mutex_);
    const FlashImage previous = image_;
    image_ = read_back;
    matches = AlgorithmAreaMatches(backup);
    // On a mismatch the lists keep their previous contents.
    if (!matches) image_ = previous;
  }
  if (matches) RefreshLists(true);
  busy_ = false;
  Report(total_);
  total_ -= kReadAllSteps;
  if (!matches) return false;
  return transfer_.ResetGauge();
}

EditResult DataFlashSession::WriteChargeTable(std::size_t row, common::ByteView encoded,
                                              common::MessageSink& messages) {
  const int saved_total = total_;
  total_ -= kChargeTableReadDrop;
  Report(0);
  FlashImage work = WorkingImage();
  const bool read = ReadSubclasses(work, ChargeTableIds(), ChargeTableLayout(), messages);
  Report(total_);
  total_ += kChargeTableReadDrop;
  // Writing 0x22, 0x50 and 0x53 back from a partly read image would corrupt them.
  if (!read) {
    total_ = saved_total;
    return EditResult::kFailed;
  }
  std::copy(encoded.begin(), encoded.end(),
            work.begin() + static_cast<std::ptrdiff_t>(ParamImageOffset(kParams[row])));
  Report(0);
  total_ += kChargeTableWriteSteps;
  const bool written = WriteSubclasses(work, ChargeTableIds(), ChargeTableLayout(), messages);
  Report(total_);
  total_ -= kChargeTableWriteSteps;
  // The row is judged by what the gauge holds now, not by what was sent.
  const bool verified = written && ReadSubclasses(work, ChargeTableIds().first(1),
                                                  ChargeTableLayout().first(1), messages);
  {
    const std::lock_guard lock(mutex_);
    image_ = work;
  }
  return written && verified ? EditResult::kWritten : EditResult::kFailed;
}

EditResult DataFlashSession::WriteSingle(std::size_t row, common::ByteView encoded) {
  const bool written = transfer_.WriteParam(kParams[row], encoded);
  transfer_.link().clock().SleepFor(kBeforeReadBack);
  FlashImage work = WorkingImage();
  ParamValue read_back;
  const bool read = transfer_.ReadParam(work, kParams[row], read_back);
  {
    const std::lock_guard lock(mutex_);
    image_ = work;
  }
  return written && read ? EditResult::kWritten : EditResult::kFailed;
}

EditOutcome DataFlashSession::WriteValue(std::size_t row, std::string_view text) {
  // Declared first, so that what it collected is shown after the bus lock is released.
  common::OutcomeBuilder outcome(messages_);
  SetHint({});
  if (row >= kParamCount) return outcome.Finish(common::Verdict::kRefused, EditResult::kIgnored);
  if (!read_done_) {
    SetHint(messages::kEditIgnored);
    return outcome.Finish(common::Verdict::kRefused, EditResult::kIgnored);
  }
  const ParamDef& def = kParams[row];
  EditResult result = EditResult::kRefused;
  {
    const link::BusLockGuard bus(transfer_.link().bus_lock());
    if (!bus.owns()) {
      busy_ = false;
      return outcome.Finish(common::Verdict::kFailed, EditResult::kBusBusy);
    }
    TransferScope scope(*this);
    // Whole: a number cut to the 32 characters a row keeps could read as another.
    const auto encoded = EncodeAndTell(def, text, ValueSource::kTyped, outcome);
    if (encoded) {
      const common::ByteView bytes = encoded->bytes();
      outcome.GaugeChanged();
      result = def.subclass == kChargeTableSubclass ? WriteChargeTable(row, bytes, outcome)
                                                    : WriteSingle(row, bytes);
      RefreshLists(true);
      const std::lock_guard lock(mutex_);
      const bool matched =
          result == EditResult::kWritten && Unchanged(def, encoded->value, values_[row]);
      if (result == EditResult::kWritten && !matched) result = EditResult::kMismatch;
      item_data_[row] = matched ? kItemNormal : kItemMarked;
    }
  }
  switch (result) {
    case EditResult::kWritten:
      return outcome.Finish(common::Verdict::kDone, result);
    case EditResult::kRefused:
      return outcome.Finish(common::Verdict::kRefused, result);
    default:
      return outcome.Finish(common::Verdict::kFailed, result);
  }
}

void DataFlashSession::RefreshLists(bool mark_changes) {
  {
    const std::lock_guard lock(mutex_);
    for (std::size_t row = 0; row < kParamCount; ++row) {
      const ParamDef& def = kParams[row];
      const ParamValue before = values_[row];
      DecodeParam(def, common::ByteView(image_).subspan(ParamImageOffset(def), FieldSize(def)),
                  values_[row]);
      item_data_[row] =
          !mark_changes || Unchanged(def, before, values_[row]) ? kItemNormal : kItemMarked;
    }
  }
  changes_.Notify(DataFlashChange::kValues);
}

FlashImage DataFlashSession::WorkingImage() const {
  const std::lock_guard lock(mutex_);
  return image_;
}

}  // namespace cw::dataflash
