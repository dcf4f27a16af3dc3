#pragma once

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "common/bytes.h"
#include "common/message_sink.h"
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

// What the front end does for the window. Every call but the scan ones may come from a
// worker's thread and must return before the worker goes on (the old window messages were
// sent, not posted).
class FirmwareWindowHost {
 public:
  virtual ~FirmwareWindowHost() = default;
  // Other gauge traffic stays off the bus from opening to closing.
  virtual void SuspendScan() = 0;
  virtual void ResumeScan() = 0;
  virtual void LockMainUi() = 0;
  virtual void UnlockMainUi() = 0;
  // The update bar, counter or status text changed (update progress).
  virtual void UpdateProgressChanged() = 0;
  // The export bar changed (export progress).
  virtual void ExportProgressChanged() = 0;
};

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
  int export_bar = 0;             // 0-100
  bool export_succeeded = false;  // outcome of the last export
};

// Update and export never run at once: both need the boot loader or its read-out path to
// themselves, and neither takes the bus lock. The second job is refused with a message.
class FirmwareWindow {
 public:
  // Opening: both workers start parked and the scan worker is suspended.
  FirmwareWindow(link::GaugeLink& link, common::MessageSink& messages, FirmwareWindowHost& host,
                 const common::ProductConstants& constants);
  // Closes when still open.
  ~FirmwareWindow();
  FirmwareWindow(const FirmwareWindow&) = delete;
  FirmwareWindow& operator=(const FirmwareWindow&) = delete;

  // Load with the file the user chose; false when it was refused (the message is shown).
  bool Load(const std::filesystem::path& path);
  void Start();
  void Set(const std::filesystem::path& path);
  void Export();
  // Abandons a running job at its next record or page (never inside a bus transaction),
  // resumes scanning and unlocks the main window. Called on the window's thread, never from a
  // host callback (it waits for the workers).
  void Close();

  FirmwareWindowView View() const;
  // Blocks until neither job runs; for front ends without an event loop.
  void WaitUntilIdle();

 private:
  enum class Outcome { kSuccess, kFailure, kAbandoned };

  void UpdateWorker(std::stop_token stop);
  void ExportWorker(std::stop_token stop);
  Outcome RunUpdate(std::stop_token stop, const common::Bytes& image);
  Outcome RunExport(std::stop_token stop, const std::filesystem::path& path);
  // The two progress messages of the workers.
  void UpdateProgress(int sent);
  void ExportProgress(int pages);
  // The status text a failed primitive leaves.
  static std::string StatusText(const link::IspResult& result);
  void FailUpdate(const std::string& status);

  link::GaugeLink& link_;
  common::MessageSink& messages_;
  FirmwareWindowHost& host_;
  const common::ProductConstants constants_;

  mutable std::mutex mutex_;
  std::condition_variable_any wake_;
  std::condition_variable idle_;
  FirmwareWindowView view_;
  common::Bytes image_;
  bool update_requested_ = false;
  bool export_requested_ = false;
  int total_blocks_ = 0;
  bool closed_ = false;

  // Declared last: they stop and join before the state they use goes away.
  std::jthread update_worker_;
  std::jthread export_worker_;
};

}  // namespace cw::firmware
