#include "firmware/firmware_tool.h"

#include "common/file_error.h"
#include "firmware/export_job.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/image_check.h"
#include "firmware/messages.h"
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
  auto bytes = ReadImageFile(path);
  if (!bytes) {
    common::OutcomeBuilder outcome(messages_);
    {
      std::lock_guard lock(mutex_);
      image_.reset();
      view_ = {};
    }
    changes_.Notify(FirmwareJob::kUpdate);
    outcome.Show(messages::kBinFileError);
    outcome.Show(common::DescribeFileError(bytes.error()), common::kDefaultCaption,
                 common::MessageIcon::kError);
    return outcome.Refused();
  }
  return LoadImage(std::move(*bytes), path.string());
}

common::Outcome FirmwareTool::LoadImage(common::Bytes bytes, const std::string& name) {
  // Declared before the lock: its messages are shown after the lock is released, so a modal
  // box never holds up a job's progress report. So in every operation of the tool and its jobs.
  common::OutcomeBuilder outcome(messages_);
  std::optional<std::string> refusal;
  if (CheckUpdateImageSize(bytes.size())) {
    refusal = "";
  } else {
    refusal = CheckImageRecords(bytes, constants_.record_mask);
  }
  {
    std::lock_guard lock(mutex_);
    if (!refusal) {
      image_ = std::make_shared<const common::Bytes>(std::move(bytes));
      view_ = {name, true};
    } else {
      image_.reset();
      view_ = {};
    }
  }
  changes_.Notify(FirmwareJob::kUpdate);
  if (refusal) {
    outcome.Show(messages::kBinFileError);
    if (!refusal->empty()) {
      outcome.Show(*refusal, common::kDefaultCaption, common::MessageIcon::kError);
    }
    return outcome.Refused();
  }
  return outcome.Done();
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
  main_ui_.UnlockMainUi();
  link_.clock().SleepFor(kCloseSettle);
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

common::Outcome FirmwareTool::Report(const JobRun& run, std::string_view headline,
                                     bool gauge_changed) {
  // The job counts as running until its messages have been seen: the builder shows them when
  // it goes, before this returns.
  common::OutcomeBuilder outcome(messages_);
  if (gauge_changed) outcome.GaugeChanged();
  if (!headline.empty()) outcome.Show(headline);
  const bool success = run.end == JobRun::End::kSuccess;
  for (const std::string& note : run.notes) {
    outcome.Show(note, common::kDefaultCaption,
                 success ? common::MessageIcon::kInformation : common::MessageIcon::kError);
  }
  return success ? outcome.Done() : outcome.Failed();
}

}  // namespace cw::firmware
