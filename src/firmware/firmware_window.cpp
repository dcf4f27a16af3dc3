#include "firmware/firmware_window.h"

#include <fmt/format.h>

#include <vector>

#include "firmware/file_io.h"
#include "firmware/firmware_image.h"
#include "firmware/messages.h"
#include "firmware/read_back.h"

namespace cw::firmware {
namespace {

// Operation Status bit 8: the gauge is sealed.
constexpr std::uint16_t kSealedBit = 0x0100;
constexpr bool kPecOn = true;
// Closing gives a job that just ended a moment to finish its last report.
constexpr common::Millis kCloseSettle{50};

}  // namespace

FirmwareWindow::FirmwareWindow(link::GaugeLink& link, common::MessageSink& messages,
                               FirmwareWindowHost& host, const common::ProductConstants& constants)
    : link_(link), messages_(messages), host_(host), constants_(constants) {
  host_.SuspendScan();
  update_worker_ = std::jthread([this](std::stop_token stop) { UpdateWorker(stop); });
  export_worker_ = std::jthread([this](std::stop_token stop) { ExportWorker(stop); });
}

FirmwareWindow::~FirmwareWindow() { Close(); }

bool FirmwareWindow::Load(const std::filesystem::path& path) {
  const auto bytes = ReadWholeFile(path);
  const auto refusal =
      bytes ? CheckUpdateImageSize(bytes->size()) : std::optional(messages::kBinFileError);
  {
    // The running update sends its own copy; loading another file only affects the next Start.
    std::lock_guard lock(mutex_);
    if (!refusal) {
      image_ = std::move(*bytes);
      view_.bin_path = path.string();
      view_.loaded = true;
      return true;
    }
    view_.bin_path.clear();
    view_.loaded = false;
    image_.clear();
  }
  // Shown without the lock: a modal box must not hold up a worker's progress report.
  messages_.Show(*refusal);
  return false;
}

void FirmwareWindow::Start() {
  {
    std::lock_guard lock(mutex_);
    if (closed_ || view_.update_busy) return;
    if (!view_.loaded) {
      messages_.Show(messages::kPleaseLoadBin);
      return;
    }
    if (view_.export_busy) {
      messages_.Show(messages::kExportRunning);
      return;
    }
    view_.update_bar_visible = true;
    view_.update_bar = 0;
    view_.update_busy = true;
    view_.update_failed = false;
    update_requested_ = true;
  }
  host_.LockMainUi();
  host_.UpdateProgressChanged();
  wake_.notify_all();
}

void FirmwareWindow::Set(const std::filesystem::path& path) {
  std::lock_guard lock(mutex_);
  view_.export_path = path.string();
  view_.export_path_set = !path.empty();
}

void FirmwareWindow::Export() {
  {
    std::lock_guard lock(mutex_);
    if (closed_ || view_.export_busy) return;
    if (!view_.export_path_set) {
      messages_.Show(messages::kPleaseSetPath);
      return;
    }
    if (view_.update_busy) {
      messages_.Show(messages::kUpdateRunning);
      return;
    }
  }
  const auto status = link_.ReadOperationStatus();
  if (!status) {
    messages_.Show(messages::kCommunicationError);
    return;
  }
  if (*status & kSealedBit) {
    messages_.Show(messages::kSealedExport);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (closed_ || view_.export_busy || view_.update_busy) return;
    view_.export_bar_visible = true;
    view_.export_bar = 0;
    view_.export_busy = true;
    view_.export_succeeded = false;
    export_requested_ = true;
  }
  host_.LockMainUi();
  host_.ExportProgressChanged();
  wake_.notify_all();
}

void FirmwareWindow::Close() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
  }
  host_.ResumeScan();
  host_.UnlockMainUi();
  update_worker_.request_stop();
  export_worker_.request_stop();
  wake_.notify_all();
  if (update_worker_.joinable()) update_worker_.join();
  if (export_worker_.joinable()) export_worker_.join();
  link_.clock().SleepFor(kCloseSettle);
  std::lock_guard lock(mutex_);
  view_.update_busy = false;
  view_.export_busy = false;
  idle_.notify_all();
}

FirmwareWindowView FirmwareWindow::View() const {
  std::lock_guard lock(mutex_);
  return view_;
}

void FirmwareWindow::WaitUntilIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !view_.update_busy && !view_.export_busy; });
}

