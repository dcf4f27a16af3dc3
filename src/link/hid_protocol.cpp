#include "link/hid_protocol.h"

#include <fmt/format.h>

#include <algorithm>

#include "link/command_codes.h"
#include "link/pec.h"

namespace cw::link {
namespace {

using common::Bytes;
using common::ByteView;
using common::Millis;

constexpr int kHidTries = 10;
constexpr Millis kNoWait{0};
constexpr Millis kStatusFetchSettle{1};
constexpr Millis kSubCmdReplySettle{10};
constexpr Millis kParameterWriteSettle{20};
constexpr Millis kRecordPoll{5};

using hid::kReadAddress;
using hid::kWriteAddress;

using HidHeader = std::array<std::uint8_t, hid::kShortHeaderLength>;

static_assert(kMaxTransferBytes + 2 == hid::kMaxReportLength);

// A write of `follow` bytes in a data report after a header that holds `header_bytes` bytes of
// the write phase: address, command and count byte (3), address and command (2), address (1).
HidHeader WriteHeader(std::uint8_t command, std::uint8_t follow, std::uint8_t header_bytes) {
  return {hid::kShortHeaderId, kWriteAddress, command, 0, 0, 0, follow, header_bytes};
}

constexpr std::uint8_t ToPackedBcd(std::uint8_t value) {
  return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10));
}

AttemptOutcome StatusOutcome(std::optional<std::uint8_t> status) {
  if (!status) return AttemptOutcome::kExchangeFailed;
  return *status == 0 ? AttemptOutcome::kSuccess : AttemptOutcome::kRefused;
}

// A refused request write of a manufacturer block read ends the transaction.
AttemptOutcome FinalIfRefused(AttemptOutcome outcome) {
  return outcome == AttemptOutcome::kRefused ? AttemptOutcome::kRefusedFinal : outcome;
}

}  // namespace

Millis TransactSettleTime(std::uint8_t write_count, std::uint8_t read_count, std::size_t count) {
  if (write_count <= 3 && count <= 5) return Millis{8};
  if (read_count == hid::kBlockLengthFromGauge) return Millis{25};
  return (write_count + read_count < 29) ? Millis{20} : Millis{30};
}

Millis TransactFastSettleTime(std::uint8_t write_count, std::size_t count) {
  return (write_count > 3 || count > 5) ? Millis{10} : Millis{5};
}

Millis SendCheckedSettleTime(std::uint8_t write_count) {
  if (write_count >= 26) return Millis{30};
  if (write_count < 9) return Millis{8};
  return Millis{20};
}

// ---------------------------------------------------------------- gauge exchanges

AttemptOutcome HidProtocol::Read(std::uint8_t command, std::uint8_t read_count, std::size_t count,
                                 Pace pace, const ReplyForm& form, HidReport& response) {
  const HidHeader header = {hid::kShortHeaderId, kReadAddress, command, 0, 0, 0, read_count, 2};
  bool exchanged = false;
  switch (pace) {
    case Pace::kSettled:
      exchanged = HidTransact(header, count, response);
      break;
    case Pace::kFast:
      exchanged = HidTransactFast(header, count, response);
      break;
    case Pace::kNoWait:
      exchanged = HidTransactNoWait(header, count, response);
      break;
  }
  if (!exchanged) return AttemptOutcome::kExchangeFailed;
  std::size_t status_position = count;
  if (read_count == hid::kBlockLengthFromGauge) {
    const std::uint8_t block_count = response[1];
    status_position = std::size_t{block_count} + 2;
    if (block_count > kMaxBlockData || status_position >= hid::SizeClassFor(count).length) {
      return AttemptOutcome::kRefused;  // a count byte that points past the report is no reply
    }
  }
  if (response[status_position] != 0) return AttemptOutcome::kRefused;
  // The bytes read lie between the report id and the status.
  if (!ReplyIntact(command, form, ByteView(response).subspan(1, status_position - 1))) {
    return AttemptOutcome::kRefused;
  }
  return AttemptOutcome::kSuccess;
}

AttemptOutcome HidProtocol::WriteStatus(Millis settle) {
  clock_.SleepFor(settle);
  return StatusOutcome(HidFetchStatus());
}

