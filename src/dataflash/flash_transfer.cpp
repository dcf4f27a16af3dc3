#include "dataflash/flash_transfer.h"

#include <algorithm>

namespace cw::dataflash {
namespace {

constexpr common::Millis kSettleStep{100};
constexpr int kSettleSteps = 25;
constexpr std::uint16_t kSealedBit = 0x4000;

SubclassEntry EntryOf(std::uint16_t layout) {
  return {static_cast<std::uint8_t>(layout & 0xFF), static_cast<std::uint8_t>(layout >> 8)};
}

}  // namespace

link::FlashParamLocation LocationOf(const ParamDef& row) {
  return {row.subclass, row.offset, static_cast<std::uint8_t>(FieldSize(row)),
          FindSubclass(row.subclass)->length};
}

// Selects each subclass and hands `transfer_page` its pages in order: the page number, the
// bytes in that page and their offset in the image. One progress step per page; the first
// failed transaction ends the walk, and so does a stop request, before the next page.
bool FlashTransfer::ForEachPage(
    std::span<const std::uint8_t> ids, std::span<const std::uint16_t> layout, int total, int& done,
    bool writing,
    common::FunctionRef<bool(std::uint8_t page, std::size_t count, std::size_t offset)>
        transfer_page) {
  stopped_.reset();
  int pages = 0;
  const auto stop_here = [&] {
    if (!stop_.stop_requested()) return false;
    stopped_ = StoppedWalk{writing, pages};
    return true;
  };
  Report(total, done);
  if (stop_here() || !link_.EnsureConnected()) return false;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const SubclassEntry entry = EntryOf(layout[i]);
    if (entry.image_offset() + entry.length > kFlashImageSize || stop_here() ||
        !link_.SelectSubclass(ids[i])) {
      return false;
    }
    for (std::size_t page = 0; page * kBlockSize < entry.length; ++page) {
      if (page > 0 && stop_here()) return false;
      const std::size_t count = std::min(kBlockSize, entry.length - page * kBlockSize);
      if (!transfer_page(static_cast<std::uint8_t>(page), count,
                         entry.image_offset() + page * kBlockSize)) {
        return false;
      }
      ++pages;
      Report(total, ++done);
    }
  }
  return true;
}

bool FlashTransfer::Locked(common::FunctionRef<bool()> body) {
  const link::BusLockGuard bus(link_.bus_lock());
  return bus.owns() && body();
}

bool FlashTransfer::ReadSubclasses(FlashImage& image, std::span<const std::uint8_t> ids,
                                   std::span<const std::uint16_t> layout, int total) {
  return ids.size() == layout.size() && Locked([&] {
           int done = 1;
           return ForEachPage(ids, layout, total, done, false,
                              [&](std::uint8_t page, std::size_t count, std::size_t offset) {
                                const auto bytes =
                                    link_.ReadFlashPage(page, static_cast<std::uint8_t>(count));
                                // A short reply must not leave stale bytes that look like the
                                // gauge's.
                                if (!bytes || bytes->size() != count) return false;
                                std::copy(bytes->begin(), bytes->end(),
                                          image.begin() + static_cast<std::ptrdiff_t>(offset));
                                return true;
                              });
         });
}

bool FlashTransfer::WriteSubclasses(const FlashImage& image, std::span<const std::uint8_t> ids,
                                    std::span<const std::uint16_t> layout, int total) {
  return ids.size() == layout.size() && Locked([&] {
           int done = 1;
           // The page write itself waits the 40 ms (25 ms for a short last page) the gauge
           // needs; the settle after the last page keeps the bus too.
           if (!ForEachPage(ids, layout, total, done, true,
                            [&](std::uint8_t page, std::size_t count, std::size_t offset) {
                              return link_.WriteFlashPage(
                                  page, common::ByteView(image.data() + offset, count));
                            })) {
             return false;
           }
           for (int step = 0; step < kSettleSteps; ++step) {
             link_.clock().SleepFor(kSettleStep);
             Report(total, ++done);
           }
           return true;
         });
}

bool FlashTransfer::ReadParam(FlashImage& image, const ParamDef& row, ParamValue& value) {
  std::optional<link::FlashPages> pages;
  if (!Locked([&] {
        pages = link_.ReadFlashParameterBlock(LocationOf(row));
        return true;
      }) ||
      !pages) {
    return false;
  }
  const SubclassEntry entry = *FindSubclass(row.subclass);
  const std::size_t start = entry.image_offset() + std::size_t{pages->first_page} * kBlockSize;
  const std::size_t count = std::min(
      pages->bytes.size(), std::size_t{entry.length} - std::size_t{pages->first_page} * kBlockSize);
  std::copy_n(pages->bytes.begin(), count, image.begin() + static_cast<std::ptrdiff_t>(start));
  DecodeParam(row, common::ByteView(image).subspan(ParamImageOffset(row), FieldSize(row)), value);
  return true;
}

bool FlashTransfer::WriteParam(const ParamDef& row, common::ByteView encoded) {
  return Locked([&] { return link_.WriteFlashParameterBlock(LocationOf(row), encoded); });
}

SealCheck FlashTransfer::CheckSealed() {
  const auto status = link_.ReadOperationStatus();
  if (!status) return SealCheck::kCommunicationError;
  return (*status & kSealedBit) != 0 ? SealCheck::kSealed : SealCheck::kUnsealed;
}

bool FlashTransfer::ResetGauge() {
  return link_.WriteWord(link::kManufacturerAccess, link::kResetSubcommand);
}

}  // namespace cw::dataflash
