#pragma once

#include <filesystem>
#include <optional>

#include "common/front_end.h"
#include "dataflash/data_flash_page.h"

// The File menu's "Open All Flash Constants" and "Save All Flash Constants" without their
// dialogs: the caller has chosen the path.
namespace cw::dataflash {

struct AfiLoadResult {
  common::Outcome outcome;
  // The chosen file does not exist: nothing was done and nothing shown (a file dialog never
  // offers such a file; the command line says so itself).
  bool file_missing = false;
  // The algorithm data written, for the main window's copy.
  std::optional<AlgorithmArea> algorithm;
};

struct AfiSaveResult {
  common::Outcome outcome;
  std::filesystem::path path;  // the file written
  std::optional<AlgorithmArea> algorithm;
};

// Seal check, the rows' texts and the algorithm data from the file, Write All, and the message.
// A file that is no constants file, or holds a value no parameter takes, is refused before
// anything is written. The keys a file lacks keep the gauge's own values (read first, and
// listed in a warning). Success is said only once Write All has verified the algorithm area and
// every parameter reads back as its text encodes.
AfiLoadResult LoadAfiToGauge(DataFlashPage& page, const std::filesystem::path& path);
// Seal check, Read All, and every key written to `chosen` (".afi" added when missing). The file
// is replaced whole or not at all; a folder or device at the path is refused before the read.
AfiSaveResult SaveGaugeToAfi(DataFlashPage& page, const std::filesystem::path& chosen);

}  // namespace cw::dataflash
