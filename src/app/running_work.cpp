#include "app/running_work.h"

#include <fmt/format.h>

#include <cctype>

#include "app/workbench.h"
#include "firmware/export_job.h"
#include "firmware/firmware_tool.h"
#include "firmware/update_job.h"
#include "monitor/sbs_session.h"

namespace cw::app {
namespace {

std::size_t Index(Work work) { return static_cast<std::size_t>(work); }

}  // namespace

void HandedInWork::Begin(Work work) {
  std::lock_guard lock(mutex_);
  ++counts_[Index(work)];
}

void HandedInWork::End(Work work) {
  std::lock_guard lock(mutex_);
  if (counts_[Index(work)] > 0) --counts_[Index(work)];
}

bool HandedInWork::Running(Work work) const {
  std::lock_guard lock(mutex_);
  return counts_[Index(work)] > 0;
}

std::vector<Work> RunningWorks(Workbench& bench, const HandedInWork& handed_in,
                               firmware::FirmwareTool* firmware) {
  std::array<bool, kWorkKinds> running{};
  for (std::size_t kind = 0; kind < kWorkKinds; ++kind) {
    running[kind] = handed_in.Running(static_cast<Work>(kind));
  }
  running[Index(Work::kDataLog)] = running[Index(Work::kDataLog)] || bench.sbs().View().logging;
  running[Index(Work::kCalibration)] =
      running[Index(Work::kCalibration)] || bench.calibration().View().busy;
  if (firmware != nullptr) {
    running[Index(Work::kFirmwareUpdate)] =
        running[Index(Work::kFirmwareUpdate)] || firmware->update().View().busy;
    running[Index(Work::kFirmwareExport)] =
        running[Index(Work::kFirmwareExport)] || firmware->export_job().View().busy;
  }
  std::vector<Work> works;
  for (std::size_t kind = 0; kind < kWorkKinds; ++kind) {
    if (running[kind]) works.push_back(static_cast<Work>(kind));
  }
  return works;
}

std::string StopQuestion(std::span<const Work> works, const StopQuestionTexts& texts) {
  std::string named;
  for (std::size_t i = 0; i < works.size(); ++i) {
    if (i > 0) named += i + 1 == works.size() ? texts.last_joiner : texts.joiner;
    named += texts.names[Index(works[i])];
  }
  if (!named.empty())
    named[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(named[0])));
  std::string left;
  for (const Work work : works) {
    const std::string_view leaves = texts.leaves[Index(work)];
    if (!leaves.empty()) left += fmt::format(" {}", leaves);
  }
  return fmt::format(fmt::runtime(works.size() == 1 ? texts.one : texts.several), named, left);
}

}  // namespace cw::app