AttemptOutcome HidProtocol::ReadWordPaced(std::uint8_t command, Pace pace, std::uint16_t& value) {
  HidReport response{};
  const auto read = Read(command, 3, 4, pace, kWordReply, response);
  if (read == AttemptOutcome::kSuccess) value = common::LittleEndianWord(response[1], response[2]);
  return read;
}

AttemptOutcome HidProtocol::ReadWord(std::uint8_t command, std::uint16_t& value) {
  return ReadWordPaced(command, Pace::kSettled, value);
}

AttemptOutcome HidProtocol::ReadScanWord(std::uint8_t command, std::uint16_t& value) {
  return ReadWordPaced(command, Pace::kNoWait, value);
}

AttemptOutcome HidProtocol::WriteWord(std::uint8_t command, std::uint16_t value) {
  const std::uint8_t low = common::LowByte(value);
  const std::uint8_t high = common::HighByte(value);
  const HidHeader header = {hid::kShortHeaderId,
                            kWriteAddress,
                            command,
                            low,
                            high,
                            Pec({kWriteAddress, command, low, high}),
                            0,
                            5};
  return StatusOutcome(HidSendChecked(header));
}

AttemptOutcome HidProtocol::ReadCountedBlock(std::uint8_t command, std::size_t max_length,
                                             Bytes& data) {
  // Read to the count byte, so no PEC follows for a check: only the count is the gauge's word.
  HidReport response{};
  const auto read = Read(command, hid::kBlockLengthFromGauge, max_length + 1, Pace::kSettled,
                         kBlockReply, response);
  if (read == AttemptOutcome::kSuccess) {
    data.assign(response.begin() + 2, response.begin() + 2 + response[1]);
  }
  return read;
}

AttemptOutcome HidProtocol::ReadBlock(std::uint8_t command, std::uint8_t length, Bytes& out) {
  const bool from_count = length == hid::kBlockLengthFromGauge;
  const std::size_t out_length = from_count ? 35 : length;
  const std::size_t count = from_count ? 32 : std::size_t{length} + 1;
  HidReport response{};
  const auto read = Read(command, length, count, Pace::kSettled, kReplyAsRead, response);
  if (read == AttemptOutcome::kSuccess) {
    out.assign(response.begin() + 1,
               response.begin() + 1 + static_cast<std::ptrdiff_t>(out_length));
  }
  return read;
}

AttemptOutcome HidProtocol::BlockWrite(std::uint8_t command, ByteView data, Millis settle) {
  const auto count = static_cast<std::uint8_t>(data.size());
  HidHeader header = WriteHeader(command, static_cast<std::uint8_t>(count + 1), 3);
  header[3] = count;
  if (!HidSend(header)) return AttemptOutcome::kExchangeFailed;
  HidReport report{};
  std::copy(data.begin(), data.end(), report.begin() + 1);
  report[1 + count] = Pec(data, Pec({kWriteAddress, command, count}));
  if (!HidSendData(count + 1, report)) return AttemptOutcome::kExchangeFailed;
  return WriteStatus(settle);
}

AttemptOutcome HidProtocol::WriteBlock(std::uint8_t command, ByteView data) {
  return BlockWrite(command, data, kBlockWriteSettle);
}

AttemptOutcome HidProtocol::WriteBytes(ByteView bytes) {
  const auto count = static_cast<std::uint8_t>(bytes.size());
  if (!HidSend(WriteHeader(0, static_cast<std::uint8_t>(count + 1), 1))) {
    return AttemptOutcome::kExchangeFailed;
  }
  HidReport report{};
  std::copy(bytes.begin(), bytes.end(), report.begin() + 1);
  report[1 + count] = Pec(bytes, PecUpdate(0, kWriteAddress));
  if (!HidSendData(count + 1, report)) return AttemptOutcome::kExchangeFailed;
  return WriteStatus(kBlockWriteSettle);
}

