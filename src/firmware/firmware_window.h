#pragma once

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "common/bytes.h"
#include "common/front_end.h"
#include "common/product_constants.h"
#include "firmware/image_record.h"
#include "link/gauge_link.h"

// The firmware window's rules without the drawing: loading an image, the update and export
// jobs on their own workers, the two progress bars and the texts around them.
namespace cw::firmware {

inline constexpr int kDataPages = 64;
inline constexpr int kCodePages = 2016;
inline constexpr int kExportPages = kDataPages + kCodePages;  // 2,080
inline constexpr std::uint16_t kFirstDataSelector = 0x40;
inline constexpr std::uint16_t kFirstCodeSelector = 0xF800;
inline constexpr int kUpdateRestarts = 2;

// What changed in the window: the update's bar, counter or status text, or the export's bar.
// Announced on the worker's thread.
enum class FirmwareChange { kUpdate, kExport };

// What the window shows.
struct FirmwareWindowView {
  std::string bin_path;  // "Bin File:" edit; empty when nothing is loaded
  bool loaded = false;
  bool update_busy = false;
  bool update_failed = false;
  bool update_bar_visible = false;
  int update_bar = 0;        // 0-100
  std::string status_text;   // status label
  std::string counter_text;  // "sent/total"
  std::string export_path;   // "Bin Path:" edit
  bool export_path_set = false;
  bool export_busy = false;
  bool export_bar_visible = false;
  int export_bar = 0;  // 0-100
  // How the last job of each kind ended; nullopt until one has.
  std::optional<common::Outcome> update_outcome;
  std::optional<common::Outcome> export_outcome;
};

// Update and export never run at once: both need the boot loader or its read-out path to
// themselves, and neither takes the bus lock. The second job is refused with a message.
class FirmwareWindow {
 public:
  // Opening: both workers start parked and the scan is paused until Close.
  FirmwareWindow(link::GaugeLink& link, common::MessageSink& messages, common::ScanPause& scan,
                 common::MainUiLock& main_ui, const common::ProductConstants& constants);
  // Closes when still open.
  ~FirmwareWindow();
  FirmwareWindow(const FirmwareWindow&) = delete;
  FirmwareWindow& operator=(const FirmwareWindow&) = delete;

  // Load with the file the user chose; refused with the message when it is no image: a file of
  // the wrong size, or one with a damaged record (the boot loader would stop at it and leave
  // the pack without firmware).
  common::Outcome Load(const std::filesystem::path& path);
  // Start and Export hand the job to its worker: done means it started (its own outcome arrives
  // in the view when it ends); refused comes with the message that says why not.
  //
  // An update restarts from the handshake after a fault that spoilt or lost a transfer, at most
  // kUpdateRestarts times, saying so in the status text. It is done only once the gauge answers
  // from its firmware after leaving update mode and holds the last record; a failure says what
  // state the pack is left in.
  // An export is done only once the whole image is on the disk.
  common::Outcome Start();
  void Set(const std::filesystem::path& path);
  common::Outcome Export();
  // Abandons a running job at its next record or page (never inside a bus transaction),
  // resumes scanning and unlocks the main window. Called on the window's thread, never from a
  // change listener (it waits for the workers).
  void Close();

  FirmwareWindowView View() const;
  // Blocks until neither job runs and the last one has told its listeners how it ended; for
  // front ends without an event loop.
  void WaitUntilIdle();

  common::Observers<FirmwareChange>& changes() { return changes_; }

 private:
  enum class JobEnd { kSuccess, kFailure, kAbandoned };
  // How a job ended and what the user is told beyond its Part-given message.
  struct JobResult {
    JobEnd end = JobEnd::kFailure;
    std::vector<std::string> notes;
  };
  // One pass of an update: handshake and records. Nothing when the window closed meanwhile.
  struct Pass {
    link::IspResult result;
    int sent = 0;
  };

  void UpdateWorker(std::stop_token stop);
  void ExportWorker(std::stop_token stop);
  JobResult RunUpdate(std::stop_token stop, const common::Bytes& image);
  std::optional<Pass> SendImage(std::stop_token stop, const common::Bytes& image,
                                const std::string& status_after_handshake);
  JobResult RunExport(std::stop_token stop, const std::filesystem::path& path);
  // The two progress messages of the workers.
  void UpdateProgress(int sent);
  void ExportProgress(int pages);
  // The status text a failed primitive leaves.
  static std::string StatusText(const link::IspResult& result);
  void SetStatusText(const std::string& status);
  void FailUpdate(const std::string& status);
  // Whether sending the image again may go through: the fault spoilt or lost one transfer and
  // the adapter is still there.
  bool Transient(const link::IspResult& result);
  // Whether the gauge answers a word read, which only its firmware does.
  bool FirmwareAnswers();
  // A lost record shows as a sequence error on the next one, except the last: whether the bytes
  // of the last record, when it is a data record, read back from the gauge as the image has
  // them.
  bool LastRecordReadsBack(const common::Bytes& image);
  // A job has told its listeners how it ended: WaitUntilIdle may return.
  void JobEnded();

  link::GaugeLink& link_;
  common::MessageSink& messages_;
  common::ScanPause& scan_;
  common::MainUiLock& main_ui_;
  const common::ProductConstants constants_;
  common::Observers<FirmwareChange> changes_;

  mutable std::mutex mutex_;
  std::condition_variable_any wake_;
  std::condition_variable idle_;
  FirmwareWindowView view_;
  common::Bytes image_;
  bool update_requested_ = false;
  bool export_requested_ = false;
  int total_blocks_ = 0;
  int running_jobs_ = 0;  // from Start or Export until the job's last notification
  bool closed_ = false;

  // Declared last: they stop and join before the state they use goes away.
  std::jthread update_worker_;
  std::jthread export_worker_;
};

}  // namespace cw::firmware
