// The boot loader conversation of a firmware update: the handshake on 0x47, 32-byte records
// on 0x48 and the status polls between them. No bus lock: the scan worker is paused instead.
#include <algorithm>

#include "link/gauge_link.h"
#include "link/messages.h"
#include "link/pec.h"

namespace cw::link {
namespace {

using common::Bytes;
using common::ByteView;
using common::Millis;

constexpr std::uint16_t kEnterStep1 = 0xF100;
constexpr std::uint16_t kEnterStep2 = 0xF200;
constexpr std::uint16_t kLeaveUpdateMode = 0xFF00;
constexpr std::uint8_t kStatusReady = 0x80;  // low byte: update supported
constexpr Millis kHandshakePoll{10};
constexpr Millis kRecordPoll{5};
constexpr Millis kAfterHandshake{5};

// First handshake poll: the counter advances by two against a limit of 50.
constexpr IspPollRule kFirstHandshakePoll{kHandshakePoll, 25, true, true};
// Second poll and record polls: 50 reads, success only within the first 49.
constexpr IspPollRule kSecondHandshakePoll{kHandshakePoll, 50, false, false};
// The bulk adapter's own turnaround already paces the record polls.
constexpr IspPollRule kHidRecordPoll{kRecordPoll, 50, false, false};
constexpr IspPollRule kBulkRecordPoll{Millis{0}, 50, false, false};

}  // namespace

bool GaugeLink::IspEnsureConnected(std::string_view message, bool set_status) {
  if (transport_.EnsureConnected()) return true;
  if (set_status) SetStatus(LinkStatus::kNoAdapter);
  messages_.Show(message);
  return false;
}

bool GaugeLink::IspWriteWord(std::uint16_t value, bool pec) {
  const std::uint8_t low = common::LowByte(value);
  const std::uint8_t high = common::HighByte(value);
  bool ok = false;
  if (transport_.transport() == Transport::kBulk) {
    const std::array<std::uint8_t, 2> data = {low, high};
    ok = transport_.BulkWriteCommand(kIspStatusCommand, data);
  } else {
    std::array<std::uint8_t, 8> header = {hid::kShortHeaderId, hid::kWriteAddress,
                                          kIspStatusCommand, low, high, 0, 0, 4};
    if (pec) {
      header[5] = Pec({hid::kWriteAddress, kIspStatusCommand, low, high});
      header[7] = 5;
    }
    ok = transport_.HidSend(header);
  }
  if (!ok) messages_.Show(messages::kUsbTransferError);
  return ok;
}

GaugeLink::StatusRead GaugeLink::IspReadStatus(bool pec, std::uint16_t& status, bool& pec_ok) {
  std::uint8_t received_pec = 0;
  bool check_pec = pec;
  if (transport_.transport() == Transport::kBulk) {
    std::array<std::uint8_t, 3> data{};
    if (!transport_.BulkReadCommand(kIspStatusCommand, data)) return StatusRead::kTransferError;
    status = common::LittleEndianWord(data[0], data[1]);
    received_pec = data[2];
    check_pec = true;  // the bulk adapter always returns the PEC, so it is always checked
  } else {
    const std::uint8_t read_count = pec ? 3 : 2;
    const std::array<std::uint8_t, 8> header = {
        hid::kShortHeaderId, hid::kReadAddress, kIspStatusCommand, 0, 0, 0, read_count, 2};
    HidReport response{};
    const std::size_t status_position = std::size_t{read_count} + 1;
    if (!transport_.HidTransactNoWait(header, status_position, response)) {
      return StatusRead::kTransferError;
    }
    if (response[status_position] != 0) return StatusRead::kNoAnswer;
    status = common::LittleEndianWord(response[1], response[2]);
    received_pec = response[3];
  }
  pec_ok = !check_pec ||
           received_pec == Pec({hid::kWriteAddress, kIspStatusCommand, hid::kReadAddress,
                                common::LowByte(status), common::HighByte(status)});
  return StatusRead::kRead;
}

IspResult GaugeLink::IspPoll(bool pec, const IspPollRule& rule) {
  std::uint16_t last = 0;
  for (int read = 1; read <= rule.max_reads; ++read) {
    clock_.SleepFor(rule.wait);
    std::uint16_t status = 0;
    bool pec_ok = true;
    const StatusRead outcome = IspReadStatus(pec, status, pec_ok);
    if (outcome == StatusRead::kTransferError) {
      messages_.Show(messages::kUsbTransferError);
      return {kIspAdapterFailure, 0};
    }
    if (outcome == StatusRead::kNoAnswer) continue;
    last = status;
    const std::uint8_t low = common::LowByte(status);
    const std::uint8_t high = common::HighByte(status);
    const bool accepted = low == kStatusReady && (high == 1 || (rule.accept_zero_high && high == 0));
    if (!accepted) continue;
    if (read == rule.max_reads && !rule.final_read_counts) break;
    if (!pec_ok) return {kIspPecMismatch, status};
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
  if (!IspEnsureConnected(messages::kUsbNotConnectedDataBlock, false)) return {};
  if (record.empty() || record.size() > kFlashPageSize) return {};
  const auto count = static_cast<std::uint8_t>(record.size());
  bool sent = false;
  if (transport_.transport() == Transport::kBulk) {
    Bytes payload{count};
    payload.insert(payload.end(), record.begin(), record.end());
    sent = transport_.BulkWriteCommand(kIspDataCommand, payload);
  } else {
    // Count byte, the record and, with PEC on, the PEC follow the header in one data report.
    const auto follow = static_cast<std::uint8_t>(count + (pec ? 2 : 1));
    const std::array<std::uint8_t, 8> header = {
        hid::kShortHeaderId, hid::kWriteAddress, kIspDataCommand, 0, 0, 0, follow, 2};
    HidReport report{};
    report[1] = count;
    std::copy(record.begin(), record.end(), report.begin() + 2);
    if (pec) {
      report[2 + count] = Pec(record, Pec({hid::kWriteAddress, kIspDataCommand, count}));
    }
    sent = transport_.HidSendQuick(header) && transport_.HidSendDataQuick(follow, report);
  }
  if (!sent) {
    messages_.Show(messages::kUsbTransferError);
    return {};
  }
  return IspPoll(pec, transport_.transport() == Transport::kBulk ? kBulkRecordPoll
                                                                 : kHidRecordPoll);
}

bool GaugeLink::IspCommand(bool pec) {
  if (!IspEnsureConnected(messages::kUsbNotConnected, true)) return false;
  return IspWriteWord(kLeaveUpdateMode, pec);
}

}  // namespace cw::link