std::string FirmwareWindow::StatusText(const link::IspResult& result) {
  switch (result.code) {
    case link::kIspBadStatus:
      return fmt::format("{}{:04X}", messages::kStatusErrorPrefix, result.status);
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
    const Outcome outcome = RunUpdate(stop, image);
    if (outcome == Outcome::kAbandoned) return;
    if (outcome == Outcome::kSuccess) messages_.Show(messages::kUpdateSuccess);
    std::lock_guard lock(mutex_);
    view_.update_busy = false;
    idle_.notify_all();
  }
}

void FirmwareWindow::FailUpdate(const std::string& status) {
  {
    std::lock_guard lock(mutex_);
    view_.status_text = status;
    view_.update_failed = true;
  }
  UpdateProgress(total_blocks_);
}

FirmwareWindow::Outcome FirmwareWindow::RunUpdate(std::stop_token stop,
                                                  const common::Bytes& image) {
  total_blocks_ = static_cast<int>(image.size() / kRecordSize);
  const link::IspResult entered = link_.IspStepPair(kPecOn);
  if (entered.code != link::kIspSuccess) {
    FailUpdate(StatusText(entered));
    return Outcome::kFailure;
  }
  {
    std::lock_guard lock(mutex_);
    view_.status_text.clear();
  }
  UpdateProgress(0);
  for (int k = 0; k < total_blocks_; ++k) {
    if (stop.stop_requested()) return Outcome::kAbandoned;
    const common::ByteView record(image.data() + static_cast<std::size_t>(k) * kRecordSize,
                                  kRecordSize);
    const link::IspResult written = link_.IspWriteData(record, kPecOn);
    if (written.code != link::kIspSuccess) {
      FailUpdate(StatusText(written));
      return Outcome::kFailure;
    }
    UpdateProgress(k + 1);
  }
  // Leaving update mode restarts the firmware; a gauge that stays in the loader is seen on the
  // next Start anyway, so the outcome of the word is not looked at.
  link_.IspCommand(kPecOn);
  {
    std::lock_guard lock(mutex_);
    view_.counter_text.clear();
  }
  UpdateProgress(total_blocks_);
  return Outcome::kSuccess;
}

void FirmwareWindow::UpdateProgress(int sent) {
  bool unlock = false;
  {
    std::lock_guard lock(mutex_);
    if (!view_.update_failed) view_.counter_text = fmt::format("{}/{}", sent, total_blocks_);
    view_.update_bar = total_blocks_ > 0 ? sent * 100 / total_blocks_ : 100;
    unlock = view_.update_bar == 100;
  }
  if (unlock) host_.UnlockMainUi();
  host_.UpdateProgressChanged();
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
    const Outcome outcome = RunExport(stop, path);
    if (outcome == Outcome::kAbandoned) return;
    {
      std::lock_guard lock(mutex_);
      view_.export_succeeded = outcome == Outcome::kSuccess;
      view_.export_busy = false;
    }
    messages_.Show(outcome == Outcome::kSuccess ? messages::kExportSuccess : messages::kExportFail);
    std::lock_guard lock(mutex_);
    idle_.notify_all();
  }
}

FirmwareWindow::Outcome FirmwareWindow::RunExport(std::stop_token stop,
                                                  const std::filesystem::path& path) {
  std::vector<std::uint8_t> data(kDataPages * kRecordSize);
  auto code = std::make_unique<CodeImage>();
  for (int page = 0; page < kExportPages; ++page) {
    if (stop.stop_requested()) return Outcome::kAbandoned;
    const bool is_data = page < kDataPages;
    const auto selector = static_cast<std::uint16_t>(
        is_data ? kFirstDataSelector + page : kFirstCodeSelector + (page - kDataPages));
    const auto block = link_.ReadFlashBlock(selector, false);
    if (!block) {
      ExportProgress(kExportPages);
      return Outcome::kFailure;
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
  const bool written = WriteWholeFile(path, common::ByteView(image));
  ExportProgress(kExportPages);
  return written ? Outcome::kSuccess : Outcome::kFailure;
}

void FirmwareWindow::ExportProgress(int pages) {
  bool unlock = false;
  {
    std::lock_guard lock(mutex_);
    view_.export_bar = pages * 100 / kExportPages;
    unlock = view_.export_bar == 100;
  }
  if (unlock) host_.UnlockMainUi();
  host_.ExportProgressChanged();
}

}  // namespace cw::firmware
