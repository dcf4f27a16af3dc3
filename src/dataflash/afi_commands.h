#pragma once

#include <filesystem>
#include <optional>

#include "dataflash/data_flash_page.h"

// The File menu's "Open All Flash Constants" and "Save All Flash Constants" without their
// dialogs: the caller has chosen the path.
namespace cw::dataflash {

enum class AfiOutcome {
  kDone,
  kFailed,  // the message saying why has been shown
  kNoFile,  // the chosen file does not exist: nothing done, nothing shown
};

struct AfiLoadResult {
  AfiOutcome outcome = AfiOutcome::kFailed;
  // The algorithm data written, for the main window's copy.
  std::optional<AlgorithmArea> algorithm;
};

struct AfiSaveResult {
  AfiOutcome outcome = AfiOutcome::kFailed;
  std::filesystem::path path;  // the file written
  std::optional<AlgorithmArea> algorithm;
};

// Seal check, the rows' texts and the algorithm data from the file, Write All, and the message.
AfiLoadResult LoadAfiToGauge(DataFlashPage& page, const std::filesystem::path& path);
// Seal check, Read All, and every key written to `chosen` (".afi" added when missing).
AfiSaveResult SaveGaugeToAfi(DataFlashPage& page, const std::filesystem::path& chosen);

}  // namespace cw::dataflash
