#pragma once

#include <array>
#include <cstddef>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cw::firmware {
class FirmwareTool;
}

namespace cw::app {

class Workbench;

// The long works that closing the main window asks about before it stops them. Each stops at its
// own next safe point: a data log at once (between two lines), a data flash transfer between two
// pages, a firmware job between two records, a calibration at its end.
enum class Work {
  kDataLog,
  kFirmwareUpdate,
  kFirmwareExport,
  kReadAll,
  kWriteAll,
  kAfiLoad,
  kCalibration,
};
inline constexpr std::size_t kWorkKinds = 7;

// Works a front end hands to its worker whose kind the sessions' state does not tell (the data
// flash session is busy alike for a Read All, a Write All and a constants file load), counted
// from the moment they are handed in until their end has been reported. Any thread.
class HandedInWork {
 public:
  void Begin(Work work);
  void End(Work work);
  bool Running(Work work) const;

 private:
  mutable std::mutex mutex_;
  std::array<int, kWorkKinds> counts_{};
};

// What runs now, each kind once, in the order of Work: the data log, calibration and the firmware
// tool's jobs from their sessions, the rest from `handed_in`. `firmware` is the firmware tool
// while its window is open, else null: the tool is made and destroyed on the front end's worker,
// so only the front end knows when it may be looked at.
std::vector<Work> RunningWorks(Workbench& bench, const HandedInWork& handed_in,
                               firmware::FirmwareTool* firmware);

// The front end's words for the question asked before running work is stopped.
struct StopQuestionTexts {
  // Each work as a sentence names it ("a Write All"), by Work.
  std::array<std::string_view, kWorkKinds> names;
  // What stopping a work leaves the pack in, by Work; empty when it leaves the pack as it was.
  std::array<std::string_view, kWorkKinds> leaves;
  // "{} is running.{} Stop it ..." and "{} are running.{} Stop them ...": the works named (joined
  // by `joiner` and `last_joiner`), then what stopping them leaves.
  std::string_view one;
  std::string_view several;
  std::string_view joiner;
  std::string_view last_joiner;
};

// The question for `works` (not empty): the works named, the first letter raised, and what the
// stop leaves for each work that leaves something.
std::string StopQuestion(std::span<const Work> works, const StopQuestionTexts& texts);

}  // namespace cw::app
