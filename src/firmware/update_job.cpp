#include "firmware/update_job.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "firmware/image_record.h"
#include "firmware/messages.h"

namespace cw::firmware {
namespace {

// The steps of an update for its clock, and what each kind is expected to take before the
// update has timed it: the handshake's polls, a record's write and status poll, a sector
// erase (several polls), and leaving update mode until the firmware answers and the last record
// is read back.
enum PlanStep { kHandshakeStep, kRecordStep, kEraseStep, kFinishStep };
constexpr common::Millis kExpectedHandshake{100};
constexpr common::Millis kExpectedRecord{10};
constexpr common::Millis kExpectedErase{30};
constexpr common::Millis kExpectedFinish = kFirmwareStart + kExpectedHandshake;

std::vector<JobPhase> UpdatePlan(const common::Bytes& image, std::uint8_t record_mask) {
  std::vector<JobPhase> plan{{kHandshakeStep, 1, kExpectedHandshake}};
  for (std::size_t at = 0; at + kRecordSize <= image.size(); at += kRecordSize) {
    ImageRecord record;
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(at), kRecordSize, record.begin());
    UnscrambleRecord(record, record_mask);
    const bool erase = record[2] == kTypeErase;
    const int kind = erase ? kEraseStep : kRecordStep;
    if (plan.back().kind == kind) {
      ++plan.back().steps;
    } else {
      plan.push_back({kind, 1, erase ? kExpectedErase : kExpectedRecord});
    }
  }
  plan.push_back({kFinishStep, 1, kExpectedFinish});
  return plan;
}

}  // namespace

UpdateJob::UpdateJob(FirmwareTool& tool)
    : ToolJob(tool, FirmwareJob::kUpdate,
              "Firmware export is running, please wait until it finishes!") {}

common::Outcome UpdateJob::Start() {
  common::OutcomeBuilder outcome(tool_.messages_);
  if (Ignored()) return outcome.Refused();
  const std::shared_ptr<const common::Bytes> image = tool_.image();
  if (!image) {
    outcome.Show(messages::kPleaseLoadBin);
    return outcome.Refused();
  }
  if (!Claim(outcome)) return outcome.Refused();
  Change([](UpdateView& view) { view.failed = false; });
  Begin([this, image](std::stop_token stop) { Run(stop, *image); },
        UpdatePlan(*image, tool_.constants_.record_mask));
  return outcome.Done();
}

void UpdateJob::Run(std::stop_token stop, const common::Bytes& image) {
  UpdateBar bar;
  const auto updated = UpdateGauge(link_, image, tool_.constants_, stop,
                                   [&](const UpdateStep& step) { Show(step, bar); });
  End(UpdateRun(updated), true);
}

void UpdateJob::Show(const UpdateStep& step, UpdateBar& bar) {
  // The plan's steps are the handshake, then the records.
  if (step.kind == UpdateStep::Kind::kHandshake || step.kind == UpdateStep::Kind::kRecord) {
    StepsDone(1 + step.sent);
  } else if (step.kind == UpdateStep::Kind::kRestart) {
    StepsDone(0);  // from the handshake again
  }
  bar.Take(step);
  Progress(bar.percent, 100, [&](UpdateView& view) {
    view.status_text = step.status;
    // Before the first handshake the counter still shows the last run's.
    if (!bar.counter.empty()) view.counter_text = bar.counter;
    if (step.kind == UpdateStep::Kind::kFailure) view.failed = true;
  });
}

}  // namespace cw::firmware
