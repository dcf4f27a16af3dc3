#pragma once

#include <mutex>
#include <utility>
#include <vector>

namespace cw::common {

// Which progress display a long task drives: the main window's task progress (scan, data
// flash) or one of the calibration page's two bars.
enum class TaskKind { kSbsScan, kDataFlash, kOffsetCalibration, kCalibration };

// Receives TaskProgressMessage reports: `done` steps of `total`. A report with done 0 starts
// the bar, done == total completes it. Called on the worker's thread; the front end marshals.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void TaskProgress(TaskKind kind, int total, int done) = 0;
};

class NullProgressSink final : public ProgressSink {
 public:
  void TaskProgress(TaskKind, int, int) override {}
};

struct ProgressReport {
  int total = 0;
  int done = 0;
  bool operator==(const ProgressReport&) const = default;
};

// Keeps every report in order; tests assert on those of one kind. Thread-safe.
class RecordingProgressSink final : public ProgressSink {
 public:
  void TaskProgress(TaskKind kind, int total, int done) override;
  std::vector<ProgressReport> Reports(TaskKind kind) const;
  // The reports of `kind`; every report recorded so far is forgotten.
  std::vector<ProgressReport> Take(TaskKind kind);
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<TaskKind, ProgressReport>> reports_;
};

}  // namespace cw::common
