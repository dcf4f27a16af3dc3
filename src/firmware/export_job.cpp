#include "firmware/export_job.h"

#include <fmt/format.h>

#include <memory>
#include <vector>

#include "common/file_output.h"
#include "firmware/firmware_image.h"
#include "firmware/messages.h"

namespace cw::firmware {
namespace {

// Operation Status bit 8: the gauge is sealed.
constexpr std::uint16_t kSealedBit = 0x0100;

}  // namespace

ExportJob::ExportJob(FirmwareTool& tool) : tool_(tool), link_(tool.link_) {}

void ExportJob::Set(const std::filesystem::path& path) {
  {
    std::lock_guard lock(mutex_);
    view_.path = path.string();
    view_.path_set = !path.empty();
  }
  tool_.changes_.Notify(FirmwareChange::kExport);
}

common::Outcome ExportJob::Export() {
  common::OutcomeBuilder outcome(tool_.messages_);
  if (tool_.Busy(FirmwareJob::kExport)) return outcome.Refused();
  const ExportView view = View();
  if (!view.path_set) {
    outcome.Show(messages::kPleaseSetPath);
    return outcome.Refused();
  }
  switch (tool_.TryClaim(FirmwareJob::kExport)) {
    case FirmwareTool::Claim::kGranted:
      break;
    case FirmwareTool::Claim::kOtherRunning:
      outcome.Show(messages::kUpdateRunning);
      return outcome.Refused();
    case FirmwareTool::Claim::kIgnored:
      return outcome.Refused();
  }
  // Held from here, so that no update starts while the seal check is on the bus.
  const auto refuse = [&](std::string_view text, common::MessageIcon icon, common::Verdict end) {
    tool_.Release(FirmwareJob::kExport);
    outcome.Show(text, common::kDefaultCaption, icon);
    return outcome.Finish(end);
  };
  // Turned down before 2,080 pages are read for a place that cannot take them.
  const std::filesystem::path path = view.path;
  if (const auto target = common::CheckOutputTarget(path); !target) {
    return refuse(common::DescribeFileError(target.error()), common::MessageIcon::kError,
                  common::Verdict::kRefused);
  }
  const auto status = link_.ReadOperationStatus();
  if (!status) {
    return refuse(messages::kCommunicationError, common::MessageIcon::kInformation,
                  common::Verdict::kFailed);
  }
  if (*status & kSealedBit) {
    return refuse(messages::kSealedExport, common::MessageIcon::kInformation,
                  common::Verdict::kRefused);
  }
  {
    std::lock_guard lock(mutex_);
    view_.bar_visible = true;
    view_.bar = 0;
    view_.busy = true;
    view_.outcome.reset();
  }
  tool_.main_ui_.LockMainUi();
  tool_.changes_.Notify(FirmwareChange::kExport);
  tool_.Post([this, path](std::stop_token stop) { Run(stop, path); }, [this] { Abandoned(); });
  return outcome.Done();
}

ExportView ExportJob::View() const {
  std::lock_guard lock(mutex_);
  return view_;
}

void ExportJob::Run(std::stop_token stop, const std::filesystem::path& path) {
  const JobRun run = RunExport(stop, path);
  if (run.end == JobRun::End::kAbandoned) {
    Abandoned();
    return;
  }
  const bool success = run.end == JobRun::End::kSuccess;
  const common::Outcome result =
      tool_.Report(run, success ? messages::kExportSuccess : messages::kExportFail, false);
  {
    std::lock_guard lock(mutex_);
    view_.busy = false;
    view_.outcome = result;
  }
  tool_.Release(FirmwareJob::kExport);
  tool_.changes_.Notify(FirmwareChange::kExport);
}

void ExportJob::Abandoned() {
  {
    std::lock_guard lock(mutex_);
    view_.busy = false;
  }
  tool_.Release(FirmwareJob::kExport);
}

JobRun ExportJob::RunExport(std::stop_token stop, const std::filesystem::path& path) {
  std::vector<std::uint8_t> data(kDataPages * kRecordSize);
  auto code = std::make_unique<CodeImage>();
  for (int page = 0; page < kExportPages; ++page) {
    if (stop.stop_requested()) return {JobRun::End::kAbandoned};
    const bool is_data = page < kDataPages;
    const auto selector = static_cast<std::uint16_t>(
        is_data ? kFirstDataSelector + page : kFirstCodeSelector + (page - kDataPages));
    const auto block = link_.ReadFlashBlock(selector, false);
    if (!block) {
      Progress(kExportPages);
      return {JobRun::End::kFailure,
              {fmt::format(fmt::runtime(messages::kExportReadFailed), page + 1, kExportPages)}};
    }
    std::uint8_t* to =
        is_data ? data.data() + static_cast<std::size_t>(page) * kRecordSize
                : code->data() + static_cast<std::size_t>(page - kDataPages) * kRecordSize;
    std::copy(block->begin(), block->end(), to);
    Progress(page + 1);
  }
  const std::uint8_t read_back_mask = tool_.constants_.read_back_mask;
  UnhideDataFlash(data, read_back_mask);
  UnhideCodeFlash(std::span(code->data(), kStreamedCodeSize), read_back_mask);
  (*code)[kCopiedCodeAddress] = 0;
  (*code)[kCopiedCodeAddress + 1] = 0;
  DataAreaImage area{};
  std::copy_n(data.begin(), area.size(), area.begin());
  const common::Bytes image = BuildFirmwareImage(*code, area, tool_.constants_);
  const auto written = common::WriteFileAtomically(path, common::ByteView(image));
  Progress(kExportPages);
  if (!written) return {JobRun::End::kFailure, {common::DescribeFileError(written.error())}};
  return {JobRun::End::kSuccess};
}

void ExportJob::Progress(int pages) {
  bool unlock = false;
  {
    std::lock_guard lock(mutex_);
    view_.bar = pages * 100 / kExportPages;
    unlock = view_.bar == 100;
  }
  if (unlock) tool_.main_ui_.UnlockMainUi();
  tool_.changes_.Notify(FirmwareChange::kExport);
}

}  // namespace cw::firmware
