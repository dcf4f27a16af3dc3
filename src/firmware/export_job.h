#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "common/front_end.h"
#include "firmware/firmware_tool.h"
#include "firmware/read_back.h"

namespace cw::firmware {

inline constexpr int kExportPages = kDataPages + kCodePages;  // 2,080

// What the "Export Firmware" group shows of the export.
struct ExportView {
  std::string path;  // "Bin Path:" edit
  bool path_set = false;
  bool busy = false;
  bool bar_visible = false;
  int bar = 0;  // 0-100
  // How the last export ended; nullopt until one has.
  std::optional<common::Outcome> outcome;
};

// The firmware export: every data and code flash page of the gauge through its read-out path,
// made into a scrambled image at the chosen path, on the firmware tool's worker. It is done only
// once the whole image is on the disk.
class ExportJob {
 public:
  explicit ExportJob(FirmwareTool& tool);
  ExportJob(const ExportJob&) = delete;
  ExportJob& operator=(const ExportJob&) = delete;

  void Set(const std::filesystem::path& path);
  // Checks the target and the seal state, then hands the export to the worker: done means it
  // started (its own outcome arrives in the view when it ends); refused or failed comes with the
  // message that says why not. A press while it runs is ignored.
  common::Outcome Export();
  ExportView View() const;

 private:
  void Run(std::stop_token stop, const std::filesystem::path& path);
  JobRun RunExport(std::stop_token stop, const std::filesystem::path& path);
  // The job stopped or was dropped before its end: nothing more to report.
  void Abandoned();
  // The progress message of the export.
  void Progress(int pages);

  FirmwareTool& tool_;
  link::GaugeLink& link_;
  mutable std::mutex mutex_;
  ExportView view_;
};

}  // namespace cw::firmware
