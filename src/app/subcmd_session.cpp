#include "app/subcmd_session.h"

#include <fmt/format.h>

#include <algorithm>

#include "app/link_failure.h"
#include "app/messages.h"
#include "common/bytes.h"
#include "common/parse.h"

namespace cw::app {
namespace {

using common::Verdict;

constexpr std::array<std::uint16_t, 35> kAccepted = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x08, 0x09, 0x10, 0x11, 0x1D,
    0x23, 0x24, 0x26, 0x28, 0x29, 0x30, 0x35, 0x37, 0x40, 0x41, 0x51, 0x53,
    0x54, 0x55, 0x57, 0x58, 0x60, 0x61, 0x62, 0x70, 0x71, 0x72, 0xF0};
constexpr std::array<std::uint16_t, 14> kRefusedFromEntry = {
    0x35, 0x37, 0x51, 0x53, 0x54, 0x55, 0x57, 0x58, 0x60, 0x61, 0x62, 0x70, 0x71, 0x72};
constexpr std::array<std::uint16_t, 17> kWriteType = {0x00, 0x10, 0x11, 0x1D, 0x1E, 0x1F,
                                                      0x20, 0x22, 0x23, 0x24, 0x26, 0x28,
                                                      0x29, 0x30, 0x40, 0x41, 0xF0};
// Operation Status is read this many times, 100 ms apart, before the lock state counts as
// unknown: one lost or malformed reply must not decide what the user is told.
constexpr int kStatusReads = 3;
constexpr common::Millis kBetweenStatusReads{100};
constexpr std::uint16_t kSealedBit = 0x4000;

bool StillLocked(UnsealTarget target, std::uint16_t operation_status) {
  const std::uint8_t high = common::HighByte(operation_status);
  return target == UnsealTarget::kUnseal ? (high & 0x40) != 0 : high >= 0x40;
}

template <std::size_t N>
bool Contains(const std::array<std::uint16_t, N>& codes, std::uint16_t code) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

}  // namespace

bool IsAcceptedSubCmd(std::uint16_t code) { return Contains(kAccepted, code); }
bool IsRefusedFromEntry(std::uint16_t code) { return Contains(kRefusedFromEntry, code); }
bool IsWriteTypeSubCmd(std::uint16_t code) { return Contains(kWriteType, code); }

SubCmdLogRow SubCmdSession::Append(std::string cmd, std::string_view result, bool failed) {
  SubCmdLogRow row{std::move(cmd), std::string(result), failed};
  {
    const std::lock_guard lock(mutex_);
    log_.push_back(row);
  }
  changes_.Notify();
  return row;
}

void SubCmdSession::ClearLog() {
  {
    const std::lock_guard lock(mutex_);
    log_.clear();
  }
  changes_.Notify();
}

SubCmdView SubCmdSession::View() const {
  const std::lock_guard lock(mutex_);
  return {log_, unseal_key_, full_access_key_};
}

std::string SubCmdView::KeyText(UnsealTarget target) const {
  return fmt::format("{:08X}", key(target));
}

common::OutcomeOf<SubCmdRows> SubCmdSession::RunSubcommand(std::uint16_t code) {
  common::OutcomeBuilder outcome(messages_);
  std::string cmd = fmt::format("0x{:04X}", code);
  const std::uint8_t low = common::LowByte(code);
  const auto logged = [&](Verdict verdict, std::string_view suffix, std::string_view result) {
    const bool failed = verdict != Verdict::kDone;
    return outcome.Finish(verdict, SubCmdRows{Append(cmd + std::string(suffix), result, failed)});
  };
  if (IsWriteTypeSubCmd(code)) {
    const std::array<std::uint8_t, 4> write = {link::kManufacturerBlockAccess, 0x02, low, 0x00};
    outcome.GaugeChanged();
    const bool written = link_.WriteBytes(write);
    // A write the gauge refused is marked, so the log never hides a failed write.
    const bool taken = code == link::kSealSubcommand ? ConfirmSeal(written, outcome) : written;
    return logged(taken ? Verdict::kDone : Verdict::kFailed, " W",
                  taken ? messages::kResultNotApplicable : messages::kResultFail);
  }
  common::Bytes reply;
  const bool read = link_.ReadSubCmdReply(low, 2, reply);
  const auto data = read ? link::ManufacturerBlockData(reply, low, 2) : std::nullopt;
  if (!data) return logged(Verdict::kFailed, " R", messages::kResultFail);
  return logged(Verdict::kDone, " R",
                fmt::format("0x{:04X}", common::LittleEndianWord((*data)[0], (*data)[1])));
}

common::OutcomeOf<SubCmdRows> SubCmdSession::RunEnteredCode(std::string_view text) {
  common::OutcomeBuilder outcome(messages_);
  // Only a whole hex code is a code: "zz" or "12x" read by their leading digits would send a
  // subcommand nobody typed.
  const auto code = common::ParseSubcommandCode(text);
  if (!code) {
    outcome.Show(messages::kSubCmdInputInvalid);
    return outcome.Finish(Verdict::kRefused, SubCmdRows{});
  }
  const std::string typed = common::WithoutSpaces(text);
  if (!IsAcceptedSubCmd(*code)) {
    outcome.Show(fmt::format("{}{}{}", messages::kSubCmdOf, typed, " is invalid!"));
    return outcome.Finish(Verdict::kRefused, SubCmdRows{});
  }
  if (IsRefusedFromEntry(*code)) {
    outcome.Show(fmt::format("{}{}{}", messages::kSubCmdOf, typed, " can't be writed from here!"));
    return outcome.Finish(Verdict::kRefused, SubCmdRows{});
  }
  return RunSubcommand(*code);
}