// The whole write travels in a 16-byte header.
AttemptOutcome HidProtocol::ReadManufacturerBlock(std::uint8_t subcommand, std::uint8_t length,
                                                  Bytes& out) {
  std::array<std::uint8_t, hid::kLongHeaderLength> long_header = {
      hid::kLongHeaderId,
      kWriteAddress,
      kManufacturerBlockAccess,
      2,
      subcommand,
      0,
      Pec({kWriteAddress, kManufacturerBlockAccess, 2, subcommand, 0})};
  long_header[15] = 6;
  const auto written = FinalIfRefused(StatusOutcome(HidSendChecked(long_header)));
  if (written != AttemptOutcome::kSuccess) return written;
  return ReadManufacturerReply(length, Pace::kFast, out);
}

// A short header, the write in a data report; the reply is fetched once the gauge had time.
AttemptOutcome HidProtocol::ReadSubCmdReply(std::uint8_t subcommand, std::uint8_t length,
                                            Bytes& out) {
  const std::array<std::uint8_t, 4> request = {kManufacturerBlockAccess, 2, subcommand, 0};
  const auto written = FinalIfRefused(WriteBytes(request));
  if (written != AttemptOutcome::kSuccess) return written;
  clock_.SleepFor(kSubCmdReplySettle);
  return ReadManufacturerReply(length, Pace::kSettled, out);
}

AttemptOutcome HidProtocol::ReadManufacturerReply(std::uint8_t length, Pace pace, Bytes& out) {
  const auto reply_length = static_cast<std::uint8_t>(length + 4);
  HidReport response{};
  const auto read = Read(kManufacturerBlockAccess, reply_length, std::size_t{length} + 5, pace,
                         kBlockReply, response);
  if (read == AttemptOutcome::kSuccess) {
    out.assign(response.begin() + 1, response.begin() + 1 + reply_length);
  }
  return read;
}

AttemptOutcome HidProtocol::ReadFlashPage(std::uint8_t page, std::uint8_t count, Bytes& out) {
  const auto command = static_cast<std::uint8_t>(kFlashPageCommand + page);
  HidReport response{};
  const auto read = Read(command, static_cast<std::uint8_t>(count + 2), std::size_t{count} + 3,
                         Pace::kSettled, BlockReplyOf(count), response);
  if (read == AttemptOutcome::kSuccess) {
    out.assign(response.begin() + 2, response.begin() + 2 + count);
  }
  return read;
}

AttemptOutcome HidProtocol::WriteFlashPage(std::uint8_t page, ByteView data) {
  return BlockWrite(static_cast<std::uint8_t>(kFlashPageCommand + page), data,
                    FlashPageWriteSettle(data.size()));
}

// One page of a parameter write: the count byte travels in the data report.
AttemptOutcome HidProtocol::WriteParameterPage(std::uint8_t page, ByteView data) {
  const auto command = static_cast<std::uint8_t>(kFlashPageCommand + page);
  const auto count = static_cast<std::uint8_t>(data.size());
  if (!HidSend(WriteHeader(command, static_cast<std::uint8_t>(count + 2), 2))) {
    return AttemptOutcome::kExchangeFailed;
  }
  HidReport report{};
  report[1] = count;
  std::copy(data.begin(), data.end(), report.begin() + 2);
  report[2 + count] = Pec(data, Pec({kWriteAddress, command, count}));
  if (!HidSendData(std::size_t{count} + 2, report)) return AttemptOutcome::kExchangeFailed;
  return AttemptOutcome::kSuccess;
}

// Only the last block's status is fetched: the gauge keeps the status of the last write.
AttemptOutcome HidProtocol::ConfirmParameterWrite() { return WriteStatus(kParameterWriteSettle); }

AttemptOutcome HidProtocol::ReadFlashBlock(std::uint16_t selector, FlashBlock& block) {
  if (const auto written = WriteWord(kFlashBlockCommand, selector);
      written != AttemptOutcome::kSuccess) {
    return written;
  }
  HidReport response{};
  const auto read =
      Read(kFlashBlockCommand, 34, 35, Pace::kSettled, BlockReplyOf(kFlashPageSize), response);
  if (read == AttemptOutcome::kSuccess) {
    std::copy(response.begin() + 2, response.begin() + 34, block.begin());
  }
  return read;
}

