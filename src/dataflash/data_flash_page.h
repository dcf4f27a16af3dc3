#pragma once

#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "common/front_end.h"
#include "common/function_ref.h"
#include "dataflash/flash_transfer.h"
#include "dataflash/page_layout.h"
#include "dataflash/param_codec.h"
#include "dataflash/parameter_table.h"
#include "dataflash/subclass_layout.h"

namespace cw::dataflash {

enum class EditResult {
  kIgnored,   // no Read All yet: nothing written, the cell keeps its text
  kBusBusy,   // the bus stayed busy for 500 ms: nothing written, the text restored
  kRefused,   // out of limits (message shown): nothing written, the text restored
  kFailed,    // a transaction failed; the row is marked
  kMismatch,  // written, but the gauge reads back another value; the row is marked
  kWritten,   // written and read back unchanged
};

// What changed on the data flash page, for its widget.
enum class DataFlashChange {
  kValues,   // row values or marks (after a transfer or an edit)
  kBusy,     // a transfer started or ended: buttons and editing follow busy()
  kBitView,  // a bit view was shown or hidden
  kTab,
};

using EditOutcome = common::OutcomeOf<EditResult>;
// A set of parameter rows, by their index in the table.
using RowSet = std::bitset<kParamCount>;

// A bit view to show or hide after a click on a Name.
struct BitViewRequest {
  bool show = false;
  std::uint16_t bit_view_id = 0;
  std::int32_t value = -1;
  bool wide = true;
};

// The rules of the data flash page without its widgets: the 21 lists' values and marks, the
// working image and algorithm backup, readDone, the progress total, the busy flag
// (FlashTransferBusy) and the transfers behind Read All, Write All and an edit. A front end
// shows its state and forwards clicks; the .afi commands drive it too. Transfers may run on a
// worker thread while the front end reads the state.
class DataFlashPage {
 public:
  DataFlashPage(link::GaugeLink& link, common::MessageSink& messages,
                common::ProgressSink& progress);

  // --- buttons ---
  common::Outcome ReadAllButton();
  // Writes when a Read All has succeeded before, otherwise reads (and writes nothing).
  common::Outcome WriteAllButton();

  // --- transfers ---
  common::Outcome ReadAllFlash(AlgorithmArea& backup_out);
  // Writes the lists' values and `backup` as the algorithm area, verifies the algorithm area and
  // resets the gauge. Rows in `keep` are written with the bytes the gauge holds, whatever their
  // text (a constants file that lacks them).
  common::Outcome WriteAllFlash(const AlgorithmArea& backup, const RowSet& keep = {});
  EditOutcome OnValueEdited(std::size_t row, std::string_view text);
  // Reads one parameter from the gauge into its row (no change marking).
  common::Outcome ReadParam(std::size_t row);
  SealCheck CheckSealed() { return transfer_.CheckSealed(); }
  // The seal check that opens Read All, Write All and the .afi commands: passes when the gauge
  // is unsealed, otherwise shows "Communication Error!" or `sealed_message` through `messages`.
  bool PassesSealCheck(std::string_view sealed_message, common::MessageSink& messages);

  // Decodes every row from the working image. With `mark_changes`, rows whose value (for
  // strings: text, without regard to case) differs from the one they had are marked.
  void RefreshLists(bool mark_changes);

  // --- clicks ---
  void SetEditingEnabled(bool on) { editing_enabled_ = on; }
  bool editing_enabled() const { return editing_enabled_; }
  // A click in the Name column: a flag register of a list that may show bit views opens its
  // view; any other row hides them. Nothing happens when editing is disabled or the list may
  // not show bit views.
  std::optional<BitViewRequest> OnNameClicked(std::size_t list, std::size_t row_in_list);
  // A click in the Value column: whether the in-place editor opens (bit views are hidden).
  bool OnValueClicked(std::size_t list, std::size_t row_in_list);
  void OnTabChanged(std::size_t tab);
  void OnMouseDown() { HideBitView(); }
  std::size_t current_tab() const { return current_tab_; }
  std::optional<std::uint16_t> shown_bit_view() const { return shown_bit_view_; }

  // --- state ---
  ParamValue value(std::size_t row) const;
  std::uint16_t item_data(std::size_t row) const;
  // Every row's text as a file load sets it (at most 32 characters each).
  void SetRowTexts(common::FunctionRef<std::string(std::size_t row)> text_of);
  bool read_done() const { return read_done_; }
  bool busy() const { return busy_; }
  // FlashTransferBusy, for calibration, which refuses to start while it is set.
  const std::atomic<bool>& busy_flag() const { return busy_; }
  bool controls_enabled() const { return controls_enabled_; }
  int progress_total() const { return total_; }
  FlashImage image() const;
  const AlgorithmArea& backup() const { return backup_; }
  FlashTransfer& transfer() { return transfer_; }
  common::MessageSink& messages() { return messages_; }

  common::Observers<DataFlashChange>& changes() { return changes_; }

 private:
  class TransferScope;
  void Report(int done) { transfer_.Report(total_ & 0xFF, done); }
  bool ReadAll(AlgorithmArea& backup_out, common::MessageSink& messages);
  bool WriteAll(const AlgorithmArea& backup, const RowSet& keep, common::MessageSink& messages);
  // A subclass transfer that says "USB no Connected." when it failed for want of the adapter.
  bool ReadSubclasses(FlashImage& image, std::span<const std::uint8_t> ids,
                      std::span<const std::uint16_t> layout, common::MessageSink& messages);
  bool WriteSubclasses(const FlashImage& image, std::span<const std::uint8_t> ids,
                       std::span<const std::uint16_t> layout, common::MessageSink& messages);
  bool AlgorithmAreaMatches(const AlgorithmArea& backup) const;
  void HideBitView();
  EditResult WriteChargeTable(std::size_t row, common::ByteView encoded,
                              common::MessageSink& messages);
  EditResult WriteSingle(std::size_t row, common::ByteView encoded);

  FlashTransfer transfer_;
  common::MessageSink& messages_;
  common::Observers<DataFlashChange> changes_;
  mutable std::mutex mutex_;  // guards image_, values_ and item_data_ against a reading front end
  FlashImage image_{};
  AlgorithmArea backup_{};
  std::array<ParamValue, kParamCount> values_{};
  std::array<std::uint16_t, kParamCount> item_data_{};
  std::atomic<bool> read_done_{false};
  std::atomic<bool> busy_{false};
  std::atomic<bool> editing_enabled_{true};
  std::atomic<bool> controls_enabled_{true};
  int total_;
  std::size_t current_tab_ = 0;
  std::optional<std::uint16_t> shown_bit_view_;
};

// The progress total of a page: 31 plus one step for each page-set subclass of 33 to 64 bytes
// and two for each longer one.
int InitialProgressTotal();

}  // namespace cw::dataflash
