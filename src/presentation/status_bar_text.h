#pragma once

#include <optional>
#include <string>

#include "common/front_end.h"

// The texts of the main window's status bar: the task progress panes and the clock.
namespace cw::presentation {

// What the status bar shows for one task progress report.
struct TaskProgressView {
  std::string progress_text;        // pane 1
  std::optional<bool> bar_visible;  // nullopt: the bar stays as it was
  int bar_position = 0;
  std::optional<std::string> pane2;  // nullopt: pane 2 keeps its text
  bool operator==(const TaskProgressView&) const = default;
};

TaskProgressView TaskProgressText(common::TaskKind kind, int total, int done);

// " 12:34:56 ", the status bar's clock.
std::string StatusClockText();

}  // namespace cw::presentation
