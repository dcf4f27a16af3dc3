// The boot loader conversation of a firmware update: the handshake on 0x47, 32-byte records
// on 0x48 and the status polls between them. No bus lock: the scan worker is paused instead.
#include "link/gauge_link.h"
#include "link/messages.h"

namespace cw::link {
namespace {

using common::ByteView;
using common::Millis;

constexpr std::uint16_t kEnterStep1 = 0xF100;
constexpr std::uint16_t kEnterStep2 = 0xF200;
constexpr std::uint16_t kLeaveUpdateMode = 0xFF00;
constexpr std::uint8_t kStatusReady = 0x80;  // low byte: update supported
constexpr Millis kHandshakePoll{10};
constexpr Millis kAfterHandshake{5};

// First handshake poll: the counter advances by two against a limit of 50.
constexpr IspPollRule kFirstHandshakePoll{kHandshakePoll, 25, true, true};
// Second poll and record polls: 50 reads, success only within the first 49.
constexpr IspPollRule kSecondHandshakePoll{kHandshakePoll, 50, false, false};
// Record polls: as many reads as the second handshake poll, at the pace of the adapter.
constexpr int kRecordPollReads = 50;
// How often one record's write is sent before the pass fails.
constexpr int kRecordWriteAttempts = 4;

}  // namespace

bool GaugeLink::IspEnsureConnected(std::string_view message, bool set_status) {
  if (connection_.EnsureConnected()) return true;
  if (set_status) SetStatus(LinkStatus::kNoAdapter);
  messages_.Show(message);
  return false;
}

bool GaugeLink::IspWriteWord(std::uint16_t value, bool pec) {
  const bool ok = connection_.protocol().WriteIspWord(value, pec);
  if (!ok) messages_.Show(messages::kUsbTransferError);
  return ok;
}

IspResult GaugeLink::IspPoll(bool pec, const IspPollRule& rule) {
  std::uint16_t last = 0;
  for (int read = 1; read <= rule.max_reads; ++read) {
    clock_.SleepFor(rule.wait);
    const IspStatusReply reply = connection_.protocol().ReadIspStatus(pec);
    if (reply.outcome == IspStatusReply::Outcome::kTransferError) {
      messages_.Show(messages::kUsbTransferError);
      return {kIspAdapterFailure, 0};
    }
    if (reply.outcome == IspStatusReply::Outcome::kNoAnswer) continue;
    const std::uint16_t status = reply.status;
    last = status;
    const std::uint8_t low = common::LowByte(status);
    const std::uint8_t high = common::HighByte(status);
    const bool accepted =
        low == kStatusReady && (high == 1 || (rule.accept_zero_high && high == 0));
    if (!accepted) continue;
    if (read == rule.max_reads && !rule.final_read_counts) break;
    if (!reply.pec_ok) return {kIspPecMismatch, status};
    return {kIspSuccess, status};
  }
  return {kIspBadStatus, last};
}

IspResult GaugeLink::IspStepPair(bool pec) {
  if (!IspEnsureConnected(messages::kUsbNotConnected, true)) return {};
  if (!IspWriteWord(kEnterStep1, pec)) return {};
  IspResult result = IspPoll(pec, kFirstHandshakePoll);
  if (result.code != kIspSuccess) return result;
  if (!IspWriteWord(kEnterStep2, pec)) return {};
  result = IspPoll(pec, kSecondHandshakePoll);
  if (result.code != kIspSuccess) return result;
  clock_.SleepFor(kAfterHandshake);
  return {kIspSuccess, 0};
}

IspResult GaugeLink::IspWriteData(ByteView record, bool pec) {
  if (!IspEnsureConnected("USB no Connected", false)) return {};
  if (record.empty() || record.size() > kFlashPageSize) return {};
  // A write the adapter reports refused (a NACK on the bus) is sent again: the boot loader
  // carries out a record only when its sequence number is the next one, so a record it did take
  // after all is never carried out twice (it answers data loss, and the update restarts).
  bool written = false;
  for (int attempt = 1; attempt <= kRecordWriteAttempts && !written; ++attempt) {
    written = connection_.protocol().WriteIspRecord(record, pec);
    if (!written && !connection_.EnsureConnected()) break;
  }
  if (!written) {
    messages_.Show(messages::kUsbTransferError);
    return {};
  }
  return IspPoll(pec, {connection_.protocol().IspRecordPollWait(), kRecordPollReads, false, false});
}

std::optional<std::uint16_t> GaugeLink::ReadBootLoaderStatus() {
  std::optional<std::uint16_t> status;
  Locked([&] {
    if (!connection_.EnsureConnected()) return false;
    const IspStatusReply reply = connection_.protocol().ReadIspStatus(true);
    if (reply.outcome == IspStatusReply::Outcome::kRead && reply.pec_ok) status = reply.status;
    return status.has_value();
  });
  return status;
}

bool GaugeLink::WaitsInBootLoader() {
  const auto status = ReadBootLoaderStatus();
  return status && (*status & kIspStatusUpdateMode) != 0;
}

bool GaugeLink::IspCommand(bool pec) {
  if (!IspEnsureConnected(messages::kUsbNotConnected, true)) return false;
  return IspWriteWord(kLeaveUpdateMode, pec);
}

}  // namespace cw::link
