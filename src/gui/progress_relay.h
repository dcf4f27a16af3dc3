#pragma once

#include <array>
#include <mutex>

#include "common/front_end.h"
#include "gui/change_relay.h"
#include "gui/messages.h"
#include "presentation/status_bar_text.h"

namespace cw::gui {

// What the status bar's panes 1 and 2 show after every task progress report so far.
struct StatusPanes {
  std::string progress_text{messages::kPane1Initial};
  bool bar_visible = false;
  int bar_position = 0;
  std::string pane2{messages::kPane2Initial};
};

struct TaskCount {
  int total = 0;
  int done = 0;
};

// TaskProgressMessage without the wait: the scan and the data flash transfers report on their
// own threads, every report is folded into the panes here at once (so a report that shows or
// hides the bar is never lost), and the status bar redraws on `relay().changed()`.
class ProgressRelay final : public common::ProgressSink {
 public:
  void TaskProgress(common::TaskKind kind, int total, int done) override;

  StatusPanes panes() const;
  // The last report of a calibration bar.
  TaskCount count(common::TaskKind kind) const;
  ChangeRelay& relay() { return relay_; }

 private:
  mutable std::mutex mutex_;
  StatusPanes panes_;
  std::array<TaskCount, 4> counts_{};
  ChangeRelay relay_;
};

}  // namespace cw::gui
