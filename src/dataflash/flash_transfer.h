#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <utility>

#include "common/front_end.h"
#include "common/function_ref.h"
#include "dataflash/param_codec.h"
#include "dataflash/parameter_table.h"
#include "dataflash/subclass_layout.h"
#include "link/gauge_link.h"

namespace cw::dataflash {

enum class SealCheck { kCommunicationError, kSealed, kUnsealed };

// Where a stop request ended a walk over pages: the pages it had moved, and whether it wrote them.
struct StoppedWalk {
  bool writing = false;
  int pages = 0;
};

// Moves subclasses and single parameters between the gauge and a FlashImage, page by page,
// each call under the bus lock. Failures are reported by the result only; the page says why.
class FlashTransfer {
 public:
  FlashTransfer(link::GaugeLink& link, common::ProgressSink& progress)
      : link_(link), progress_(progress) {}

  // Reads the subclasses `ids` (with their layout entries, (length << 8) | block) into `image`
  // at block * 32: full pages of 32 bytes, then the remainder. One progress step per page out
  // of `total`. Stops at the first failed transaction.
  bool ReadSubclasses(FlashImage& image, std::span<const std::uint8_t> ids,
                      std::span<const std::uint16_t> layout, int total);
  // Writes them from `image`, then lets the gauge settle for 25 steps of 100 ms.
  bool WriteSubclasses(const FlashImage& image, std::span<const std::uint8_t> ids,
                       std::span<const std::uint16_t> layout, int total);

  // Reads the page or pages holding `row` into `image` and decodes the row into `value`.
  bool ReadParam(FlashImage& image, const ParamDef& row, ParamValue& value);
  // Writes a row's encoded bytes: its page is read, patched and written back up to the field's
  // last byte.
  bool WriteParam(const ParamDef& row, common::ByteView encoded);

  SealCheck CheckSealed();
  // Gauge reset after Write All.
  bool ResetGauge();

  void Report(int total, int done) {
    progress_.TaskProgress(common::TaskKind::kDataFlash, total, done);
  }

  // Subclass walks stop between two pages once `stop` is requested, for as long as the scope
  // lives; a scope with no token makes what runs inside it go to its end (a step that must not
  // be left half done). Scopes nest.
  class StopScope {
   public:
    StopScope(FlashTransfer& transfer, std::stop_token stop)
        : transfer_(transfer), outer_(std::exchange(transfer.stop_, std::move(stop))) {}
    ~StopScope() { transfer_.stop_ = std::move(outer_); }
    StopScope(const StopScope&) = delete;
    StopScope& operator=(const StopScope&) = delete;

   private:
    FlashTransfer& transfer_;
    std::stop_token outer_;
  };
  // After a failed walk: it ended at a stop request, not on the bus.
  const std::optional<StoppedWalk>& stopped() const { return stopped_; }
  link::GaugeLink& link() { return link_; }
  // After a failed transfer: the adapter itself is gone (not the gauge refusing).
  bool AdapterGone() const { return link_.link_status() == link::LinkStatus::kNoAdapter; }

 private:
  bool ForEachPage(
      std::span<const std::uint8_t> ids, std::span<const std::uint16_t> layout, int total,
      int& done, bool writing,
      common::FunctionRef<bool(std::uint8_t page, std::size_t count, std::size_t offset)>
          transfer_page);
  // Runs `body` holding the bus lock; false at once when the bus stays busy.
  bool Locked(common::FunctionRef<bool()> body);
  link::GaugeLink& link_;
  common::ProgressSink& progress_;
  std::stop_token stop_;
  std::optional<StoppedWalk> stopped_;
};

// The link's view of a row: subclass, offset, field size and subclass length.
link::FlashParamLocation LocationOf(const ParamDef& row);

}  // namespace cw::dataflash
