#include "firmware/job_run.h"

#include "firmware/messages.h"

namespace cw::firmware {
namespace {

// A failed or stopped run with the error's words as its note.
JobRun Ended(const common::Error& error, std::string_view failure_headline) {
  if (error.kind == common::ErrorKind::kStopped) {
    return {JobRun::End::kAbandoned, {}, {error.message}};
  }
  return {JobRun::End::kFailure, failure_headline, {error.message}};
}

}  // namespace

JobRun UpdateRun(const common::Expected<UpdateDone>& updated) {
  // The status text says why an update failed; the note says what state the pack is in now.
  if (!updated) return Ended(updated.error(), {});
  JobRun run{JobRun::End::kSuccess, messages::kUpdateSuccess, {}};
  if (!updated->note.empty()) run.notes.push_back(updated->note);
  return run;
}

JobRun ExportRun(const common::Expected<void>& exported) {
  if (!exported) return Ended(exported.error(), messages::kExportFail);
  return {JobRun::End::kSuccess, messages::kExportSuccess, {}};
}

common::Outcome ShowJobEnd(const JobRun& run, bool gauge_changed, common::MessageSink& messages) {
  common::OutcomeBuilder outcome(messages);
  if (gauge_changed) outcome.GaugeChanged();
  if (!run.headline.empty()) outcome.Show(run.headline);
  const bool success = run.end == JobRun::End::kSuccess;
  for (const std::string& note : run.notes) {
    outcome.Show(note, success ? common::MessageIcon::kInformation : common::MessageIcon::kError);
  }
  return success ? outcome.Done() : outcome.Failed();
}

}  // namespace cw::firmware
