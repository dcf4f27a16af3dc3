#include "common/progress_sink.h"

namespace cw::common {

void RecordingProgressSink::TaskProgress(TaskKind kind, int total, int done) {
  std::lock_guard lock(mutex_);
  reports_.push_back({kind, {total, done}});
}

std::vector<ProgressReport> RecordingProgressSink::Reports(TaskKind kind) const {
  std::lock_guard lock(mutex_);
  std::vector<ProgressReport> of_kind;
  for (const auto& [report_kind, report] : reports_) {
    if (report_kind == kind) of_kind.push_back(report);
  }
  return of_kind;
}

std::vector<ProgressReport> RecordingProgressSink::Take(TaskKind kind) {
  std::vector<ProgressReport> of_kind = Reports(kind);
  Clear();
  return of_kind;
}

void RecordingProgressSink::Clear() {
  std::lock_guard lock(mutex_);
  reports_.clear();
}

}  // namespace cw::common
