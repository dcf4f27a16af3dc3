#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/bytes.h"
#include "common/front_end.h"
#include "common/job_worker.h"
#include "common/product_constants.h"
#include "link/gauge_link.h"

// The firmware tool: what the update and the export share while it is open.
namespace cw::firmware {

class ExportJob;
class UpdateJob;
template <typename JobViewT>
class ToolJob;

// The tool's two jobs. As a change: the "Firmware Update" group changed (the loaded image, the
// update's bar, counter or status text) or the "Export Firmware" group; announced on the thread
// that made the change.
enum class FirmwareJob { kUpdate, kExport };

// The image the next update sends, as the "Bin File:" field shows it, and what tells it from
// another before Start. An image carries no firmware version: the gauge tells its own once it
// runs the new firmware.
struct LoadedImageView {
  std::string bin_path;  // empty when nothing is loaded
  bool loaded = false;
  std::size_t size = 0;  // bytes
  std::string sha256;    // 64 lower-case hex digits, as sha256sum prints them
};

// The firmware window's core, open from its menu command to its closing: the image loaded for
// the update, the update job, the export job and the one worker both run on. Update and export
// never run at once: both need the boot loader or its read-out path to themselves and neither
// takes the bus lock, so the second is refused with a message. The scan stays paused while the
// tool is open. A front end that waits for the work (the command line, a station) calls
// UpdateGauge and ExportGauge instead.
class FirmwareTool {
 public:
  FirmwareTool(link::GaugeLink& link, common::MessageSink& messages, common::ScanPause& scan,
               common::MainUiLock& main_ui, const common::ProductConstants& constants);
  // Close.
  ~FirmwareTool();
  FirmwareTool(const FirmwareTool&) = delete;
  FirmwareTool& operator=(const FirmwareTool&) = delete;

  // Load with the file the user chose; refused with the message when it is no image: a file of
  // the wrong size, or one with a damaged record (the boot loader would stop at it and leave
  // the pack without firmware). A running update sends its own copy: loading another file only
  // affects the next Start.
  common::Outcome Load(const std::filesystem::path& path);
  LoadedImageView View() const;

  UpdateJob& update() { return *update_; }
  ExportJob& export_job() { return *export_; }
  common::Observers<FirmwareJob>& changes() { return changes_; }

  // Starts closing and returns at once: no job starts any more, and the running one stops at its
  // next record or page (never inside a bus transaction, so never inside a flash write). For the
  // moment the user closes the window, before anything waits.
  void RequestClose();
  // RequestClose, then waits for the running job to stop; only then resumes scanning (no scan
  // traffic meets a record on the bus) and unlocks the main window. Not from a change listener:
  // it waits for the job that notifies.
  void Close();
  // Blocks until no job runs and the last one has told its listeners how it ended; for front
  // ends without an event loop.
  void WaitUntilIdle() { worker_.WaitUntilIdle(); }

 private:
  template <typename JobViewT>
  friend class ToolJob;
  friend class UpdateJob;
  friend class ExportJob;

  enum class Claim { kGranted, kIgnored, kOtherRunning };

  // The tool is closing or `job` runs already: a new start of it is ignored.
  bool Busy(FirmwareJob job) const;
  // The tool for `job` until Release: granted unless it closes or a job runs.
  Claim TryClaim(FirmwareJob job);
  void Release(FirmwareJob job);
  std::shared_ptr<const common::Bytes> image() const;
  // Runs `job` on the worker. `dropped` runs instead when the tool is closing, or when closing
  // drops the job before it starts.
  void Post(common::JobWorker::Job job, std::function<void()> dropped);
  // The running job's hold of the main window: taken when it starts, ended when its bar is full
  // or the tool closes.
  void HoldMainUi();
  void FreeMainUi();

  link::GaugeLink& link_;
  common::MessageSink& messages_;
  common::ScanPause& scan_;
  common::MainUiLock& main_ui_;
  const common::ProductConstants constants_;
  common::Observers<FirmwareJob> changes_;

  mutable std::mutex mutex_;
  LoadedImageView view_;
  std::shared_ptr<const common::Bytes> image_;
  std::optional<FirmwareJob> running_;
  bool closing_ = false;
  bool closed_ = false;
  common::MainUiHold job_hold_;

  std::unique_ptr<UpdateJob> update_;
  std::unique_ptr<ExportJob> export_;
  common::JobWorker worker_;  // last: it stops before the jobs it runs go away
};

}  // namespace cw::firmware
