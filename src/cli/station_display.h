#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "production/recipe.h"
#include "production/station.h"

// What station run shows of the station while it works. On a terminal: one line per lane,
// redrawn in place (adapter, pack serial, step, progress, result). Otherwise one plain line per
// event, worked out from two views in a row so that nothing is lost when several steps passed
// between them: a step started, passed or failed, a retry, a run's end.
namespace cw::cli {

class StationDisplay {
 public:
  StationDisplay(std::vector<production::StepKind> steps, bool live);

  // Shows what changed since the last view.
  void Show(const production::StationView& view);
  // Runs `ask` (a question to the operator) with the live lines held back; they are drawn anew
  // below it afterwards.
  void Aside(const std::function<void()>& ask);

 private:
  // What the plain lines have told of one lane's run so far.
  struct Told {
    std::optional<std::int64_t> run_id;
    int started = 0;  // steps announced as started, from the first
    int passed = 0;
    int attempt = 0;     // of the step last started
    bool ended = false;  // the run's end was told (a lane back from waiting keeps its last run)
    production::LanePhase phase = production::LanePhase::kIdle;
  };

  void Draw(const production::StationView& view);
  void Tell(const production::LaneView& lane, Told& told);
  void TellStepsUpTo(const production::LaneView& lane, Told& told, int last_passed);
  void TellStarted(const production::LaneView& lane, Told& told, int step, int attempt);
  std::string StepText(int number, int count) const;

  std::vector<production::StepKind> steps_;
  bool live_;
  std::mutex mutex_;
  int drawn_lines_ = 0;
  std::map<std::string, Told> told_;  // by adapter serial
};

// The line of a lane on the live view.
std::string LiveLine(const production::LaneView& lane, std::string_view step_text);

}  // namespace cw::cli
