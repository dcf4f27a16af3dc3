#pragma once

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

}  // namespace cw::common