std::uint32_t SubCmdSession::key(UnsealTarget target) const {
  const std::lock_guard lock(mutex_);
  return target == UnsealTarget::kUnseal ? unseal_key_ : full_access_key_;
}

bool SubCmdSession::SendKey(std::uint32_t key) {
  const std::array<std::uint8_t, 3> low_word = {link::kManufacturerAccess,
                                                static_cast<std::uint8_t>(key),
                                                static_cast<std::uint8_t>(key >> 8)};
  const std::array<std::uint8_t, 3> high_word = {link::kManufacturerAccess,
                                                 static_cast<std::uint8_t>(key >> 16),
                                                 static_cast<std::uint8_t>(key >> 24)};
  return link_.WriteBytesTwice(low_word, high_word);
}

std::optional<std::uint16_t> SubCmdSession::ReadOperationStatus() {
  for (int read = 0; read < kStatusReads; ++read) {
    if (read > 0) link_.clock().SleepFor(kBetweenStatusReads);
    if (const auto status = link_.ReadOperationStatus()) return status;
  }
  return std::nullopt;
}

bool SubCmdSession::ConfirmSeal(bool written, common::OutcomeBuilder& outcome) {
  // Why the write failed is known only until the status reads run their own transactions.
  const std::string why = written ? std::string() : std::string(LinkFailureText(link_));
  const auto status = ReadOperationStatus();
  if (!status) {
    outcome.Show(written ? std::string("SEAL was sent, but no valid Operation Status could be "
                                       "read: whether the gauge is sealed is "
                                       "unknown.")
                         : fmt::format("SEAL was not confirmed by the gauge ({}), and no valid "
                                       "Operation Status could be read: "
                                       "whether it is sealed is unknown.",
                                       why));
    return false;
  }
  if ((*status & kSealedBit) != 0) {
    if (!written) outcome.Show(messages::kSealedAcknowledgementLost);
    return true;
  }
  outcome.Show(
      fmt::format("The gauge is not sealed: its Operation Status reads 0x{:04X}.", *status));
  return false;
}

common::OutcomeOf<Unsealing> SubCmdSession::Unseal(UnsealTarget target) {
  common::OutcomeBuilder outcome(messages_);
  const std::uint32_t stored = key(target);
  outcome.GaugeChanged();
  if (!SendKey(stored)) {
    outcome.Show(
        fmt::format("The key words were not confirmed by the gauge ({}).", LinkFailureText(link_)));
  }
  const auto status = ReadOperationStatus();
  Unsealing unsealing{
      LockState::kUnknown,
      {Append(fmt::format("0x{:08X}", stored), messages::kResultNotApplicable, false)}};
  if (!status) {
    // A reply that cannot be read says nothing about the lock, least of all that it is open.
    outcome.Show(messages::kLockStateUnknown);
    return outcome.Finish(Verdict::kFailed, std::move(unsealing));
  }
  const bool locked = StillLocked(target, *status);
  unsealing.lock = locked ? LockState::kLocked : LockState::kUnlocked;
  return outcome.Finish(locked ? Verdict::kFailed : Verdict::kDone, std::move(unsealing));
}

common::OutcomeOf<SubCmdRows> SubCmdSession::SendNewKey(UnsealTarget target,
                                                        std::string_view text) {
  common::OutcomeBuilder outcome(messages_);
  const auto key_typed = common::ParseKeyText(text);
  if (!key_typed) {
    outcome.Show(fmt::format(
        "The key \"{}\" is not 1 to 8 hex digits (optionally after 0x): nothing was sent.", text));
    return outcome.Finish(Verdict::kRefused, SubCmdRows{});
  }
  const std::uint32_t entered = *key_typed;
  {
    const std::lock_guard lock(mutex_);
    (target == UnsealTarget::kUnseal ? unseal_key_ : full_access_key_) = entered;
  }
  outcome.GaugeChanged();
  const bool sent = SendKey(entered);
  SubCmdRows rows{Append(fmt::format("0x{:08X}", entered), messages::kResultNotApplicable, false)};
  return outcome.Finish(sent ? Verdict::kDone : Verdict::kFailed, std::move(rows));
}

common::OutcomeOf<Unsealing> SubCmdSession::UnsealWithKey(UnsealTarget target,
                                                          std::string_view text) {
  common::OutcomeBuilder outcome(messages_);
  const auto sent = SendNewKey(target, text);
  outcome.Absorb(sent);
  const auto unsealed = Unseal(target);
  outcome.Absorb(unsealed);
  Unsealing unsealing = unsealed.detail;
  unsealing.rows.insert(unsealing.rows.begin(), sent.detail.begin(), sent.detail.end());
  return outcome.Finish(unsealed.verdict, std::move(unsealing));
}

}  // namespace cw::app
