#include "firmware/firmware_window.h"

#include <fmt/format.h>

#include <vector>

#include "common/file_output.h"
#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/image_check.h"
#include "firmware/messages.h"
#include "firmware/read_back.h"
#include "firmware/update_status.h"

namespace cw::firmware {
namespace {

// Operation Status bit 8: the gauge is sealed.
constexpr std::uint16_t kSealedBit = 0x0100;
constexpr bool kPecOn = true;
using common::MessageIcon;
// Closing gives a job that just ended a moment to finish its last report.
constexpr common::Millis kCloseSettle{50};
// Voltage: a word every firmware answers and no boot loader does.
constexpr std::uint8_t kFirmwareProbeCommand = 0x09;
// The gauge restarts its firmware after leaving update mode before it answers again.
constexpr common::Millis kFirmwareStart{500};

}  // namespace

FirmwareWindow::FirmwareWindow(link::GaugeLink& link, common::MessageSink& messages,
                               common::ScanPause& scan, common::MainUiLock& main_ui,
                               const common::ProductConstants& constants)
    : link_(link), messages_(messages), scan_(scan), main_ui_(main_ui), constants_(constants) {
  scan_.PauseScan();
  update_worker_ = std::jthread([this](std::stop_token stop) { UpdateWorker(stop); });
  export_worker_ = std::jthread([this](std::stop_token stop) { ExportWorker(stop); });
}

FirmwareWindow::~FirmwareWindow() { Close(); }

common::Outcome FirmwareWindow::Load(const std::filesystem::path& path) {
  // Declared before the lock: its messages are shown after the lock is released, so a modal
  // box never holds up a worker's progress report. So in every operation below.
  common::OutcomeBuilder outcome(messages_);
  auto bytes = ReadImageFile(path);
  std::optional<std::string> refusal;
  if (!bytes) {
    refusal = common::DescribeFileError(bytes.error());
  } else if (CheckUpdateImageSize(bytes->size())) {
    refusal = "";
  } else {
    refusal = CheckImageRecords(*bytes, constants_.record_mask);
  }
  {
    // The running update sends its own copy; loading another file only affects the next Start.
    std::lock_guard lock(mutex_);
    if (!refusal) {
      image_ = std::move(*bytes);
      view_.bin_path = path.string();
      view_.loaded = true;
    } else {
      view_.bin_path.clear();
      view_.loaded = false;
      image_.clear();
    }
  }
  changes_.Notify(FirmwareChange::kUpdate);
  if (refusal) {
    outcome.Show(messages::kBinFileError);
    if (!refusal->empty()) outcome.Show(*refusal, common::kDefaultCaption, MessageIcon::kError);
    return outcome.Refused();
  }
  return outcome.Done();
}

common::Outcome FirmwareWindow::Start() {
  common::OutcomeBuilder outcome(messages_);
  {
    std::lock_guard lock(mutex_);
    // A second press while the update runs is ignored, not refused.
    if (closed_ || view_.update_busy) return outcome.Refused();
    if (!view_.loaded) {
      outcome.Show(messages::kPleaseLoadBin);
      return outcome.Refused();
    }
    if (view_.export_busy) {
      outcome.Show(messages::kExportRunning);
      return outcome.Refused();
    }
    view_.update_bar_visible = true;
    view_.update_bar = 0;
    view_.update_busy = true;
    ++running_jobs_;
    view_.update_failed = false;
    view_.update_outcome.reset();
    update_requested_ = true;
  }
  main_ui_.LockMainUi();
  changes_.Notify(FirmwareChange::kUpdate);
  wake_.notify_all();
  return outcome.Done();
}

void FirmwareWindow::Set(const std::filesystem::path& path) {
  {
    std::lock_guard lock(mutex_);
    view_.export_path = path.string();
    view_.export_path_set = !path.empty();
  }
  changes_.Notify(FirmwareChange::kExport);
}

common::Outcome FirmwareWindow::Export() {
  common::OutcomeBuilder outcome(messages_);
  {
    std::lock_guard lock(mutex_);
    if (closed_ || view_.export_busy) return outcome.Refused();
    if (!view_.export_path_set) {
      outcome.Show(messages::kPleaseSetPath);
      return outcome.Refused();
    }
    if (view_.update_busy) {
      outcome.Show(messages::kUpdateRunning);
      return outcome.Refused();
    }
  }
  // Turned down before 2,080 pages are read for a place that cannot take them.
  if (const auto target = common::CheckOutputTarget(View().export_path); !target) {
    outcome.Show(common::DescribeFileError(target.error()), common::kDefaultCaption,
                 MessageIcon::kError);
    return outcome.Refused();
  }
  const auto status = link_.ReadOperationStatus();
  if (!status) {
    outcome.Show(messages::kCommunicationError);
    return outcome.Failed();
  }
  if (*status & kSealedBit) {
    outcome.Show(messages::kSealedExport);
    return outcome.Refused();
  }
  {
    std::lock_guard lock(mutex_);
    if (closed_ || view_.export_busy || view_.update_busy) return outcome.Refused();
    view_.export_bar_visible = true;
    view_.export_bar = 0;
    view_.export_busy = true;
    ++running_jobs_;
    view_.export_outcome.reset();
    export_requested_ = true;
  }
  main_ui_.LockMainUi();
  changes_.Notify(FirmwareChange::kExport);
  wake_.notify_all();
  return outcome.Done();
}

void FirmwareWindow::Close() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
  }
  scan_.ResumeScan();
  main_ui_.UnlockMainUi();
  update_worker_.request_stop();
  export_worker_.request_stop();
  wake_.notify_all();
  if (update_worker_.joinable()) update_worker_.join();
  if (export_worker_.joinable()) export_worker_.join();
  link_.clock().SleepFor(kCloseSettle);
  std::lock_guard lock(mutex_);
  view_.update_busy = false;
  view_.export_busy = false;
  running_jobs_ = 0;
  idle_.notify_all();
}

