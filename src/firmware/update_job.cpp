#include "firmware/update_job.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

#include "firmware/image_record.h"
#include "firmware/messages.h"
#include "firmware/read_back.h"
#include "firmware/update_status.h"

namespace cw::firmware {
namespace {

constexpr bool kPecOn = true;
// Voltage: a word every firmware answers and no boot loader does.
constexpr std::uint8_t kFirmwareProbeCommand = 0x09;
// The gauge restarts its firmware after leaving update mode before it answers again.
constexpr common::Millis kFirmwareStart{500};

// The steps of an update for its clock, and what each kind is expected to take before the
// update has timed it: the handshake's polls, a record's write and status poll, a sector
// erase (several polls), and leaving update mode until the firmware answers and the last record
// is read back.
enum UpdateStep { kHandshakeStep, kRecordStep, kEraseStep, kFinishStep };
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
    : ToolJob(tool, FirmwareJob::kUpdate, messages::kExportRunning) {}

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
        std::string(messages::kUpdateStoppedBeforeStart),
        UpdatePlan(*image, tool_.constants_.record_mask));
  return outcome.Done();
}

void UpdateJob::Run(std::stop_token stop, const common::Bytes& image) {
  const JobRun run = RunUpdate(stop, image);
  // The status label says why an update failed; the messages say what state the pack is in now.
  End(run, run.end == JobRun::End::kSuccess ? messages::kUpdateSuccess : std::string_view(), true);
}

std::string UpdateJob::StatusText(const link::IspResult& result) {
  switch (result.code) {
    case link::kIspBadStatus:
      return StatusErrorText(result.status);
    case link::kIspPecMismatch:
      return std::string(messages::kStatusPecError);
    default:
      return std::string(messages::kStatusUsbError);
  }
}

void UpdateJob::SetStatusText(const std::string& status) {
  Change([&](UpdateView& view) { view.status_text = status; });
  Notify();
}

void UpdateJob::Fail(const std::string& status) {
  Change([&](UpdateView& view) {
    view.status_text = status;
    view.failed = true;
  });
  Progress(total_blocks_);
}

bool UpdateJob::Transient(const link::IspResult& result) {
  switch (result.code) {
    case link::kIspPecMismatch:
      return true;
    case link::kIspBadStatus:
      return (result.status & kStatusTransferFaults) != 0;
    case link::kIspAdapterFailure:
      // A refused transfer, unless the adapter itself has gone.
      return link_.EnsureConnected();
    default:
      return false;
  }
}

bool UpdateJob::FirmwareAnswers() {
  link_.clock().SleepFor(kFirmwareStart);
  std::uint16_t value = 0;
  return link_.ReadWord(kFirmwareProbeCommand, value);
}

UpdateJob::ReadBack UpdateJob::LastRecordReadsBack(const common::Bytes& image) {
  if (image.size() < kRecordSize) return ReadBack::kMatches;
  const std::uint8_t read_back_mask = tool_.constants_.read_back_mask;
  ImageRecord record;
  std::copy(image.end() - kRecordSize, image.end(), record.begin());
  UnscrambleRecord(record, tool_.constants_.record_mask);
  if (record[2] != kTypeData) return ReadBack::kMatches;  // only a data record leaves bytes
  const bool code = record[5] == kSpaceCode;
  const std::size_t address = std::size_t{record[3]} << 8 | record[4];
  std::optional<std::size_t> page_read;
  link::FlashBlock page{};
  for (std::size_t i = 0; i < record[6] && i < kMaxDataBytes; ++i) {
    const std::size_t at = address + i;
    // The read-out path does not reach the boot loader's area, nor bytes the stream has the
    // gauge copy from there.
    if (code ? at >= kStreamedCodeSize || at == kCopiedCodeAddress || at == kCopiedCodeAddress + 1
             : at >= kDataPages * kRecordSize) {
      continue;
    }
    const std::size_t page_index = at / kRecordSize;
    if (page_read != page_index) {
      const auto selector =
          static_cast<std::uint16_t>((code ? kFirstCodeSelector : kFirstDataSelector) + page_index);
      const auto block = link_.ReadFlashBlock(selector, false);
      if (!block) return ReadBack::kUnread;
      page = *block;
      page_read = page_index;
    }
    const std::uint8_t stored = page[at % kRecordSize];
    const std::uint8_t value = code ? UnhideCodeFlashByte(stored, at, read_back_mask)
                                    : UnhideDataFlashByte(stored, read_back_mask);
    if (value != record[kDataOffset + i]) return ReadBack::kDiffers;
  }
  return ReadBack::kMatches;
}

