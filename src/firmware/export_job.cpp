#include "firmware/export_job.h"

#include "firmware/messages.h"

namespace cw::firmware {
namespace {

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
  const std::filesystem::path path = view.path;
  if (const auto checked = CheckExport(link_, path); !checked) {
    Unclaim();
    // A place that takes no file is the user's to change; a sealed or silent gauge says no.
    const common::ErrorKind kind = checked.error().kind;
    outcome.Show(checked.error().message, kind == common::ErrorKind::kFile
                                              ? common::MessageIcon::kError
                                              : common::MessageIcon::kInformation);
    return outcome.Finish(kind == common::ErrorKind::kGaugeNotResponding
                              ? common::Verdict::kFailed
                              : common::Verdict::kRefused);
  }
  Begin([this, path](std::stop_token stop) { Run(stop, path); },
        {{kPageStep, kExportPages, kExpectedPage}, {kWriteStep, 1, kExpectedWrite}});
  return outcome.Done();
}

void ExportJob::Run(std::stop_token stop, const std::filesystem::path& path) {
  const auto exported =
      ExportGauge(link_, tool_.constants_, path, stop, [this](int pages) { Progress(pages); });
  End(ExportRun(exported), false);
}

void ExportJob::Progress(int pages) {
  StepsDone(pages);
  ToolJob::Progress(pages, kExportPages, [](ExportView&) {});
}

}  // namespace cw::firmware
