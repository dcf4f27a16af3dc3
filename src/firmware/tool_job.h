#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/front_end.h"
#include "common/job_worker.h"
#include "firmware/firmware_tool.h"
#include "firmware/job_run.h"
#include "firmware/job_timing.h"

namespace cw::firmware {

// What each job's group shows in common.
struct JobView {
  bool busy = false;
  // A run has started since the tool opened: its progress is worth showing.
  bool started = false;
  int bar = 0;  // 0-100
  // How the last run ended; nullopt until one has, and after a run a close stopped.
  std::optional<common::Outcome> outcome;
  // The time the last run took, or is taking, and what it still needs; taken when the view is.
  JobTimes times;
};

// The life of a job of the firmware tool, the same for the update and the export: a press claims
// the tool for it, the run goes to the tool's worker with the main window locked, its bar fills
// (a full bar unlocks the main window), and its end is shown, kept in the view and announced.
// `JobViewT` is the job's view: a JobView with what else the job shows.
template <typename JobViewT>
class ToolJob {
 public:
  ToolJob(const ToolJob&) = delete;
  ToolJob& operator=(const ToolJob&) = delete;

  JobViewT View() const {
    std::lock_guard lock(mutex_);
    JobViewT view = view_;
    view.times = timing_.Times();
    return view;
  }

 protected:
  // `other_running` is what a press says while the other job runs.
  ToolJob(FirmwareTool& tool, FirmwareJob job, std::string_view other_running)
      : tool_(tool),
        link_(tool.link_),
        timing_(tool.link_.clock()),
        job_(job),
        other_running_(other_running) {}
  ~ToolJob() = default;

  // A press is ignored while the tool closes or this job runs.
  bool Ignored() const { return tool_.Busy(job_); }
  // Takes the tool for this job; false, with the message when the other job runs.
  bool Claim(common::OutcomeBuilder& outcome) {
    switch (tool_.TryClaim(job_)) {
      case FirmwareTool::Claim::kGranted:
        return true;
      case FirmwareTool::Claim::kOtherRunning:
        outcome.Show(other_running_);
        return false;
      case FirmwareTool::Claim::kIgnored:
        return false;
    }
    return false;
  }
  // The claimed run does not start after all.
  void Unclaim() { tool_.Release(job_); }
  // The claimed run starts: its bar shows at 0, its clock runs through the steps of `plan`, the
  // main window is locked and `run` goes to the tool's worker.
  void Begin(common::JobWorker::Job run, std::vector<JobPhase> plan) {
    Change([&](JobViewT& view) {
      timing_.Start(std::move(plan));
      view.started = true;
      view.bar = 0;
      view.busy = true;
      view.outcome.reset();
    });
    tool_.HoldMainUi();
    Notify();
    tool_.Post(std::move(run), [this] { Abandoned(); });
  }
  // `done` of `total` steps on the bar, with `also` changed at the same time.
  template <typename Also>
  void Progress(int done, int total, Also&& also) {
    bool full = false;
    Change([&](JobViewT& view) {
      also(view);
      view.bar = total > 0 ? done * 100 / total : 100;
      full = view.bar == 100;
    });
    if (full) tool_.FreeMainUi();
    Notify();
  }
  // `steps` of the run's plan are done.
  void StepsDone(int steps) {
    std::lock_guard lock(mutex_);
    timing_.Progress(steps);
  }
  // Shows how the run ended, keeps the outcome in the view, frees the tool and announces it. A
  // run that a close stopped ends without a word.
  void End(const JobRun& run, bool gauge_changed) {
    // The work is over now; a message box the user takes a while to close is not part of it.
    Change([&](JobViewT&) { timing_.Stop(); });
    if (run.end == JobRun::End::kAbandoned) {
      Abandoned();
      return;
    }
    // The job counts as running until its messages have been seen.
    const common::Outcome result = ShowJobEnd(run, gauge_changed, tool_.messages_);
    Change([&](JobViewT& view) {
      view.busy = false;
      view.outcome = result;
    });
    tool_.Release(job_);
    Notify();
  }

  template <typename F>
  void Change(F&& change) {
    std::lock_guard lock(mutex_);
    change(view_);
  }
  void Notify() { tool_.changes_.Notify(job_); }

  FirmwareTool& tool_;
  link::GaugeLink& link_;

 private:
  // Stopped or dropped before its end.
  void Abandoned() {
    Change([&](JobViewT& view) {
      timing_.Stop();
      view.busy = false;
    });
    tool_.Release(job_);
  }

  mutable std::mutex mutex_;
  JobViewT view_;
  JobTiming timing_;
  const FirmwareJob job_;
  const std::string_view other_running_;
};

}  // namespace cw::firmware