bool HidProtocol::WriteIspWord(std::uint16_t value, bool pec) {
  const std::uint8_t low = common::LowByte(value);
  const std::uint8_t high = common::HighByte(value);
  HidHeader header = {hid::kShortHeaderId, kWriteAddress, kIspStatusCommand, low, high, 0, 0, 4};
  if (pec) {
    header[5] = Pec({kWriteAddress, kIspStatusCommand, low, high});
    header[7] = 5;
  }
  return HidSend(header);
}

IspStatusReply HidProtocol::ReadIspStatus(bool pec) {
  using Outcome = IspStatusReply::Outcome;
  const std::uint8_t read_count = pec ? 3 : 2;
  HidReport response{};
  // Read as it is: a PEC mismatch is a result of its own for the update.
  const auto read = Read(kIspStatusCommand, read_count, std::size_t{read_count} + 1, Pace::kNoWait,
                         kReplyAsRead, response);
  if (read == AttemptOutcome::kExchangeFailed) return {Outcome::kTransferError};
  if (read != AttemptOutcome::kSuccess) return {Outcome::kNoAnswer};
  const auto word = ByteView(response).subspan(1, 2);
  return {Outcome::kRead, common::LittleEndianWord(word[0], word[1]),
          !pec || ReadPecMatches(kIspStatusCommand, word, response[3])};
}

bool HidProtocol::WriteIspRecord(ByteView record, bool pec) {
  // Count byte, the record and, with PEC on, the PEC follow the header in one data report.
  const auto count = static_cast<std::uint8_t>(record.size());
  const auto follow = static_cast<std::uint8_t>(count + (pec ? 2 : 1));
  HidReport report{};
  report[1] = count;
  std::copy(record.begin(), record.end(), report.begin() + 2);
  if (pec) report[2 + count] = Pec(record, Pec({kWriteAddress, kIspDataCommand, count}));
  if (!HidSendQuick(WriteHeader(kIspDataCommand, follow, 2)) || !HidSendDataQuick(follow, report)) {
    return false;
  }
  // The adapter's status of the write tells a record the bus refused from one the boot loader
  // took: without it a lost record shows only as data loss on the next one, and the whole
  // update starts again from its handshake.
  return HidFetchStatus() == std::optional<std::uint8_t>{0};
}

Millis HidProtocol::IspRecordPollWait() const { return kRecordPoll; }

std::optional<AdapterVersion> HidProtocol::ReadAdapterVersion() {
  const std::array<std::uint8_t, hid::kAdapterCommandLength> request = {
      hid::kAdapterCommandId, 0xFF, hid::kAdapterReadVersion, 0, 0, 0, 7, 0};
  if (!CollectionFor(hid::kAdapterCommandId) || !CollectionFor(3)) return std::nullopt;
  if (!SetReport(request, Millis{10})) return std::nullopt;
  Wait(kStatusFetchSettle);
  std::array<std::uint8_t, 8> response{};
  response[0] = 3;
  if (!GetReport(response, Millis{10})) return std::nullopt;
  AdapterVersion version;
  version.bytes = {ToPackedBcd(response[5]), ToPackedBcd(response[6]), ToPackedBcd(response[7]),
                   static_cast<std::uint8_t>((response[3] << 4) | (response[4] & 0x0F)), 0};
  std::string digits = fmt::format("{:04X}", version.bytes[3] << 8);
  version.text = digits.substr(0, 1) + "." + digits.substr(1);
  return version;
}

// ---------------------------------------------------------------- report exchanges

void HidProtocol::Wait(Millis duration) {
  if (duration.count() > 0) clock_.SleepFor(duration);
}

HidCollection* HidProtocol::CollectionFor(std::uint8_t report_id) {
  const int slot = hid::UsageSlot(report_id);
  if (slot < 0) return nullptr;
  return collections_[static_cast<std::size_t>(slot)].get();
}