void FirmwareWindow::JobEnded() {
  std::lock_guard lock(mutex_);
  --running_jobs_;
  idle_.notify_all();
}

FirmwareWindowView FirmwareWindow::View() const {
  std::lock_guard lock(mutex_);
  return view_;
}

void FirmwareWindow::WaitUntilIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return running_jobs_ == 0; });
}

std::string FirmwareWindow::StatusText(const link::IspResult& result) {
  switch (result.code) {
    case link::kIspBadStatus:
      return StatusErrorText(result.status);
    case link::kIspPecMismatch:
      return std::string(messages::kStatusPecError);
    default:
      return std::string(messages::kStatusUsbError);
  }
}

void FirmwareWindow::UpdateWorker(std::stop_token stop) {
  while (true) {
    common::Bytes image;
    {
      std::unique_lock lock(mutex_);
      if (!wake_.wait(lock, stop, [this] { return update_requested_; })) return;
      update_requested_ = false;
      image = image_;
    }
    const JobResult job = RunUpdate(stop, image);
    if (job.end == JobEnd::kAbandoned) return;
    common::Outcome result;
    {
      // The job counts as running until its messages have been seen (the builder shows them
      // when it goes). The status label says why an update failed; the message says what
      // state the pack is in now.
      common::OutcomeBuilder outcome(messages_);
      outcome.GaugeChanged();
      if (job.end == JobEnd::kSuccess) outcome.Show(messages::kUpdateSuccess);
      for (const std::string& note : job.notes) {
        outcome.Show(note, common::kDefaultCaption,
                     job.end == JobEnd::kSuccess ? MessageIcon::kInformation : MessageIcon::kError);
      }
      result = job.end == JobEnd::kSuccess ? outcome.Done() : outcome.Failed();
    }
    {
      std::lock_guard lock(mutex_);
      view_.update_busy = false;
      view_.update_outcome = result;
    }
    changes_.Notify(FirmwareChange::kUpdate);
    JobEnded();
  }
}

void FirmwareWindow::SetStatusText(const std::string& status) {
  {
    std::lock_guard lock(mutex_);
    view_.status_text = status;
  }
  changes_.Notify(FirmwareChange::kUpdate);
}

void FirmwareWindow::FailUpdate(const std::string& status) {
  {
    std::lock_guard lock(mutex_);
    view_.status_text = status;
    view_.update_failed = true;
  }
  UpdateProgress(total_blocks_);
}

bool FirmwareWindow::Transient(const link::IspResult& result) {
  switch (result.code) {
    case link::kIspPecMismatch:
      return true;
    case link::kIspBadStatus:
      return (result.status & kStatusTransferFaults) != 0;
    case link::kIspAdapterFailure:
      // A refused transfer, unless the adapter itself has gone.
      return link_.EnsureConnected();
    default:
      return false;
  }
}

