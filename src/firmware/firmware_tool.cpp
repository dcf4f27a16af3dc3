#include "firmware/firmware_tool.h"

#include "common/sha256.h"
#include "firmware/export_job.h"
#include "firmware/image_check.h"
#include "firmware/update_job.h"

namespace cw::firmware {
namespace {

// Closing gives a job that just ended a moment to finish its last report.
constexpr common::Millis kCloseSettle{50};

}  // namespace

FirmwareTool::FirmwareTool(link::GaugeLink& link, common::MessageSink& messages,
                           common::ScanPause& scan, common::MainUiLock& main_ui,
                           const common::ProductConstants& constants)
    : link_(link),
      messages_(messages),
      scan_(scan),
      main_ui_(main_ui),
      constants_(constants),
      update_(std::make_unique<UpdateJob>(*this)),
      export_(std::make_unique<ExportJob>(*this)) {
  scan_.PauseScan();
}

FirmwareTool::~FirmwareTool() { Close(); }

common::Outcome FirmwareTool::Load(const std::filesystem::path& path) {
  // Declared before the lock: its messages are shown after the lock is released, so a modal
  // box never holds up a job's progress report. So in every operation of the tool and its jobs.
  common::OutcomeBuilder outcome(messages_);
  auto bytes = ReadUpdateImage(path, constants_.record_mask, outcome);
  const std::string sha256 =
      bytes ? common::Sha256Hex(common::ByteView(*bytes)).value_or("") : std::string();
  {
    std::lock_guard lock(mutex_);
    if (bytes) {
      image_ = std::make_shared<const common::Bytes>(std::move(*bytes));
      view_ = {path.string(), true, image_->size(), sha256};
    } else {
      image_.reset();
      view_ = {};
    }
  }
  changes_.Notify(FirmwareJob::kUpdate);
  return bytes ? outcome.Done() : outcome.Refused();
}

LoadedImageView FirmwareTool::View() const {
  std::lock_guard lock(mutex_);
  return view_;
}

void FirmwareTool::RequestClose() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  worker_.RequestStop();
}

void FirmwareTool::Close() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
  }
  RequestClose();
  worker_.WaitUntilIdle();
  scan_.ResumeScan();
  FreeMainUi();
  link_.clock().SleepFor(kCloseSettle);
}

void FirmwareTool::HoldMainUi() {
  std::lock_guard lock(mutex_);
  if (!job_hold_.held()) job_hold_ = common::MainUiHold(main_ui_);
}

void FirmwareTool::FreeMainUi() {
  std::lock_guard lock(mutex_);
  job_hold_.Release();
}

bool FirmwareTool::Busy(FirmwareJob job) const {
  std::lock_guard lock(mutex_);
  return closing_ || running_ == job;
}

FirmwareTool::Claim FirmwareTool::TryClaim(FirmwareJob job) {
  std::lock_guard lock(mutex_);
  if (closing_ || running_ == job) return Claim::kIgnored;
  if (running_) return Claim::kOtherRunning;
  running_ = job;
  return Claim::kGranted;
}

void FirmwareTool::Release(FirmwareJob job) {
  std::lock_guard lock(mutex_);
  if (running_ == job) running_.reset();
}

std::shared_ptr<const common::Bytes> FirmwareTool::image() const {
  std::lock_guard lock(mutex_);
  return image_;
}

void FirmwareTool::Post(common::JobWorker::Job job, std::function<void()> dropped) {
  {
    // Under the lock, so that a close that starts meanwhile either finds the job queued (and
    // drops it) or keeps it from being queued.
    std::lock_guard lock(mutex_);
    if (!closing_) {
      worker_.Post(std::move(job), [dropped](common::JobEnd end) {
        if (end == common::JobEnd::kDropped) dropped();
      });
      return;
    }
  }
  dropped();
}

}  // namespace cw::firmware