// Every set and get is tried up to ten times on the collection that carries the report id. When
// no collection carries it, or every try failed, the adapter counts as gone: the next
// transaction opens it again. A report that timed out is not tried again: the kernel has just
// spent its whole time-out on it, and ten of those would keep a silent adapter busy for minutes.
bool HidProtocol::TryReport(std::uint8_t report_id, Millis wait_after_failure,
                            common::FunctionRef<bool(HidCollection&)> exchange) {
  HidCollection* collection = CollectionFor(report_id);
  if (collection == nullptr) {
    state_.fault = {FaultKind::kOther,
                    fmt::format("no collection of the adapter carries report {}", report_id),
                    {}};
  }
  for (int attempt = 0; collection != nullptr && attempt < kHidTries; ++attempt) {
    if (exchange(*collection)) return true;
    state_.fault = collection->LastFault();
    if (!state_.fault) state_.fault.kind = FaultKind::kOther;
    if (state_.fault.kind == FaultKind::kTimedOut) break;
    Wait(wait_after_failure);
  }
  state_.connected = false;
  return false;
}

bool HidProtocol::SetReport(std::span<const std::uint8_t> report, Millis wait_after_failure) {
  return TryReport(report.empty() ? 0 : report[0], wait_after_failure,
                   [&](HidCollection& collection) { return collection.SetFeature(report); });
}

bool HidProtocol::GetReport(std::span<std::uint8_t> report, Millis wait_after_failure) {
  return TryReport(report.empty() ? 0 : report[0], wait_after_failure,
                   [&](HidCollection& collection) { return collection.GetFeature(report); });
}

bool HidProtocol::HidSend(std::span<const std::uint8_t> request) {
  return SetReport(request, Millis{10});
}

bool HidProtocol::HidSendQuick(std::span<const std::uint8_t> request) {
  return SetReport(request, kNoWait);
}

bool HidProtocol::SendData(std::size_t count, HidReport& report, Millis wait_after_failure) {
  const auto size = hid::SizeClassFor(count);
  report[0] = size.report_id;
  return SetReport(std::span(report).first(size.length), wait_after_failure);
}

bool HidProtocol::HidSendData(std::size_t count, HidReport& report) {
  return SendData(count, report, Millis{10});
}

bool HidProtocol::HidSendDataQuick(std::size_t count, HidReport& report) {
  return SendData(count, report, kNoWait);
}

std::optional<std::uint8_t> HidProtocol::HidFetchStatus() {
  const std::array<std::uint8_t, hid::kAdapterCommandLength> request = {
      hid::kAdapterCommandId, 0xFF, hid::kAdapterFetchStatus, 0, 0, 0, 0, 0};
  if (!SetReport(request, Millis{10})) return std::nullopt;
  Wait(kStatusFetchSettle);
  std::array<std::uint8_t, 8> response{};
  response[0] = 3;
  response[1] = 0xFF;
  if (!GetReport(response, Millis{10})) return std::nullopt;
  return response[1];
}

std::optional<std::uint8_t> HidProtocol::HidSendChecked(std::span<const std::uint8_t> request) {
  if (!HidSend(request)) return std::nullopt;
  Wait(SendCheckedSettleTime(request.back()));
  return HidFetchStatus();
}

bool HidProtocol::Transact(std::span<const std::uint8_t> request, std::size_t count,
                           HidReport& response, ExchangeWaits waits, Millis between) {
  if (!SetReport(request, waits.after_failed_set)) return false;
  Wait(between);
  const auto size = hid::SizeClassFor(count);
  response.fill(0);
  response[0] = size.report_id;
  if (count < size.length) response[count] = 0xFF;  // a status the adapter did not write fails
  return GetReport(std::span(response).first(size.length), waits.after_failed_get);
}

bool HidProtocol::HidTransact(std::span<const std::uint8_t> request, std::size_t count,
                              HidReport& response) {
  const std::size_t length = request.size();
  const Millis between = TransactSettleTime(request[length - 1], request[length - 2], count);
  return Transact(request, count, response, {Millis{10}, Millis{10}}, between);
}

bool HidProtocol::HidTransactFast(std::span<const std::uint8_t> request, std::size_t count,
                                  HidReport& response) {
  const Millis between = TransactFastSettleTime(request.back(), count);
  return Transact(request, count, response, {Millis{5}, Millis{10}}, between);
}

bool HidProtocol::HidTransactNoWait(std::span<const std::uint8_t> request, std::size_t count,
                                    HidReport& response) {
  return Transact(request, count, response, {kNoWait, Millis{2}}, kNoWait);
}

}  // namespace cw::link
