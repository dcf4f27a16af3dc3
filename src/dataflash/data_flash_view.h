#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/front_end.h"
#include "dataflash/file_compare.h"
#include "dataflash/golden_lint.h"
#include "dataflash/param_codec.h"
#include "dataflash/parameter_table.h"
#include "dataflash/subclass_layout.h"

// What the data flash session holds and what its operations give back, as values a front end may
// keep.
namespace cw::dataflash {

enum class EditResult {
  kIgnored,   // no Read All yet: nothing written, the cell keeps its text
  kBusBusy,   // the bus stayed busy for 500 ms: nothing written, the text restored
  kRefused,   // out of limits (message shown): nothing written, the text restored
  kFailed,    // a transaction failed; the row is marked
  kMismatch,  // written, but the gauge reads back another value; the row is marked
  kWritten,   // written and read back unchanged
};

// What changed in the data flash session, for its front end.
enum class DataFlashChange {
  kValues,   // row values or marks (after a transfer or an edit)
  kBusy,     // a transfer started or ended: buttons and editing follow the busy flag
  kBitView,  // a bit view was shown or hidden
  kTab,
  kHeldEdits,   // an edit was held, taken back or written
  kComparison,  // a file to compare with was loaded or put away
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

// The transfers that open with the seal check, each with its own message for a sealed gauge.
enum class SealedTransfer { kReadAll, kWriteAll, kLoadAfi, kSaveAfi };

// The comparison with a constants file, as the page shows it.
struct ComparisonView {
  std::string file_name;
  // How the file stands against the values shown; nothing until a Read All has given them.
  std::optional<FileComparison> result;
};

// The data flash session's state at one moment: a copy a front end draws from and may keep.
struct DataFlashView {
  std::array<ParamValue, kParamCount> values{};
  std::array<std::uint16_t, kParamCount> item_data{};
  // The edits held for Write All, by row.
  std::array<std::optional<std::string>, kParamCount> held{};
  std::size_t held_count = 0;
  FlashImage image{};
  AlgorithmArea backup{};
  bool read_done = false;
  bool busy = false;  // FlashTransferBusy
  bool editing_enabled = true;
  bool controls_enabled = true;
  int progress_total = 0;
  std::size_t current_tab = 0;
  std::optional<std::uint16_t> shown_bit_view;
  std::optional<ComparisonView> comparison;
  // The line under the lists: how the compared file stands, the edits held, and why the last
  // edit was not written.
  std::string note;
};

// The File menu's "Open All Flash Constants".
struct AfiLoadResult {
  common::Outcome outcome;
  // The chosen file does not exist: nothing was done and nothing shown (a file dialog never
  // offers such a file; the command line says so itself).
  bool file_missing = false;
  // The algorithm data written, for the main window's copy.
  std::optional<AlgorithmArea> algorithm;
};

// The File menu's "Save All Flash Constants".
struct AfiSaveResult {
  common::Outcome outcome;
  std::filesystem::path path;  // the file written
  std::optional<AlgorithmArea> algorithm;
};

// One value set from the command line: the Read All it needs, the edit, and what the gauge holds
// afterwards.
struct ValueSetting {
  EditOutcome edit;
  // The Read All before the edit failed: nothing was written.
  bool unread = false;
  // A stop request ended it before the write (the message said so): nothing was written.
  bool stopped = false;
  // The value the gauge holds now: read back after the write, or read once more after a failed
  // one; nothing when that read failed too.
  std::optional<std::string> holds;
};

// A constants file against another, or against the gauge: done with the keys that differ
// (none: equal); refused for a file that cannot be read or is no constants file; failed when the
// gauge could not be read.
using ConstantsDiff = common::OutcomeOf<std::vector<KeyDifference>>;
using GoldenLint = common::OutcomeOf<std::vector<LintFinding>>;

}  // namespace cw::dataflash
