#include "firmware/fs_player.h"

#include <fmt/format.h>

#include <algorithm>

#include "common/file_error.h"
#include "firmware/messages.h"
#include "link/link_status.h"

namespace cw::firmware {
namespace {

using common::Bytes;
using common::ByteView;
using common::MessageIcon;
using common::Millis;

// X: waits are cut into slices this long when the play can be stopped, so that a stop request
// does not sit out a long settle time.
constexpr Millis kWaitSlice{100};

std::string Hex(ByteView bytes) { return common::ToHex(bytes); }

// The line's data bytes followed by its PEC: what a compare expects to read.
Bytes ExpectedRead(const FsStep& step) {
  Bytes expected = step.bytes;
  expected.push_back(step.pec);
  return expected;
}

std::string_view Difference(const FsStep& step, ByteView read) {
  const Bytes expected = ExpectedRead(step);
  if (step.form == FsWriteForm::kBlock && !read.empty() && read[0] != expected[0]) {
    return messages::kFsCountDiffers;
  }
  const std::size_t data = expected.size() - 1;
  if (read.size() < data || !std::equal(expected.begin(), expected.begin() + data, read.begin())) {
    return messages::kFsDataDiffer;
  }
  return messages::kFsPecDiffers;
}

}  // namespace

bool FsCompareMatches(const FsStep& step, ByteView read) {
  const Bytes expected = ExpectedRead(step);
  return std::ranges::equal(expected, read);
}

FsPlayer::FsPlayer(link::GaugeLink& link, common::MessageSink& messages,
                   common::ProgressSink& progress)
    : link_(link), clock_(link.clock()), messages_(messages), progress_(progress) {}

common::OutcomeOf<FsPlayReport> FsPlayer::PlayFile(const std::filesystem::path& path,
                                                   std::stop_token stop) {
  FsCheckReport check = CheckFsScriptFile(path);
  if (check.clean()) {
    auto played = Play(check.script, std::move(stop));
    played.detail.check = std::move(check);
    return played;
  }
  common::OutcomeBuilder outcome(messages_);
  if (check.file_error) {
    outcome.Show(common::DescribeFileError(*check.file_error), MessageIcon::kError);
  } else {
    const FsProblem& first = check.problems.front();
    outcome.Show(
        fmt::format(messages::kFsPlayRefused, check.problem_count(), first.line, first.text),
        MessageIcon::kError);
  }
  FsPlayReport report;
  report.lines = check.script.line_count;
  report.check = std::move(check);
  return outcome.Finish(common::Verdict::kRefused, std::move(report));
}

common::OutcomeOf<FsPlayReport> FsPlayer::Play(const FsScript& script, std::stop_token stop) {
  common::OutcomeBuilder outcome(messages_);
  FsPlayReport report;
  report.end = FsPlayEnd::kDone;
  report.lines = script.line_count;
  report.steps = static_cast<int>(script.steps.size());
  waits_left_ = Millis{0};
  transactions_left_ = 0;
  for (const FsStep& step : script.steps) {
    if (step.kind == FsLineKind::kWait) {
      waits_left_ += step.wait;
    } else {
      ++transactions_left_;
    }
  }
  start_ = clock_.Now();
  waited_ = Millis{0};
  transactions_done_ = 0;
  {
    std::lock_guard lock(mutex_);
    progress_now_ = {0, script.line_count, Millis{0}, std::nullopt};
  }
  progress_.TaskProgress(common::TaskKind::kFsScript, script.line_count, 0);

  int writes = 0;
  int compares = 0;
  const FsStep* failed = nullptr;
  for (const FsStep& step : script.steps) {
    if (stop.stop_requested()) {
      report.end = FsPlayEnd::kStopped;
      failed = &step;
      break;
    }
    if (step.kind == FsLineKind::kWait) {
      if (!Wait(step.wait, stop)) {
        report.end = FsPlayEnd::kStopped;
        failed = &step;
        break;
      }
    } else if (step.kind == FsLineKind::kWrite) {
      if (!Write(step)) {
        report.end = FsPlayEnd::kWriteFailed;
        failed = &step;
        break;
      }
      report.written = true;
      outcome.GaugeChanged();
      ++writes;
    } else {
      const Read read = Compare(step);
      if (!read.answered || !FsCompareMatches(step, read.bytes)) {
        report.end = read.answered ? FsPlayEnd::kMismatch : FsPlayEnd::kReadFailed;
        report.expected = ExpectedRead(step);
        report.read = read.bytes;
        failed = &step;
        break;
      }
      ++compares;
    }
    ++report.steps_done;
    report.last_line_done = step.line;
    StepDone(step, script.line_count);
  }

  if (failed == nullptr) {
    progress_.TaskProgress(common::TaskKind::kFsScript, script.line_count, script.line_count);
    outcome.Show(fmt::format(messages::kFsPlayDone, script.line_count, writes, compares));
    return outcome.Finish(common::Verdict::kDone, std::move(report));
  }
  report.stopped_at = failed->line;
  const std::string status(link::LinkStatusText(link_.link_status()));
  std::string what;
  switch (report.end) {
    case FsPlayEnd::kWriteFailed:
      what = fmt::format(messages::kFsPlayWriteFailed, failed->line, failed->command, status,
                         FsLineText(*failed));
      break;
    case FsPlayEnd::kReadFailed:
      what = fmt::format("Line {}: command {:02X} could not be read ({}); expected {}",
                         failed->line, failed->command, status, Hex(report.expected));
      break;
    case FsPlayEnd::kMismatch:
      what = failed->after_write
                 ? fmt::format(messages::kFsPlayStillDiffers, failed->line, failed->command,
                               Hex(report.read), kFsBusyCompareBound.count(), Hex(report.expected),
                               Difference(*failed, report.read))
                 : fmt::format(messages::kFsPlayMismatch, failed->line, failed->command,
                               Hex(report.read), Hex(report.expected),
                               Difference(*failed, report.read));
      break;
    default:
      what = fmt::format(messages::kFsPlayStopped, failed->line);
      break;
  }
  outcome.Show(what, MessageIcon::kError);
  outcome.Show(report.written
                   ? fmt::format(messages::kFsPartlyWritten, failed->line - 1, failed->line)
                   : std::string(messages::kFsNothingWritten),
               MessageIcon::kWarning);
  return outcome.Finish(common::Verdict::kFailed, std::move(report));
}

FsPlayProgress FsPlayer::Progress() const {
  std::lock_guard lock(mutex_);
  return progress_now_;
}

bool FsPlayer::Write(const FsStep& step) {
  switch (step.form) {
    case FsWriteForm::kWord:
      return link_.WriteWord(step.command,
                             common::LittleEndianWord(step.bytes.at(0), step.bytes.at(1)));
    case FsWriteForm::kBlock:
      return link_.WriteBlock(step.command, ByteView(step.bytes).subspan(1));
    case FsWriteForm::kBytes:
      break;
  }
  Bytes bytes{step.command};
  bytes.insert(bytes.end(), step.bytes.begin(), step.bytes.end());
  return link_.WriteBytes(bytes);
}

// A fixed-length read of the data and the PEC: on the bus the same bytes as a word or block read
// of that command, so one read serves every shape a line can have.
FsPlayer::Read FsPlayer::ReadOnce(const FsStep& step) {
  Read read;
  const auto length = static_cast<std::uint8_t>(step.bytes.size() + 1);
  read.answered = link_.ReadBlock(step.command, length, read.bytes);
  return read;
}

FsPlayer::Read FsPlayer::Compare(const FsStep& step) {
  const Millis deadline = clock_.Now() + kFsBusyCompareBound;
  while (true) {
    Read read = ReadOnce(step);
    if (!step.after_write || (read.answered && FsCompareMatches(step, read.bytes)) ||
        clock_.Now() >= deadline) {
      return read;
    }
    clock_.SleepFor(kFsBusyCompareInterval);
  }
}

bool FsPlayer::Wait(Millis duration, const std::stop_token& stop) {
  if (!stop.stop_possible()) {
    clock_.SleepFor(duration);
    return true;
  }
  for (Millis left = duration; left > Millis{0}; left -= kWaitSlice) {
    if (stop.stop_requested()) return false;
    clock_.SleepFor(std::min(left, kWaitSlice));
  }
  return true;
}

void FsPlayer::StepDone(const FsStep& step, int lines) {
  if (step.kind == FsLineKind::kWait) {
    waits_left_ -= step.wait;
    waited_ += step.wait;
  } else {
    --transactions_left_;
    ++transactions_done_;
  }
  const Millis elapsed = clock_.Now() - start_;
  std::optional<Millis> remaining;
  if (transactions_left_ == 0) {
    remaining = waits_left_;
  } else if (transactions_done_ > 0) {
    const Millis per_transaction = std::max(Millis{0}, elapsed - waited_) / transactions_done_;
    remaining = waits_left_ + per_transaction * transactions_left_;
  }
  {
    std::lock_guard lock(mutex_);
    progress_now_ = {step.line, lines, elapsed, remaining};
  }
  progress_.TaskProgress(common::TaskKind::kFsScript, lines, step.line);
}

}  // namespace cw::firmware
