#include "link/bulk_protocol.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include <algorithm>
#include <array>
#include <bit>

#include "link/command_codes.h"
#include "link/hid_reports.h"
#include "link/messages.h"
#include "link/pec.h"

namespace cw::link {
namespace {

using common::Bytes;
using common::ByteView;
using common::Millis;

constexpr Millis kTurnaround{8};

using Packet = std::array<std::uint8_t, bulk::kPacketLength>;

static_assert(kMaxTransferBytes <= bulk::kMaxReadLength &&
              kMaxTransferBytes <= bulk::kMaxWriteLength + 1);

// The count byte, then the data: what a block write puts after its command.
Bytes CountedPayload(ByteView data) {
  Bytes payload{static_cast<std::uint8_t>(data.size())};
  payload.insert(payload.end(), data.begin(), data.end());
  return payload;
}

// The start of every request packet to the gauge.
Packet Request(std::uint8_t opcode, std::uint8_t command) {
  Packet packet{};
  packet[bulk::kOpcodeByte] = opcode;
  packet[bulk::kBusByte] = bulk::kBusValue;
  packet[bulk::kAddressByte] = hid::kWriteAddress;
  packet[bulk::kCommandByte] = command;
  return packet;
}

AttemptOutcome Acknowledged(bool ok) {
  return ok ? AttemptOutcome::kSuccess : AttemptOutcome::kRefused;
}

}  // namespace

void BulkProtocol::Close() {
  if (device_) {
    device_->ReleaseInterface(bulk::kInterface);
    device_.reset();
  }
}

// ---------------------------------------------------------------- gauge exchanges

AttemptOutcome BulkProtocol::ReadWord(std::uint8_t command, std::uint16_t& value) {
  // Two bytes, as the adapter reads a word: the gauge's PEC is not among them.
  std::array<std::uint8_t, 2> data{};
  if (!ReadCommand(command, kWordReply, data)) return AttemptOutcome::kRefused;
  value = common::LittleEndianWord(data[0], data[1]);
  return AttemptOutcome::kSuccess;
}

AttemptOutcome BulkProtocol::WriteWord(std::uint8_t command, std::uint16_t value) {
  const std::array<std::uint8_t, 2> data = {common::LowByte(value), common::HighByte(value)};
  return Acknowledged(WriteCommand(command, data));
}

AttemptOutcome BulkProtocol::ReadCountedBlock(std::uint8_t command, std::size_t max_length,
                                              Bytes& data) {
  // The PEC follows a block shorter than the row's longest.
  Bytes reply(max_length + 1);
  if (!ReadCommand(command, kBlockReply, reply)) return AttemptOutcome::kRefused;
  data.assign(reply.begin() + 1, reply.begin() + 1 + reply[0]);
  return AttemptOutcome::kSuccess;
}

AttemptOutcome BulkProtocol::ReadBlock(std::uint8_t command, std::uint8_t length, Bytes& out) {
  const bool from_count = length == hid::kBlockLengthFromGauge;
  Bytes data(from_count ? 36 : length);
  if (!ReadCommand(command, kReplyAsRead, data)) return AttemptOutcome::kRefused;
  out.assign(data.begin(), data.begin() + (from_count ? 35 : length));
  return AttemptOutcome::kSuccess;
}

AttemptOutcome BulkProtocol::WriteBlock(std::uint8_t command, ByteView data) {
  return Acknowledged(WriteCommand(command, CountedPayload(data)));
}

AttemptOutcome BulkProtocol::WriteBytes(ByteView bytes) {
  return Acknowledged(WriteCommand(bytes[0], bytes.subspan(1)));
}

// A refused request write is tried again at once; a refused reply read after the wait.
AttemptOutcome BulkProtocol::ReadManufacturerBlock(std::uint8_t subcommand, std::uint8_t length,
                                                   Bytes& out) {
  const std::array<std::uint8_t, 3> request = {2, subcommand, 0};
  if (!WriteCommand(kManufacturerBlockAccess, request)) return AttemptOutcome::kRefusedAtOnce;
  Bytes reply(std::size_t{length} + 4);
  if (!ReadCommand(kManufacturerBlockAccess, kBlockReply, reply)) return AttemptOutcome::kRefused;
  out = std::move(reply);
  return AttemptOutcome::kSuccess;
}

AttemptOutcome BulkProtocol::ReadFlashPage(std::uint8_t page, std::uint8_t count, Bytes& out) {
  // Count byte and data only: the read stops before the PEC.
  Bytes data(std::size_t{count} + 1);
  if (!ReadCommand(static_cast<std::uint8_t>(kFlashPageCommand + page), BlockReplyOf(count),
                   data)) {
    return AttemptOutcome::kRefused;
  }
  out.assign(data.begin() + 1, data.end());
  return AttemptOutcome::kSuccess;
}

// The gauge settles after the packet: there is no status to fetch.
AttemptOutcome BulkProtocol::WriteFlashPage(std::uint8_t page, ByteView data) {
  const auto written = WriteBlock(static_cast<std::uint8_t>(kFlashPageCommand + page), data);
  if (written == AttemptOutcome::kSuccess) clock_.SleepFor(FlashPageWriteSettle(data.size()));
  return written;
}

AttemptOutcome BulkProtocol::WriteParameterPage(std::uint8_t page, ByteView data) {
  return WriteBlock(static_cast<std::uint8_t>(kFlashPageCommand + page), data);
}

// Every page packet was acknowledged on its own.
AttemptOutcome BulkProtocol::ConfirmParameterWrite() { return AttemptOutcome::kSuccess; }

AttemptOutcome BulkProtocol::ReadFlashBlock(std::uint16_t selector, FlashBlock& block) {
  const std::array<std::uint8_t, 2> address = {common::LowByte(selector),
                                               common::HighByte(selector)};
  if (!WriteCommand(kFlashBlockCommand, address)) return AttemptOutcome::kRefusedAtOnce;
  std::array<std::uint8_t, kFlashPageSize + 1> data{};
  if (!ReadCommand(kFlashBlockCommand, BlockReplyOf(kFlashPageSize), data)) {
    return AttemptOutcome::kRefused;
  }
  std::copy(data.begin() + 1, data.end(), block.begin());
  return AttemptOutcome::kSuccess;
}

// The adapter appends the PEC of every write, whatever the update asked for.
bool BulkProtocol::WriteIspWord(std::uint16_t value, bool /*pec*/) {
  const std::array<std::uint8_t, 2> data = {common::LowByte(value), common::HighByte(value)};
  return WriteCommand(kIspStatusCommand, data);
}

// The bulk adapter always returns the PEC, so it is always checked.
IspStatusReply BulkProtocol::ReadIspStatus(bool /*pec*/) {
  std::array<std::uint8_t, 3> data{};
  if (!ReadCommand(kIspStatusCommand, kReplyAsRead, data)) {
    return {IspStatusReply::Outcome::kTransferError};
  }
  return {IspStatusReply::Outcome::kRead, common::LittleEndianWord(data[0], data[1]),
          ReadPecMatches(kIspStatusCommand, ByteView(data).first(2), data[2])};
}

bool BulkProtocol::WriteIspRecord(ByteView record, bool /*pec*/) {
  return WriteCommand(kIspDataCommand, CountedPayload(record));
}

// The adapter's own turnaround already paces the record polls.
Millis BulkProtocol::IspRecordPollWait() const { return Millis{0}; }

std::optional<AdapterVersion> BulkProtocol::ReadAdapterVersion() {
  Packet packet{};
  packet[bulk::kOpcodeByte] = bulk::kOpVersion;
  if (!Exchange(packet, kBulkVersionTimeoutMs)) return std::nullopt;
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | packet[bulk::kVersionFloatByte + i];
  AdapterVersion version;
  version.text = fmt::sprintf("%0.3f", std::bit_cast<float>(bits));
  version.bytes = {packet[14], packet[13], packet[12], 0, 0};
  return version;
}

// ---------------------------------------------------------------- packet exchanges

bool BulkProtocol::Drop() {
  state_.connected = false;
  return false;
}

bool BulkProtocol::TransferWhole(std::uint8_t endpoint,
                                 std::span<std::uint8_t, bulk::kPacketLength> packet,
                                 unsigned timeout_ms) {
  const int result = device_->BulkTransfer(endpoint, packet, timeout_ms);
  if (result == static_cast<int>(bulk::kPacketLength)) return true;
  if (result < 0) {
    state_.fault = {FaultKindOfUsbResult(result), usb_.ErrorText(result),
                    std::string(UsbResultName(result))};
    if (!state_.fault) state_.fault.kind = FaultKind::kOther;
  } else {
    state_.fault = {FaultKind::kShortReply,
                    fmt::format(messages::kShortReply, result, bulk::kPacketLength),
                    {}};
  }
  return false;
}

// Only a whole reply to this request whose acknowledge byte is clear is the gauge's refusal;
// every other failure is the adapter's and leaves a fault that says so.
bool BulkProtocol::Exchange(std::span<std::uint8_t, bulk::kPacketLength> packet,
                            unsigned timeout_ms) {
  if (!device_) {
    state_.fault = {FaultKind::kGone, std::string("the bulk adapter is not open"), {}};
    return Drop();
  }
  const std::uint8_t opcode = packet[0];
  if (!TransferWhole(bulk::kEndpointOut, packet, timeout_ms)) return Drop();
  clock_.SleepFor(kTurnaround);
  std::fill(packet.begin(), packet.end(), 0);
  if (!TransferWhole(bulk::kEndpointIn, packet, timeout_ms)) return Drop();
  if (opcode == bulk::kOpVersion) return true;
  if (packet[0] != opcode) {
    state_.fault = {
        FaultKind::kBadReply, fmt::format("reply {:02X} to request {:02X}", packet[0], opcode), {}};
    return Drop();
  }
  if (packet[bulk::kAckByte] == 0) return Drop();
  return true;
}

bool BulkProtocol::ReadCommand(std::uint8_t command, const ReplyForm& form,
                               std::span<std::uint8_t> out) {
  if (out.size() > bulk::kMaxReadLength) return false;
  Packet packet = Request(bulk::kOpRead, command);
  packet[bulk::kReadLengthByte] = static_cast<std::uint8_t>(out.size());
  if (!Exchange(packet, kBulkCommandTimeoutMs)) return false;
  std::copy_n(packet.begin() + bulk::kDataStart, out.size(), out.begin());
  // The adapter carried the reply well; a bad one is the gauge's, so the connection stays.
  return ReplyIntact(command, form, out);
}

bool BulkProtocol::WriteCommand(std::uint8_t command, ByteView data) {
  if (data.size() > bulk::kMaxWriteLength) return false;
  Packet packet = Request(bulk::kOpWrite, command);
  packet[bulk::kWriteLengthByte] = static_cast<std::uint8_t>(data.size() + 1);
  std::copy(data.begin(), data.end(), packet.begin() + bulk::kDataStart);
  packet[bulk::kDataStart + data.size()] = Pec(data, Pec({hid::kWriteAddress, command}));
  return Exchange(packet, kBulkCommandTimeoutMs);
}

}  // namespace cw::link
