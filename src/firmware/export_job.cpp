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

// The steps of an export for its clock: the pages, then making the image and writing it, with
// what each is expected to take before the export has timed it.
enum ExportStep { kPageStep, kWriteStep };
constexpr common::Millis kExpectedPage{10};
constexpr common::Millis kExpectedWrite{200};

}  // namespace

ExportJob::ExportJob(FirmwareTool& tool)
    : ToolJob(tool, FirmwareJob::kExport, messages::kUpdateRunning) {}

void ExportJob::Set(const std::filesystem::path& path) {
  Change([&](ExportView& view) {
    view.path = path.string();
    view.path_set = !path.empty();
  });
  Notify();
}

common::Outcome ExportJob::Export() {
  common::OutcomeBuilder outcome(tool_.messages_);
  if (Ignored()) return outcome.Refused();
  const ExportView view = View();
  if (!view.path_set) {
    outcome.Show(messages::kPleaseSetPath);
    return outcome.Refused();
  }
  if (!Claim(outcome)) return outcome.Refused();
  // Claimed from here, so that no update starts while the seal check is on the bus.
  const auto refuse = [&](std::string_view text, common::MessageIcon icon, common::Verdict end) {
    Unclaim();
    outcome.Show(text, common::kDefaultCaption, icon);
    return outcome.Finish(end);
  };
  const std::filesystem::path path = view.path;
  // Turned down before 2,080 pages are read for a place that cannot take them.
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
  Begin([this, path](std::stop_token stop) { Run(stop, path); },
        std::string(messages::kExportNotStarted),
        {{kPageStep, kExportPages, kExpectedPage}, {kWriteStep, 1, kExpectedWrite}});
  return outcome.Done();
}

void ExportJob::Run(std::stop_token stop, const std::filesystem::path& path) {
  const JobRun run = RunExport(stop, path);
  End(run, run.end == JobRun::End::kSuccess ? messages::kExportSuccess : messages::kExportFail,
      false);
}

JobRun ExportJob::RunExport(std::stop_token stop, const std::filesystem::path& path) {
  std::vector<std::uint8_t> data(kDataPages * kRecordSize);
  auto code = std::make_unique<CodeImage>();
  for (int page = 0; page < kExportPages; ++page) {
    if (stop.stop_requested()) {
      return {JobRun::End::kAbandoned, {fmt::format(messages::kExportStopped, page, kExportPages)}};
    }
    const bool is_data = page < kDataPages;
    const auto selector = static_cast<std::uint16_t>(
        is_data ? kFirstDataSelector + page : kFirstCodeSelector + (page - kDataPages));
    const auto block = link_.ReadFlashBlock(selector, false);
    if (!block) {
      Progress(kExportPages);
      return {JobRun::End::kFailure,
              {fmt::format(messages::kExportReadFailed, page + 1, kExportPages)}};
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
  StepsDone(pages);
  ToolJob::Progress(pages, kExportPages, [](ExportView&) {});
}

}  // namespace cw::firmware