bool FirmwareWindow::FirmwareAnswers() {
  link_.clock().SleepFor(kFirmwareStart);
  std::uint16_t value = 0;
  return link_.ReadWord(kFirmwareProbeCommand, value);
}

bool FirmwareWindow::LastRecordReadsBack(const common::Bytes& image) {
  if (image.size() < kRecordSize) return true;
  ImageRecord record;
  std::copy(image.end() - kRecordSize, image.end(), record.begin());
  UnscrambleRecord(record, constants_.record_mask);
  if (record[2] != kTypeData) return true;  // only a data record leaves bytes to compare
  const bool code = record[5] == kSpaceCode;
  const std::size_t address = std::size_t{record[3]} << 8 | record[4];
  std::optional<std::size_t> page_read;
  link::FlashBlock page{};
  for (std::size_t i = 0; i < record[6] && i < kMaxDataBytes; ++i) {
    const std::size_t at = address + i;
    // The read-out path does not reach the boot loader's area, nor bytes the stream has the
    // gauge copy from there.
    if (code ? at >= kStreamedCodeSize || at == kCopiedCodeAddress || at == kCopiedCodeAddress + 1
             : at >= kDataPages * kRecordSize) {
      continue;
    }
    const std::size_t page_index = at / kRecordSize;
    if (page_read != page_index) {
      const auto selector =
          static_cast<std::uint16_t>((code ? kFirstCodeSelector : kFirstDataSelector) + page_index);
      const auto block = link_.ReadFlashBlock(selector, false);
      if (!block) return false;
      page = *block;
      page_read = page_index;
    }
    const std::uint8_t stored = page[at % kRecordSize];
    const std::uint8_t value = code ? UnhideCodeFlashByte(stored, at, constants_.read_back_mask)
                                    : UnhideDataFlashByte(stored, constants_.read_back_mask);
    if (value != record[kDataOffset + i]) return false;
  }
  return true;
}

std::optional<FirmwareWindow::Pass> FirmwareWindow::SendImage(
    std::stop_token stop, const common::Bytes& image, const std::string& status_after_handshake) {
  Pass pass;
  pass.result = link_.IspStepPair(kPecOn);
  if (pass.result.code != link::kIspSuccess) return pass;
  {
    std::lock_guard lock(mutex_);
    view_.status_text = status_after_handshake;
  }
  UpdateProgress(0);
  for (int k = 0; k < total_blocks_; ++k) {
    if (stop.stop_requested()) return std::nullopt;
    const common::ByteView record(image.data() + static_cast<std::size_t>(k) * kRecordSize,
                                  kRecordSize);
    pass.result = link_.IspWriteData(record, kPecOn);
    if (pass.result.code != link::kIspSuccess) return pass;
    pass.sent = k + 1;
    UpdateProgress(pass.sent);
  }
  return pass;
}

FirmwareWindow::JobResult FirmwareWindow::RunUpdate(std::stop_token stop,
                                                    const common::Bytes& image) {
  total_blocks_ = static_cast<int>(image.size() / kRecordSize);
  bool erased = false;  // a record went through: the old firmware is gone
  int restarts = 0;
  std::string restart_status;
  while (true) {
    const auto pass = SendImage(stop, image, restart_status);
    if (!pass || stop.stop_requested()) return {JobEnd::kAbandoned};
    erased = erased || pass->sent > 0;
    if (pass->result.code == link::kIspSuccess) break;
    const std::string status = StatusText(pass->result);
    if (restarts == kUpdateRestarts || !Transient(pass->result)) {
      FailUpdate(status);
      if (erased) {
        return {
            JobEnd::kFailure,
            {fmt::format(fmt::runtime(messages::kStatePartlyWritten), pass->sent, total_blocks_)}};
      }
      return {JobEnd::kFailure,
              {std::string(FirmwareAnswers() ? messages::kStateFirmwareIntact
                                             : messages::kStateMayWaitInBootLoader)}};
    }
    ++restarts;
    restart_status = fmt::format(fmt::runtime(messages::kStatusRestart), status, restarts + 1,
                                 kUpdateRestarts + 1);
    SetStatusText(restart_status);
  }
  // Leaving update mode restarts the firmware; the update is only done once it answers.
  link_.IspCommand(kPecOn);
  if (!FirmwareAnswers()) {
    FailUpdate(std::string(messages::kStatusNoFirmware));
    return {JobEnd::kFailure,
            {fmt::format(fmt::runtime(messages::kStateNoFirmwareAnswer), total_blocks_)}};
  }
  if (!LastRecordReadsBack(image)) {
    FailUpdate(std::string(messages::kStatusLastRecord));
    return {JobEnd::kFailure, {std::string(messages::kStateLastRecordNotKept)}};
  }
  {
    std::lock_guard lock(mutex_);
    view_.counter_text.clear();
  }
  UpdateProgress(total_blocks_);
  if (restarts == 0) return {JobEnd::kSuccess};
  return {JobEnd::kSuccess, {fmt::format(fmt::runtime(messages::kUpdateRestarted), restarts)}};
}

