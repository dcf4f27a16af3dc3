#pragma once

#include <array>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "common/front_end.h"
#include "common/function_ref.h"
#include "dataflash/data_flash_view.h"
#include "dataflash/file_compare.h"
#include "dataflash/flash_transfer.h"
#include "dataflash/held_edits.h"
#include "dataflash/page_layout.h"

namespace cw::dataflash {

// Encodes `text` for the row and tells `messages` what an edit tells: why it is refused, or a
// warning when the value is stored otherwise than written.
std::optional<EncodedValue> EncodeAndTell(const ParamDef& row, std::string_view text,
                                          ValueSource source, common::MessageSink& messages);

// The data flash page's session: the 21 lists' values and marks, the working image and algorithm
// backup, readDone, the progress total, the busy flag (FlashTransferBusy), the edits held for
// Write All, the comparison with a constants file, and every operation on them: Read All, Write
// All, an edit, the .afi commands of the File menu. A front end reads View() and forwards input;
// transfers may run on a worker thread meanwhile.
class DataFlashSession {
 public:
  // `read_constants` reads the files of "Compare with File", DiffConstants and LintConstants.
  DataFlashSession(link::GaugeLink& link, common::MessageSink& messages,
                   common::ProgressSink& progress,
                   ConstantsReader read_constants = ReadComparisonFile);

  DataFlashView View() const;

  // --- Read All and Write All ---
  // The seal check, then ReadAllFlash into the session's own algorithm backup.
  common::Outcome ReadAll();
  // The seal check, then Write All of the values shown with the edits held in their rows; only
  // reads (and writes nothing) when no Read All has succeeded before. Once it has written and
  // verified, the held edits are forgotten and a value the gauge read back otherwise is named in
  // a message; when it fails they stay held, and rows the gauge did not refresh show what they
  // showed before.
  common::Outcome WriteAll();
  common::Outcome ReadAllFlash(AlgorithmArea& backup_out);
  // Writes the lists' values and `backup` as the algorithm area, verifies the algorithm area and
  // resets the gauge. Rows in `keep` are written with the bytes the gauge holds, whatever their
  // text (a constants file that lacks them).
  common::Outcome WriteAllFlash(const AlgorithmArea& backup, const RowSet& keep = {});
  // The seal check as the File menu's commands make it before they ask for a file: done when
  // the gauge is unsealed, otherwise refused with "Communication Error!" or the sealed message
  // of `transfer`.
  common::Outcome CheckUnsealedFor(SealedTransfer transfer);

  // --- edits ---
  // An edited value, written to the gauge at once and read back.
  EditOutcome WriteValue(std::size_t row, std::string_view text);
  // The same from the command line: Read All first, and what the gauge holds after the edit. A
  // stop request ends the Read All between two pages, or comes before the write; the write and
  // its read-back are never cut.
  ValueSetting SetValue(std::size_t row, std::string_view text, std::stop_token stop = {});
  // Checks `text` as an edit is checked (the row's format and limits, with the message when it
  // is refused) and holds it for Write All; nothing is sent. Refused before the first Read All,
  // as an edit is: there are no gauge values yet to write it over.
  common::Outcome HoldEdit(std::size_t row, std::string_view text);
  // Takes back the last edit held. The row, or nothing when no edit is held.
  std::optional<std::size_t> UndoEdit();
  // Reads one parameter from the gauge into its row (no change marking); done with its value.
  common::OutcomeOf<ParamValue> ReadParam(std::size_t row);

  // --- constants files ---
  // Seal check, the rows' texts and the algorithm data from the file, Write All, and the
  // message. A file that is no constants file, or holds a value no parameter takes, is refused
  // before anything is written. The keys a file lacks keep the gauge's own values (read first,
  // and listed in a warning). Success is said only once Write All has verified the algorithm
  // area and every parameter reads back as its text encodes. A stop request ends it between two
  // pages up to the last page written; the check after that runs to its end.
  AfiLoadResult LoadAfiToGauge(const std::filesystem::path& path, std::stop_token stop = {});
  // The same for constants already read (a production recipe's golden file, read and hashed
  // once): the seal check, then everything after the file is read.
  AfiLoadResult LoadAfiValuesToGauge(const AfiValues& values, std::stop_token stop = {});
  // Seal check, Read All, and every key written to `chosen` (".afi" added when missing). The
  // file is replaced whole or not at all; a folder or device at the path is refused before the
  // read. A stop request ends the read between two pages, and no file is written.
  AfiSaveResult SaveGaugeToAfi(const std::filesystem::path& chosen, std::stop_token stop = {});
  // "Compare with File": the file's values are kept and compared with the values shown from the
  // next Read All on; a file that cannot be read is refused with the reader's message.
  common::Outcome CompareWithFile(const std::filesystem::path& path);
  void ClearComparison();
  // `file` key by key against `other`, or against the gauge after a Read All without it.
  ConstantsDiff DiffConstants(const std::filesystem::path& file,
                              const std::optional<std::filesystem::path>& other);
  // The values of `file` a fresh pack does not hold (LintGolden); refused with the reader's
  // message for a file that cannot be read. Needs no gauge.
  GoldenLint LintConstants(const std::filesystem::path& file);

