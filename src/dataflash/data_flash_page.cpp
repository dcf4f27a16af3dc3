#include "dataflash/data_flash_page.h"

#include <algorithm>

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

constexpr std::span<const std::uint8_t> AllIds() { return kSubclassIds; }
constexpr std::span<const std::uint16_t> AllLayout() { return kSubclassLayout; }
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

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

bool Unchanged(const ParamDef& row, const ParamValue& before, const ParamValue& after) {
  if (row.type == kTypeString) return SameIgnoringCase(before.text, after.text);
  return before.raw_value == after.raw_value;
}

std::optional<std::size_t> RowIndex(std::size_t list, std::size_t row_in_list) {
  if (list >= kListCount || row_in_list >= kListSizes[list]) return std::nullopt;
  return ListStart(list) + row_in_list;
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

// Disables editing and the controls and sets the busy flag for one transfer; every way out
// undoes it.
class DataFlashPage::TransferScope {
 public:
  explicit TransferScope(DataFlashPage& page) : page_(page) {
    page_.editing_enabled_ = false;
    page_.controls_enabled_ = false;
    page_.busy_ = true;
  }
  ~TransferScope() {
    page_.busy_ = false;
    page_.controls_enabled_ = true;
    page_.editing_enabled_ = true;
  }
  TransferScope(const TransferScope&) = delete;
  TransferScope& operator=(const TransferScope&) = delete;

 private:
  DataFlashPage& page_;
};

DataFlashPage::DataFlashPage(link::GaugeLink& link, common::MessageSink& messages,
                             common::ProgressSink& progress)
    : transfer_(link, messages, progress), messages_(messages), total_(InitialProgressTotal()) {
  item_data_.fill(kItemNormal);
}

bool DataFlashPage::ReadAllButton() {
  switch (CheckSealed()) {
    case SealCheck::kCommunicationError:
      messages_.Show(messages::kCommunicationError);
      return false;
    case SealCheck::kSealed:
      messages_.Show(messages::kSealedReadAll);
      return false;
    case SealCheck::kUnsealed:
      break;
  }
  return ReadAllFlash(backup_);
}

bool DataFlashPage::WriteAllButton() {
  switch (CheckSealed()) {
    case SealCheck::kCommunicationError:
      messages_.Show(messages::kCommunicationError);
      return false;
    case SealCheck::kSealed:
      messages_.Show(messages::kSealedWriteAll);
      return false;
    case SealCheck::kUnsealed:
      break;
  }
  if (!read_done_) return ReadAllFlash(backup_);
  const AlgorithmArea backup = backup_;
  return WriteAllFlash(backup);
}

bool DataFlashPage::ReadAllFlash(AlgorithmArea& backup_out) {
  TransferScope scope(*this);
  const bool mark_changes = read_done_;
  total_ += kReadAllSteps;
  Report(0);
  transfer_.link().clock().SleepFor(kBeforeTransfer);
  FlashImage work{};
  const bool ok = transfer_.ReadSubclasses(work, AllIds(), AllLayout(), total_);
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

bool DataFlashPage::AlgorithmAreaMatches(const AlgorithmArea& backup) const {
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

bool DataFlashPage::WriteAllFlash(const AlgorithmArea& backup) {
  TransferScope scope(*this);
  const int saved_total = total_;
  total_ = kWriteAllTotal;
  // Whatever happens, the total is what it was when the operation began.
  struct RestoreTotal {
    int& total;
    int value;
    ~RestoreTotal() { total = value; }
  } restore{total_, saved_total};

  Report(0);
  FlashImage work{};
  std::copy(backup.begin(), backup.end(), work.begin() + kAlgorithmAreaStart);
  transfer_.link().clock().SleepFor(kBeforeTransfer);
  if (!transfer_.ReadSubclasses(work, PageSetIds(), PageSetLayout(), total_)) {
    Report(total_);
    return false;
  }
  read_done_ = true;
  {
    const std::lock_guard lock(mutex_);
    for (std::size_t row = 0; row < kParamCount; ++row) {
      std::array<std::uint8_t, kMaxFieldSize> encoded{};
      const std::uint8_t size = EncodeParam(kParams[row], values_[row], encoded, false, nullptr);
      // A text that is no number leaves the gauge's own bytes in place.
      if (size == kEncodeFailed) continue;
      std::copy_n(encoded.begin(), size,
                  work.begin() + static_cast<std::ptrdiff_t>(ParamImageOffset(kParams[row])));
    }
  }

  total_ += kWriteAllSteps;
  const bool written = transfer_.WriteSubclasses(work, AllIds(), AllLayout(), total_);
  Report(total_);
  total_ -= kWriteAllSteps;
  if (!written) return false;

  Report(0);
  total_ += kReadAllSteps;
  FlashImage read_back{};
  const bool read = transfer_.ReadSubclasses(read_back, AllIds(), AllLayout(), total_);
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

EditResult DataFlashPage::WriteChargeTable(std::size_t row, common::ByteView encoded) {
  const int saved_total = total_;
  total_ -= kChargeTableReadDrop;
  Report(0);
  FlashImage work = image();
  const bool read = transfer_.ReadSubclasses(work, ChargeTableIds(), ChargeTableLayout(), total_);
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
  const bool written =
      transfer_.WriteSubclasses(work, ChargeTableIds(), ChargeTableLayout(), total_);
  Report(total_);
  total_ -= kChargeTableWriteSteps;
  // The row is judged by what the gauge holds now, not by what was sent.
  const bool verified = written && transfer_.ReadSubclasses(work, ChargeTableIds().first(1),
                                                            ChargeTableLayout().first(1), total_);
  {
    const std::lock_guard lock(mutex_);
    image_ = work;
  }
  return written && verified ? EditResult::kWritten : EditResult::kFailed;
}

EditResult DataFlashPage::WriteSingle(std::size_t row, common::ByteView encoded) {
  const bool written = transfer_.WriteParam(kParams[row], encoded);
  transfer_.link().clock().SleepFor(kBeforeReadBack);
  FlashImage work = image();
  ParamValue read_back;
  const bool read = transfer_.ReadParam(work, kParams[row], read_back);
  {
    const std::lock_guard lock(mutex_);
    image_ = work;
  }
  return written && read ? EditResult::kWritten : EditResult::kFailed;
}

EditResult DataFlashPage::OnValueEdited(std::size_t row, std::string_view text) {
  if (row >= kParamCount || !read_done_) return EditResult::kIgnored;
  const ParamDef& def = kParams[row];
  ParamValue edited;
  {
    const std::lock_guard lock(mutex_);
    edited = values_[row];
  }
  const ParamValue previous = edited;
  edited.text = std::string(text.substr(0, kMaxValueText));

  const link::BusLockGuard bus(transfer_.link().bus_lock());
  if (!bus.owns()) {
    busy_ = false;
    return EditResult::kBusBusy;
  }
  TransferScope scope(*this);
  std::array<std::uint8_t, kMaxFieldSize> encoded{};
  const std::uint8_t size = EncodeParam(def, edited, encoded, true, &messages_);
  EditResult result = EditResult::kRefused;
  if (size != kEncodeFailed) {
    const common::ByteView bytes(encoded.data(), size);
    result = def.subclass == kChargeTableSubclass ? WriteChargeTable(row, bytes)
                                                  : WriteSingle(row, bytes);
    RefreshLists(true);
    const std::lock_guard lock(mutex_);
    const bool matched = result == EditResult::kWritten && Unchanged(def, edited, values_[row]);
    if (result == EditResult::kWritten && !matched) result = EditResult::kMismatch;
    item_data_[row] = matched ? kItemNormal : kItemMarked;
  }
  return result;
}

bool DataFlashPage::ReadParam(std::size_t row) {
  if (row >= kParamCount) return false;
  TransferScope scope(*this);
  FlashImage work = image();
  ParamValue value;
  if (!transfer_.ReadParam(work, kParams[row], value)) return false;
  const std::lock_guard lock(mutex_);
  image_ = work;
  values_[row] = value;
  return true;
}

void DataFlashPage::RefreshLists(bool mark_changes) {
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

std::optional<BitViewRequest> DataFlashPage::OnNameClicked(std::size_t list,
                                                           std::size_t row_in_list) {
  const auto row = RowIndex(list, row_in_list);
  if (!editing_enabled_ || !row || !kListColumns[list].bit_views) return std::nullopt;
  const auto flag = FindFlagRegister(kParams[*row].name);
  if (!flag) {
    shown_bit_view_.reset();
    return BitViewRequest{};
  }
  shown_bit_view_ = flag->bit_view_id;
  return BitViewRequest{true, flag->bit_view_id, value(*row).raw_value, flag->wide};
}

bool DataFlashPage::OnValueClicked(std::size_t list, std::size_t row_in_list) {
  const auto row = RowIndex(list, row_in_list);
  if (!editing_enabled_ || !row || (item_data(*row) & 0xFF) != kItemNormal) return false;
  shown_bit_view_.reset();
  return true;
}

void DataFlashPage::OnTabChanged(std::size_t tab) {
  shown_bit_view_.reset();
  if (tab < kTabCount) current_tab_ = tab;
}

ParamValue DataFlashPage::value(std::size_t row) const {
  const std::lock_guard lock(mutex_);
  return row < kParamCount ? values_[row] : ParamValue{};
}

std::uint16_t DataFlashPage::item_data(std::size_t row) const {
  const std::lock_guard lock(mutex_);
  return row < kParamCount ? item_data_[row] : kItemNormal;
}

void DataFlashPage::SetRowText(std::size_t row, std::string_view text) {
  if (row >= kParamCount) return;
  const std::lock_guard lock(mutex_);
  values_[row].text = std::string(text.substr(0, kMaxValueText));
}

FlashImage DataFlashPage::image() const {
  const std::lock_guard lock(mutex_);
  return image_;
}

}  // namespace cw::dataflash
