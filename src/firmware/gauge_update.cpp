#include "firmware/gauge_update.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>

#include "firmware/image_check.h"
#include "firmware/image_record.h"
#include "firmware/messages.h"
#include "firmware/read_back.h"
#include "firmware/update_status.h"
#include "link/command_codes.h"

namespace cw::firmware {
namespace {

using common::ErrorKind;

constexpr bool kPecOn = true;
// Voltage: a word every firmware answers and no boot loader does.
constexpr std::uint8_t kFirmwareProbeCommand = link::kVoltageCommand;

// The status text a failed primitive leaves.
std::string StatusText(const link::IspResult& result) {
  switch (result.code) {
    case link::kIspBadStatus:
      return StatusErrorText(result.status);
    case link::kIspPecMismatch:
      return std::string(messages::kStatusPecError);
    default:
      return std::string(messages::kStatusUsbError);
  }
}

// One update of one image, from the handshake to the firmware answering again.
class Update {
 public:
  Update(link::GaugeLink& link, const common::Bytes& image,
         const common::ProductConstants& constants, UpdateProgress progress)
      : link_(link),
        image_(image),
        constants_(constants),
        progress_(progress),
        total_(static_cast<int>(image.size() / kRecordSize)) {}

  common::Expected<UpdateDone> Run(std::stop_token stop);

 private:
  // One pass: the handshake and the records that went through. Nothing when a stop was
  // requested meanwhile.
  struct Pass {
    link::IspResult result;
    int sent = 0;
  };
  // How the last record compares with what the gauge holds.
  enum class ReadBack { kMatches, kDiffers, kUnread };

  std::optional<Pass> SendImage(std::stop_token stop);
  // What a stop at a record boundary leaves the pack in.
  std::unexpected<common::Error> Stopped() const;
  // The update ends on an error: the status says which, before anything else is tried.
  void Fail(const std::string& status, int sent);
  void Tell(UpdateStep::Kind kind, int sent) { progress_({kind, sent, total_, status_}); }
  // Whether sending the image again may go through: the fault spoilt or lost one transfer and
  // the adapter is still there.
  bool Transient(const link::IspResult& result);
  // Whether the gauge answers a word read, which only its firmware does.
  bool FirmwareAnswers();
  // A lost record shows as a sequence error on the next one, except the last: whether the bytes
  // of the last record, when it is a data record, read back from the gauge as the image has
  // them (a record that is no data record matches).
  ReadBack LastRecordReadsBack();