void FirmwareWindow::UpdateProgress(int sent) {
  bool unlock = false;
  {
    std::lock_guard lock(mutex_);
    if (!view_.update_failed) view_.counter_text = fmt::format("{}/{}", sent, total_blocks_);
    view_.update_bar = total_blocks_ > 0 ? sent * 100 / total_blocks_ : 100;
    unlock = view_.update_bar == 100;
  }
  if (unlock) main_ui_.UnlockMainUi();
  changes_.Notify(FirmwareChange::kUpdate);
}

void FirmwareWindow::ExportWorker(std::stop_token stop) {
  while (true) {
    std::filesystem::path path;
    {
      std::unique_lock lock(mutex_);
      if (!wake_.wait(lock, stop, [this] { return export_requested_; })) return;
      export_requested_ = false;
      path = view_.export_path;
    }
    const JobResult job = RunExport(stop, path);
    if (job.end == JobEnd::kAbandoned) return;
    common::Outcome result;
    {
      // The job counts as running until its message has been seen.
      common::OutcomeBuilder outcome(messages_);
      const bool ok = job.end == JobEnd::kSuccess;
      outcome.Show(ok ? messages::kExportSuccess : messages::kExportFail);
      for (const std::string& note : job.notes) {
        outcome.Show(note, common::kDefaultCaption, MessageIcon::kError);
      }
      result = ok ? outcome.Done() : outcome.Failed();
    }
    {
      std::lock_guard lock(mutex_);
      view_.export_busy = false;
      view_.export_outcome = result;
    }
    changes_.Notify(FirmwareChange::kExport);
    JobEnded();
  }
}

FirmwareWindow::JobResult FirmwareWindow::RunExport(std::stop_token stop,
                                                    const std::filesystem::path& path) {
  std::vector<std::uint8_t> data(kDataPages * kRecordSize);
  auto code = std::make_unique<CodeImage>();
  for (int page = 0; page < kExportPages; ++page) {
    if (stop.stop_requested()) return {JobEnd::kAbandoned};
    const bool is_data = page < kDataPages;
    const auto selector = static_cast<std::uint16_t>(
        is_data ? kFirstDataSelector + page : kFirstCodeSelector + (page - kDataPages));
    const auto block = link_.ReadFlashBlock(selector, false);
    if (!block) {
      ExportProgress(kExportPages);
      return {JobEnd::kFailure,
              {fmt::format(fmt::runtime(messages::kExportReadFailed), page + 1, kExportPages)}};
    }
    std::uint8_t* to =
        is_data ? data.data() + static_cast<std::size_t>(page) * kRecordSize
                : code->data() + static_cast<std::size_t>(page - kDataPages) * kRecordSize;
    std::copy(block->begin(), block->end(), to);
    ExportProgress(page + 1);
  }
  UnhideDataFlash(data, constants_.read_back_mask);
  UnhideCodeFlash(std::span(code->data(), kStreamedCodeSize), constants_.read_back_mask);
  (*code)[kCopiedCodeAddress] = 0;
  (*code)[kCopiedCodeAddress + 1] = 0;
  DataAreaImage area{};
  std::copy_n(data.begin(), area.size(), area.begin());
  const common::Bytes image = BuildFirmwareImage(*code, area, constants_);
  const auto written = common::WriteFileAtomically(path, common::ByteView(image));
  ExportProgress(kExportPages);
  if (!written) return {JobEnd::kFailure, {common::DescribeFileError(written.error())}};
  return {JobEnd::kSuccess};
}

void FirmwareWindow::ExportProgress(int pages) {
  bool unlock = false;
  {
    std::lock_guard lock(mutex_);
    view_.export_bar = pages * 100 / kExportPages;
    unlock = view_.export_bar == 100;
  }
  if (unlock) main_ui_.UnlockMainUi();
  changes_.Notify(FirmwareChange::kExport);
}

}  // namespace cw::firmware
