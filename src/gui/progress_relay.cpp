#include "gui/progress_relay.h"

namespace cw::gui {

void ProgressRelay::TaskProgress(common::TaskKind kind, int total, int done) {
  {
    std::lock_guard lock(mutex_);
    counts_[static_cast<std::size_t>(kind)] = {total, done};
    if (kind == common::TaskKind::kSbsScan || kind == common::TaskKind::kDataFlash) {
      const presentation::TaskProgressView view = presentation::TaskProgressText(kind, total, done);
      panes_.progress_text = view.progress_text;
      if (view.bar_visible) panes_.bar_visible = *view.bar_visible;
      panes_.bar_position = view.bar_position;
      if (view.pane2) panes_.pane2 = *view.pane2;
    }
  }
  relay_.Post();
}

StatusPanes ProgressRelay::panes() const {
  std::lock_guard lock(mutex_);
  return panes_;
}

TaskCount ProgressRelay::count(common::TaskKind kind) const {
  std::lock_guard lock(mutex_);
  return counts_[static_cast<std::size_t>(kind)];
}

}  // namespace cw::gui