  link::GaugeLink& link_;
  const common::Bytes& image_;
  const common::ProductConstants& constants_;
  const UpdateProgress progress_;
  const int total_;
  std::string status_;
  bool handshake_sent_ = false;
  // Each pass starts again at the first record, so the gauge holds what the furthest one wrote.
  int furthest_ = 0;
};

common::Expected<UpdateDone> Update::Run(std::stop_token stop) {
  if (const auto refusal = CheckUpdateImage(image_, constants_.record_mask)) {
    return common::Fail(ErrorKind::kRefused,
                        refusal->empty() ? std::string(messages::kBinFileError) : *refusal);
  }
  int restarts = 0;
  while (true) {
    const auto pass = SendImage(stop);
    // Once every record is in, leaving update mode is the safe way on: no stop after the last.
    if (!pass || (stop.stop_requested() && pass->sent < total_)) return Stopped();
    if (pass->result.code == link::kIspSuccess) break;
    const std::string status = StatusText(pass->result);
    if (restarts == kUpdateRestarts || !Transient(pass->result)) {
      Fail(status, pass->sent);
      // A record went through (in this pass or an earlier one): the old firmware is gone.
      if (furthest_ > 0) {
        return common::Fail(ErrorKind::kBootLoader,
                            fmt::format(messages::kStatePartlyWritten, furthest_, total_));
      }
      if (FirmwareAnswers()) {
        // A sealed gauge keeps its boot loader shut: unsealing, not another try, mends that.
        const auto operation = link_.ReadOperationStatus();
        if (operation && (*operation & link::kOperationStatusSealed)) {
          return common::Fail(ErrorKind::kSealed, std::string(messages::kUpdateSealed));
        }
        return common::Fail(
            ErrorKind::kFailed,
            "The update did not start: the gauge still runs its firmware and nothing was written.");
      }
      return common::Fail(ErrorKind::kBootLoader, std::string(messages::kStateMayWaitInBootLoader));
    }
    ++restarts;
    status_ = fmt::format("{}: restarting the update from the handshake ({} of {}).", status,
                          restarts + 1, kUpdateRestarts + 1);
    Tell(UpdateStep::Kind::kRestart, pass->sent);
  }
  // Leaving update mode restarts the firmware; the update is only done once it answers.
  link_.IspCommand(kPecOn);
  if (!FirmwareAnswers()) {
    Fail(std::string(messages::kStatusNoFirmware), total_);
    return common::Fail(ErrorKind::kBootLoader,
                        fmt::format(messages::kStateNoFirmwareAnswer, total_));
  }
  switch (LastRecordReadsBack()) {
    case ReadBack::kMatches:
      break;
    case ReadBack::kDiffers:
      Fail(std::string(messages::kStatusLastRecord), total_);
      return common::Fail(ErrorKind::kMismatch, std::string(messages::kStateLastRecordNotKept));
    case ReadBack::kUnread:
      Fail(std::string(messages::kStatusLastRecordUnread), total_);
      return common::Fail(ErrorKind::kFailed, std::string(messages::kStateLastRecordUnread));
  }
  Tell(UpdateStep::Kind::kDone, total_);
  if (restarts == 0) return UpdateDone{};
  return UpdateDone{
      fmt::format("The update was restarted {} time(s) after a transfer fault.", restarts)};
}

std::optional<Update::Pass> Update::SendImage(std::stop_token stop) {
  if (stop.stop_requested()) return std::nullopt;
  Pass pass;
  handshake_sent_ = true;
  pass.result = link_.IspStepPair(kPecOn);
  if (pass.result.code != link::kIspSuccess) return pass;
  Tell(UpdateStep::Kind::kHandshake, 0);
  for (int k = 0; k < total_; ++k) {
    // The record boundary: a stop never cuts a record or its status poll in half.
    if (stop.stop_requested()) return std::nullopt;
    const common::ByteView record(image_.data() + static_cast<std::size_t>(k) * kRecordSize,
                                  kRecordSize);
    pass.result = link_.IspWriteData(record, kPecOn);
    if (pass.result.code != link::kIspSuccess) return pass;
    pass.sent = k + 1;
    furthest_ = std::max(furthest_, pass.sent);
    Tell(UpdateStep::Kind::kRecord, pass.sent);
  }
  return pass;
}

std::unexpected<common::Error> Update::Stopped() const {
  if (!handshake_sent_) {
    return common::Fail(ErrorKind::kStopped, std::string(messages::kUpdateStoppedBeforeStart));
  }
  if (furthest_ == 0) {
    return common::Fail(ErrorKind::kStopped, std::string(messages::kUpdateStoppedNoRecord));
  }
  return common::Fail(ErrorKind::kStopped,
                      fmt::format(messages::kUpdateStoppedPartly, furthest_, total_));
}

void Update::Fail(const std::string& status, int sent) {
  status_ = status;
  Tell(UpdateStep::Kind::kFailure, sent);
}

bool Update::Transient(const link::IspResult& result) {
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

bool Update::FirmwareAnswers() {
  link_.clock().SleepFor(kFirmwareStart);
  std::uint16_t value = 0;
  return link_.ReadWord(kFirmwareProbeCommand, value);
}

Update::ReadBack Update::LastRecordReadsBack() {
  if (image_.size() < kRecordSize) return ReadBack::kMatches;
  const std::uint8_t read_back_mask = constants_.read_back_mask;
  ImageRecord record;
  std::copy(image_.end() - kRecordSize, image_.end(), record.begin());
  UnscrambleRecord(record, constants_.record_mask);
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

}  // namespace

void UpdateBar::Take(const UpdateStep& step) {
  if (step.kind == UpdateStep::Kind::kFailure) percent = 100;
  if (step.kind == UpdateStep::Kind::kFailure || step.kind == UpdateStep::Kind::kRestart) return;
  percent = step.total > 0 ? step.sent * 100 / step.total : 100;
  counter = fmt::format("{}/{}", step.sent, step.total);
}

common::Expected<UpdateDone> UpdateGauge(link::GaugeLink& link, const common::Bytes& image,
                                         const common::ProductConstants& constants,
                                         std::stop_token stop, UpdateProgress progress) {
  return Update(link, image, constants, progress).Run(stop);
}

}  // namespace cw::firmware