  // Decodes every row from the working image. With `mark_changes`, rows whose value (for
  // strings: text, without regard to case) differs from the one they had are marked.
  void RefreshLists(bool mark_changes);

  // --- bit views, editors and tabs ---
  void SetEditingEnabled(bool on);
  // The bit view of a row's register, after a click on its Name: a flag register of a list that
  // may show bit views opens its view; any other row hides them. Nothing happens when editing is
  // disabled or the list may not show bit views.
  std::optional<BitViewRequest> ShowBitViewOf(std::size_t list, std::size_t row_in_list);
  // Whether a row's value may be edited now, after a click on it (bit views are hidden).
  bool BeginEdit(std::size_t list, std::size_t row_in_list);
  void SelectTab(std::size_t tab);
  void HideBitView();

  // FlashTransferBusy, for calibration, which refuses to start while it is set.
  const std::atomic<bool>& busy_flag() const { return busy_; }
  FlashTransfer& transfer() { return transfer_; }
  common::Observers<DataFlashChange>& changes() { return changes_; }

 private:
  // Disables editing and the controls and sets the busy flag for one transfer; every way out
  // undoes it.
  class TransferScope {
   public:
    explicit TransferScope(DataFlashSession& session) : session_(session) {
      session_.editing_enabled_ = false;
      session_.controls_enabled_ = false;
      session_.busy_ = true;
      session_.changes_.Notify(DataFlashChange::kBusy);
    }
    ~TransferScope() {
      session_.busy_ = false;
      session_.controls_enabled_ = true;
      session_.editing_enabled_ = true;
      session_.changes_.Notify(DataFlashChange::kBusy);
    }
    TransferScope(const TransferScope&) = delete;
    TransferScope& operator=(const TransferScope&) = delete;

   private:
    DataFlashSession& session_;
  };

  void Report(int done) { transfer_.Report(total_ & 0xFF, done); }
  bool PassesSealCheck(SealedTransfer transfer, common::MessageSink& messages);
  bool ReadAllInto(AlgorithmArea& backup_out, common::MessageSink& messages);
  // Read All into the session's own algorithm backup.
  bool ReadIntoBackup(common::MessageSink& messages);
  bool WriteAllFrom(const AlgorithmArea& backup, const RowSet& keep, common::MessageSink& messages);
  // Write All of the values shown; and of them with the held edits laid over them.
  common::Outcome WriteAllShown();
  common::Outcome WriteAllWithHeldEdits();
  // A subclass transfer that says "USB no Connected." when it failed for want of the adapter.
  bool ReadSubclasses(FlashImage& image, std::span<const std::uint8_t> ids,
                      std::span<const std::uint16_t> layout, common::MessageSink& messages);
  bool WriteSubclasses(const FlashImage& image, std::span<const std::uint8_t> ids,
                       std::span<const std::uint16_t> layout, common::MessageSink& messages);
  // Says what a walk that a stop request ended left in the gauge; false when none did.
  bool ShowStopped(common::MessageSink& messages);
  bool AlgorithmAreaMatches(const AlgorithmArea& backup) const;
  EditResult WriteChargeTable(std::size_t row, common::ByteView encoded,
                              common::MessageSink& messages);
  EditResult WriteSingle(std::size_t row, common::ByteView encoded);
  // Every row's text as a file load or the held edits set it (at most 32 characters each).
  void SetRowTexts(common::FunctionRef<std::string(std::size_t row)> text_of);
  std::array<std::string, kParamCount> RowTexts() const;
  FlashImage WorkingImage() const;
  // Fills what `values` lacks with what the gauge holds now, for a load of an incomplete file.
  bool FillFromGauge(const AfiValues& values, std::array<std::string, kParamCount>& texts,
                     RowSet& kept, AlgorithmArea& algorithm, common::OutcomeBuilder& outcome);
  void SetHint(std::string_view hint);
  // A load once the seal check has passed and the file is read.
  AfiLoadResult WriteAfiValues(const AfiValues& values, common::OutcomeBuilder& outcome);

  FlashTransfer transfer_;
  common::MessageSink& messages_;
  const ConstantsReader read_constants_;
  common::Observers<DataFlashChange> changes_;
  // Guards everything below up to the atomics against a reading front end.
  mutable std::mutex mutex_;
  FlashImage image_{};
  AlgorithmArea backup_{};
  std::array<ParamValue, kParamCount> values_{};
  std::array<std::uint16_t, kParamCount> item_data_{};
  HeldEdits held_;
  std::size_t current_tab_ = 0;
  std::optional<std::uint16_t> shown_bit_view_;
  std::optional<AfiValues> compared_;
  std::string compared_name_;
  // The comparison as last worked out, and the image it was worked out against.
  mutable std::optional<FileComparison> comparison_;
  mutable std::optional<FlashImage> compared_image_;
  std::string hint_;
  std::atomic<bool> read_done_{false};
  std::atomic<bool> busy_{false};
  std::atomic<bool> editing_enabled_{true};
  std::atomic<bool> controls_enabled_{true};
  std::atomic<int> total_;
};

// The progress total of a page: 31 plus one step for each page-set subclass of 33 to 64 bytes
// and two for each longer one.
int InitialProgressTotal();

}  // namespace cw::dataflash
