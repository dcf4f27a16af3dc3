#include "dataflash/flash_transfer.h"

#include <algorithm>

#include "link/messages.h"

namespace cw::dataflash {
namespace {

constexpr common::Millis kSettleStep{100};
constexpr int kSettleSteps = 25;
constexpr std::uint16_t kResetSubcommand = 0x0041;
constexpr std::uint16_t kSealedBit = 0x4000;

SubclassEntry EntryOf(std::uint16_t layout) {
  return {static_cast<std::uint8_t>(layout & 0xFF), static_cast<std::uint8_t>(layout >> 8)};
}

}  // namespace

link::FlashParamLocation LocationOf(const ParamDef& row) {
  return {row.subclass, row.offset, static_cast<std::uint8_t>(FieldSize(row)),
          FindSubclass(row.subclass)->length};
}

bool FlashTransfer::AcquireBus() { return link_.bus_lock().Acquire(); }

void FlashTransfer::ReleaseBus() {
  if (!link_.bus_lock().Release()) messages_.Show(link::messages::kReleaseMutexError);
}

void FlashTransfer::ReportIfUnplugged() {
  if (link_.link_status() == link::LinkStatus::kNoAdapter) {
    messages_.Show(link::messages::kUsbNotConnected);
  }
}

bool FlashTransfer::ReadSubclasses(FlashImage& image, std::span<const std::uint8_t> ids,
                                   std::span<const std::uint16_t> layout, int total) {
  if (ids.size() != layout.size() || !AcquireBus()) return false;
  int done = 1;
  Report(total, done);
  bool ok = link_.EnsureConnected();
  for (std::size_t i = 0; ok && i < ids.size(); ++i) {
    const SubclassEntry entry = EntryOf(layout[i]);
    if (entry.image_offset() + entry.length > image.size() || !link_.SelectSubclass(ids[i])) {
      ok = false;
      break;
    }
    for (std::size_t page = 0; ok && page * kBlockSize < entry.length; ++page) {
      const auto count =
          static_cast<std::uint8_t>(std::min(kBlockSize, entry.length - page * kBlockSize));
      const auto bytes = link_.ReadFlashPage(static_cast<std::uint8_t>(page), count);
      // A short reply must not leave stale bytes that look like the gauge's.
      if (!bytes || bytes->size() != count) {
        ok = false;
        break;
      }
      std::copy(
          bytes->begin(), bytes->end(),
          image.begin() + static_cast<std::ptrdiff_t>(entry.image_offset() + page * kBlockSize));
      Report(total, ++done);
    }
  }
  if (!ok) ReportIfUnplugged();
  ReleaseBus();
  return ok;
}

bool FlashTransfer::WriteSubclasses(const FlashImage& image, std::span<const std::uint8_t> ids,
                                    std::span<const std::uint16_t> layout, int total) {
  if (ids.size() != layout.size() || !AcquireBus()) return false;
  int done = 1;
  Report(total, done);
  bool ok = link_.EnsureConnected();
  for (std::size_t i = 0; ok && i < ids.size(); ++i) {
    const SubclassEntry entry = EntryOf(layout[i]);
    if (entry.image_offset() + entry.length > image.size() || !link_.SelectSubclass(ids[i])) {
      ok = false;
      break;
    }
    // The page write itself waits the 40 ms (25 ms for a short last page) the gauge needs.
    for (std::size_t page = 0; ok && page * kBlockSize < entry.length; ++page) {
      const std::size_t count = std::min(kBlockSize, entry.length - page * kBlockSize);
      const common::ByteView bytes(image.data() + entry.image_offset() + page * kBlockSize, count);
      if (!link_.WriteFlashPage(static_cast<std::uint8_t>(page), bytes)) {
        ok = false;
        break;
      }
      Report(total, ++done);
    }
  }
  if (ok) {
    for (int step = 0; step < kSettleSteps; ++step) {
      link_.clock().SleepFor(kSettleStep);
      Report(total, ++done);
    }
  } else {
    ReportIfUnplugged();
  }
  ReleaseBus();
  return ok;
}

bool FlashTransfer::ReadParam(FlashImage& image, const ParamDef& row, ParamValue& value) {
  if (!AcquireBus()) return false;
  const auto pages = link_.ReadFlashParameterBlock(LocationOf(row));
  ReleaseBus();
  if (!pages) return false;
  const SubclassEntry entry = *FindSubclass(row.subclass);
  const std::size_t start = entry.image_offset() + std::size_t{pages->first_page} * kBlockSize;
  const std::size_t count = std::min(
      pages->bytes.size(), std::size_t{entry.length} - std::size_t{pages->first_page} * kBlockSize);
  std::copy_n(pages->bytes.begin(), count, image.begin() + static_cast<std::ptrdiff_t>(start));
  DecodeParam(row, common::ByteView(image).subspan(ParamImageOffset(row), FieldSize(row)), value);
  return true;
}

bool FlashTransfer::WriteParam(const ParamDef& row, common::ByteView encoded) {
  if (!AcquireBus()) return false;
  const bool ok = link_.WriteFlashParameterBlock(LocationOf(row), encoded);
  ReleaseBus();
  return ok;
}

SealCheck FlashTransfer::CheckSealed() {
  const auto status = link_.ReadOperationStatus();
  if (!status) return SealCheck::kCommunicationError;
  return (*status & kSealedBit) != 0 ? SealCheck::kSealed : SealCheck::kUnsealed;
}

bool FlashTransfer::ResetGauge() {
  return link_.WriteWord(link::kManufacturerAccess, kResetSubcommand);
}

}  // namespace cw::dataflash