std::optional<UpdateJob::Pass> UpdateJob::SendImage(std::stop_token stop,
                                                    const common::Bytes& image,
                                                    const std::string& status_after_handshake,
                                                    Reach& reach) {
  if (stop.stop_requested()) return std::nullopt;
  Pass pass;
  reach.handshake_sent = true;
  pass.result = link_.IspStepPair(kPecOn);
  if (pass.result.code != link::kIspSuccess) return pass;
  Change([&](UpdateView& view) { view.status_text = status_after_handshake; });
  StepsDone(1);
  Progress(0);
  for (int k = 0; k < total_blocks_; ++k) {
    // The record boundary: a stop never cuts a record or its status poll in half.
    if (stop.stop_requested()) return std::nullopt;
    const common::ByteView record(image.data() + static_cast<std::size_t>(k) * kRecordSize,
                                  kRecordSize);
    pass.result = link_.IspWriteData(record, kPecOn);
    if (pass.result.code != link::kIspSuccess) return pass;
    pass.sent = k + 1;
    reach.furthest = std::max(reach.furthest, pass.sent);
    StepsDone(1 + pass.sent);
    Progress(pass.sent);
  }
  return pass;
}

JobRun UpdateJob::Stopped(const Reach& reach) const {
  if (!reach.handshake_sent) {
    return {JobRun::End::kAbandoned, {std::string(messages::kUpdateStoppedBeforeStart)}};
  }
  if (reach.furthest == 0) {
    return {JobRun::End::kAbandoned, {std::string(messages::kUpdateStoppedNoRecord)}};
  }
  return {JobRun::End::kAbandoned,
          {fmt::format(messages::kUpdateStoppedPartly, reach.furthest, total_blocks_)}};
}

JobRun UpdateJob::RunUpdate(std::stop_token stop, const common::Bytes& image) {
  total_blocks_ = static_cast<int>(image.size() / kRecordSize);
  Reach reach;
  int restarts = 0;
  std::string restart_status;
  while (true) {
    const auto pass = SendImage(stop, image, restart_status, reach);
    // Once every record is in, leaving update mode is the safe way on: no stop after the last.
    if (!pass || (stop.stop_requested() && pass->sent < total_blocks_)) return Stopped(reach);
    if (pass->result.code == link::kIspSuccess) break;
    const std::string status = StatusText(pass->result);
    if (restarts == kUpdateRestarts || !Transient(pass->result)) {
      Fail(status);
      // A record went through (in this pass or an earlier one): the old firmware is gone.
      if (reach.furthest > 0) {
        return {JobRun::End::kFailure,
                {fmt::format(messages::kStatePartlyWritten, reach.furthest, total_blocks_)}};
      }
      return {JobRun::End::kFailure,
              {std::string(FirmwareAnswers() ? messages::kStateFirmwareIntact
                                             : messages::kStateMayWaitInBootLoader)}};
    }
    ++restarts;
    restart_status =
        fmt::format(messages::kStatusRestart, status, restarts + 1, kUpdateRestarts + 1);
    SetStatusText(restart_status);
    StepsDone(0);  // from the handshake again
  }
  // Leaving update mode restarts the firmware; the update is only done once it answers.
  link_.IspCommand(kPecOn);
  if (!FirmwareAnswers()) {
    Fail(std::string(messages::kStatusNoFirmware));
    return {JobRun::End::kFailure, {fmt::format(messages::kStateNoFirmwareAnswer, total_blocks_)}};
  }
  switch (LastRecordReadsBack(image)) {
    case ReadBack::kMatches:
      break;
    case ReadBack::kDiffers:
      Fail(std::string(messages::kStatusLastRecord));
      return {JobRun::End::kFailure, {std::string(messages::kStateLastRecordNotKept)}};
    case ReadBack::kUnread:
      Fail(std::string(messages::kStatusLastRecordUnread));
      return {JobRun::End::kFailure, {std::string(messages::kStateLastRecordUnread)}};
  }
  Change([](UpdateView& view) { view.counter_text.clear(); });
  Progress(total_blocks_);
  if (restarts == 0) return {JobRun::End::kSuccess};
  return {JobRun::End::kSuccess, {fmt::format(messages::kUpdateRestarted, restarts)}};
}

void UpdateJob::Progress(int sent) {
  ToolJob::Progress(sent, total_blocks_, [&](UpdateView& view) {
    if (!view.failed) view.counter_text = fmt::format("{}/{}", sent, total_blocks_);
  });
}

}  // namespace cw::firmware
