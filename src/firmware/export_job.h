#pragma once

#include <filesystem>
#include <stop_token>
#include <string>

#include "common/front_end.h"
#include "firmware/gauge_export.h"
#include "firmware/tool_job.h"

namespace cw::firmware {

// What the "Export Firmware" group shows of the export, besides its bar.
struct ExportView : JobView {
  std::string path;  // "Bin Path:" edit
  bool path_set = false;
};

// The firmware export of the window: ExportGauge to the chosen path, on the firmware tool's
// worker, its pages on the bar. It is done only once the whole image is on the disk.
class ExportJob final : public ToolJob<ExportView> {
 public:
  explicit ExportJob(FirmwareTool& tool);

  void Set(const std::filesystem::path& path);
  // Checks the target and the seal state, then hands the export to the worker: done means it
  // started (its own outcome arrives in the view when it ends); refused or failed comes with the
  // message that says why not. A press while it runs is ignored.
  common::Outcome Export();

 private:
  void Run(std::stop_token stop, const std::filesystem::path& path);
  // The progress message of the export.
  void Progress(int pages);
};

}  // namespace cw::firmware
