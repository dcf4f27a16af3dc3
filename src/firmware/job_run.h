#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "common/front_end.h"
#include "firmware/gauge_update.h"

namespace cw::firmware {

// How one run of a firmware job ended, and what the user is told of it: the headline first,
// when there is one, then the notes. A stopped run is abandoned: its notes say what it left, for
// a front end that tells it (the command line after Ctrl-C); a closing window goes without a word.
struct JobRun {
  enum class End { kSuccess, kFailure, kAbandoned };
  End end = End::kFailure;
  std::string_view headline;
  std::vector<std::string> notes;
};

JobRun UpdateRun(const common::Expected<UpdateDone>& updated);
JobRun ExportRun(const common::Expected<void>& exported);

// Shows how a run that was not abandoned ended (its notes as information after a success, as
// errors after a failure) and returns it as an outcome once every message has been seen.
common::Outcome ShowJobEnd(const JobRun& run, bool gauge_changed, common::MessageSink& messages);

}  // namespace cw::firmware
