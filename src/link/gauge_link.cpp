// SMBus transactions of the gauge link: framing on both adapters, attempts, the bus lock.
#include "link/gauge_link.h"

#include <fmt/format.h>

#include <algorithm>

#include "common/printf_format.h"
#include "link/bulk_protocol.h"
#include "link/messages.h"
#include "link/pec.h"

namespace cw::link {
namespace {

using common::Bytes;
using common::ByteView;
using common::Millis;

constexpr int kMaxAttempts = 5;
constexpr Millis kBetweenAttempts{100};
constexpr Millis kAdapterIdSettle{50};
constexpr Millis kBetweenTwoKeyWords{100};
constexpr Millis kSubCmdReplySettle{10};
// A SMBus block never holds more than this many data bytes.
constexpr std::uint8_t kMaxBlockData = 32;

using hid::kReadAddress;
using hid::kWriteAddress;

std::array<std::uint8_t, 8> ReadHeader(std::uint8_t command, std::uint8_t read_count) {
  return {hid::kShortHeaderId, kReadAddress, command, 0, 0, 0, read_count, 2};
}

// The system's short reason when there is one ("Permission denied"), else the library's words.
std::string DescribeCause(const AdapterFault& fault) {
  return fault.cause.empty() ? fault.detail : fault.cause;
}

// Text of the notice for an adapter that is there but could not be opened or claimed.
std::string ConnectNotice(const ConnectProblem& problem) {
  const std::string cause = DescribeCause(problem.fault);
  switch (problem.fault.kind) {
    case FaultKind::kAccessDenied:
      return fmt::format(fmt::runtime(messages::kAccessDeniedNotice), problem.node, cause);
    case FaultKind::kBusy:
      return fmt::format(fmt::runtime(messages::kBusyNotice), problem.node, cause);
    default:
      return fmt::format(fmt::runtime(messages::kCannotOpenNotice), problem.node, cause);
  }
}

}  // namespace

bool GaugeLink::EnsureConnected() {
  if (transport_.EnsureConnected()) {
    ShowPendingNotice();
    return true;
  }
  SetStatus(LinkStatus::kNoAdapter);
  // An adapter that is there but cannot be opened is not the same as no adapter: say why.
  if (const auto& problems = transport_.connect_problems(); !problems.empty()) {
    Notice(ConnectNotice(problems.front()));
  }
  return false;
}

void GaugeLink::SetStatus(LinkStatus status) {
  if (status == LinkStatus::kNotResponding && transport_.exchange_fault()) {
    status = LinkStatus::kAdapterNotAnswering;
  }
  status_.store(status);
}

bool GaugeLink::RunAttempts(OnExchangeFailure policy, common::FunctionRef<Attempt(int)> attempt) {
  bool wait_first = false;
  for (int number = 1; number <= kMaxAttempts; ++number) {
    if (wait_first) clock_.SleepFor(kBetweenAttempts);
    wait_first = true;
    if (!EnsureConnected()) return false;
    switch (attempt(number)) {
      case Attempt::kSuccess:
        SetStatus(LinkStatus::kConnected);
        ForgetNotice();
        return true;
      case Attempt::kRefused:
        SetStatus(LinkStatus::kNotResponding);
        break;
      case Attempt::kRefusedAtOnce:
        SetStatus(LinkStatus::kNotResponding);
        wait_first = false;
        break;
      case Attempt::kRefusedFinal:
        SetStatus(LinkStatus::kNotResponding);
        return Failed();
      case Attempt::kExchangeFailed:
        SetStatus(LinkStatus::kAdapterNotAnswering);
        if (policy == OnExchangeFailure::kStop) return Failed();
        break;
    }
    // The library has just waited its whole time-out; another attempt would only wait again.
    if (transport_.exchange_fault().kind == FaultKind::kTimedOut) return Failed();
  }
  return Failed();
}

bool GaugeLink::Failed() {
  const AdapterFault& fault = transport_.exchange_fault();
  if (status_.load() == LinkStatus::kAdapterNotAnswering && fault) {
    Notice(fmt::format(fmt::runtime(messages::kStoppedAnsweringNotice), transport_.adapter_node(),
                       DescribeFault(fault)));
  }
  return false;
}

void GaugeLink::Notice(std::string text) {
  {
    std::lock_guard lock(notice_mutex_);
    if (text == last_notice_) return;
    last_notice_ = text;
    pending_notice_ = std::move(text);
    notice_pending_ = true;
  }
  ShowPendingNotice();
}

// A message box shown while this thread holds the bus would stall every other user of the bus
// behind it, so the notice waits for the release.
void GaugeLink::ShowPendingNotice() {
  if (!notice_pending_.load() || bus_lock_.HeldByThisThread()) return;
  std::string text;
  {
    std::lock_guard lock(notice_mutex_);
    text = std::move(pending_notice_);
    pending_notice_.clear();
    notice_pending_ = false;
  }
  if (!text.empty()) messages_.Show(text, common::kDefaultCaption, common::MessageIcon::kWarning);
}

// Once the adapter answers again, the next time it stops is news again.
void GaugeLink::ForgetNotice() {
  std::lock_guard lock(notice_mutex_);
  last_notice_.clear();
}

bool GaugeLink::Locked(common::FunctionRef<bool()> body) {
  bool result = false;
  {
    const BusLockGuard bus(bus_lock_);
    result = bus.owns() && body();
  }
  ShowPendingNotice();
  return result;
}

GaugeLink::GaugeLink(HidBackend& hid, UsbBackend& usb, common::Clock& clock,
                     common::MessageSink& messages, BusLock& bus_lock)
    : transport_(hid, usb, clock), clock_(clock), messages_(messages), bus_lock_(bus_lock) {}

std::optional<AdapterVersion> GaugeLink::ReadAdapterVersion() {
  std::optional<AdapterVersion> version;
  Locked([&] {
    if (EnsureConnected()) version = transport_.ReadAdapterVersion();
    // A version request that failed on the USB side says as much about the adapter as a
    // transaction does.
    if (!version && transport_.exchange_fault()) {
      SetStatus(LinkStatus::kAdapterNotAnswering);
      Failed();
    }
    return version.has_value();
  });
  return version;
}

bool GaugeLink::SetAdapterId(std::string_view text) {
  return Locked([&] {
    clock_.SleepFor(kAdapterIdSettle);
    if (transport_.transport() == Transport::kHid) {
      const auto product_id = common::ParseHexNumber(text, 0xFFFF);
      if (!product_id) return false;
      transport_.SetHidProductId(static_cast<std::uint16_t>(*product_id));
    } else {
      transport_.SetSerialPrefix(std::string(text.size() > 2 ? text.substr(2) : ""));
    }
    transport_.ClearConnected();
    return EnsureConnected();
  });
}

// ---------------------------------------------------------------- single attempts

GaugeLink::Attempt GaugeLink::AttemptReadWord(std::uint8_t command, bool row_form,
                                              std::uint16_t& value) {
  if (transport_.transport() == Transport::kBulk) {
    std::array<std::uint8_t, 2> data{};
    if (!transport_.BulkReadCommand(command, data)) return Attempt::kRefused;
    value = common::LittleEndianWord(data[0], data[1]);
    return Attempt::kSuccess;
  }
  const auto header = ReadHeader(command, 3);
  HidReport response{};
  const bool exchanged = row_form ? transport_.HidTransactNoWait(header, 4, response)
                                  : transport_.HidTransact(header, 4, response);
  if (!exchanged) return Attempt::kExchangeFailed;
  if (response[4] != 0) return Attempt::kRefused;
  value = common::LittleEndianWord(response[1], response[2]);
  return Attempt::kSuccess;
}

GaugeLink::Attempt GaugeLink::AttemptWriteWord(std::uint8_t command, std::uint16_t value) {
  const std::uint8_t low = common::LowByte(value);
  const std::uint8_t high = common::HighByte(value);
  if (transport_.transport() == Transport::kBulk) {
    const std::array<std::uint8_t, 2> data = {low, high};
    return transport_.BulkWriteCommand(command, data) ? Attempt::kSuccess : Attempt::kRefused;
  }
  const std::array<std::uint8_t, 8> header = {hid::kShortHeaderId,
                                              kWriteAddress,
                                              command,
                                              low,
                                              high,
                                              Pec({kWriteAddress, command, low, high}),
                                              0,
                                              5};
  const auto status = transport_.HidSendChecked(header);
  if (!status) return Attempt::kExchangeFailed;
  return *status == 0 ? Attempt::kSuccess : Attempt::kRefused;
}

GaugeLink::Attempt GaugeLink::AttemptReadBlockText(RegisterRow& row) {
  const std::size_t max_length = std::min<std::size_t>(row.max_length, kMaxBlockData);
  ByteView data;
  Bytes bulk_data(max_length + 1);
  HidReport response{};
  if (transport_.transport() == Transport::kBulk) {
    if (!transport_.BulkReadCommand(row.command, bulk_data)) return Attempt::kRefused;
    const std::uint8_t count = bulk_data[0];
    if (count > max_length) return Attempt::kRefused;  // would run past what was read
    data = ByteView(bulk_data).subspan(1, count);
  } else {
    const auto header = ReadHeader(row.command, hid::kBlockLengthFromGauge);
    const std::size_t count_position = max_length + 1;
    if (!transport_.HidTransact(header, count_position, response)) {
      return Attempt::kExchangeFailed;
    }
    const std::uint8_t count = response[1];
    const std::size_t status_position = std::size_t{count} + 2;
    if (count > kMaxBlockData || status_position >= hid::SizeClassFor(count_position).length) {
      return Attempt::kRefused;  // a count byte that points past the report is no reply
    }
    if (response[status_position] != 0) return Attempt::kRefused;
    data = ByteView(response).subspan(2, count);
  }
  row.value_text = common::FormatPrintf(row.format, BlockText(data));
  return Attempt::kSuccess;
}

GaugeLink::Attempt GaugeLink::AttemptReadBlock(std::uint8_t command, std::uint8_t length,
                                               Bytes& out) {
  const bool from_count = length == hid::kBlockLengthFromGauge;
  const std::size_t out_length = from_count ? 35 : length;
  if (transport_.transport() == Transport::kBulk) {
    Bytes data(from_count ? 36 : length);
    if (!transport_.BulkReadCommand(command, data)) return Attempt::kRefused;
    out.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(out_length));
    return Attempt::kSuccess;
  }
  const auto header = ReadHeader(command, length);
  const std::size_t count_position = from_count ? 32 : std::size_t{length} + 1;
  HidReport response{};
  if (!transport_.HidTransact(header, count_position, response)) {
    return Attempt::kExchangeFailed;
  }
  std::size_t status_position = count_position;
  if (from_count) {
    if (response[1] > kMaxBlockData) return Attempt::kRefused;
    status_position = std::size_t{response[1]} + 2;
  }
  if (response[status_position] != 0) return Attempt::kRefused;
  out.assign(response.begin() + 1, response.begin() + 1 + static_cast<std::ptrdiff_t>(out_length));
  return Attempt::kSuccess;
}

// A block write with the count byte in the header: header, data report with PEC, settle,
// status. On the bulk adapter the flash page writes settle after the packet instead.
GaugeLink::Attempt GaugeLink::AttemptBlockWrite(std::uint8_t command, ByteView data, Millis settle,
                                                bool settle_on_bulk) {
  const auto count = static_cast<std::uint8_t>(data.size());
  if (transport_.transport() == Transport::kBulk) {
    Bytes payload{count};
    payload.insert(payload.end(), data.begin(), data.end());
    if (!transport_.BulkWriteCommand(command, payload)) return Attempt::kRefused;
    if (settle_on_bulk) clock_.SleepFor(settle);
    return Attempt::kSuccess;
  }
  const std::array<std::uint8_t, 8> header = {hid::kShortHeaderId,
                                              kWriteAddress,
                                              command,
                                              count,
                                              0,
                                              0,
                                              static_cast<std::uint8_t>(count + 1),
                                              3};
  if (!transport_.HidSend(header)) return Attempt::kExchangeFailed;
  HidReport report{};
  std::copy(data.begin(), data.end(), report.begin() + 1);
  report[1 + count] = Pec(data, Pec({kWriteAddress, command, count}));
  if (!transport_.HidSendData(count + 1, report)) return Attempt::kExchangeFailed;
  clock_.SleepFor(settle);
  const auto status = transport_.HidFetchStatus();
  if (!status) return Attempt::kExchangeFailed;
  return *status == 0 ? Attempt::kSuccess : Attempt::kRefused;
}

GaugeLink::Attempt GaugeLink::AttemptWriteBytes(ByteView bytes) {
  const auto count = static_cast<std::uint8_t>(bytes.size());
  if (transport_.transport() == Transport::kBulk) {
    return transport_.BulkWriteCommand(bytes[0], bytes.subspan(1)) ? Attempt::kSuccess
                                                                   : Attempt::kRefused;
  }
  const std::array<std::uint8_t, 8> header = {
      hid::kShortHeaderId, kWriteAddress, 0, 0, 0, 0, static_cast<std::uint8_t>(count + 1), 1};
  if (!transport_.HidSend(header)) return Attempt::kExchangeFailed;
  HidReport report{};
  std::copy(bytes.begin(), bytes.end(), report.begin() + 1);
  report[1 + count] = Pec(bytes, PecUpdate(0, kWriteAddress));
  if (!transport_.HidSendData(count + 1, report)) return Attempt::kExchangeFailed;
  clock_.SleepFor(kBlockWriteSettle);
  const auto status = transport_.HidFetchStatus();
  if (!status) return Attempt::kExchangeFailed;
  return *status == 0 ? Attempt::kSuccess : Attempt::kRefused;
}

GaugeLink::Attempt GaugeLink::AttemptManufacturerBlock(std::uint8_t subcommand, std::uint8_t length,
                                                       Bytes& out, MbaForm form) {
  const std::array<std::uint8_t, 3> request = {2, subcommand, 0};
  const std::uint8_t request_pec = Pec({kWriteAddress, kManufacturerBlockAccess, 2, subcommand, 0});
  const auto reply_length = static_cast<std::uint8_t>(length + 4);
  if (transport_.transport() == Transport::kBulk) {
    if (!transport_.BulkWriteCommand(kManufacturerBlockAccess, request)) {
      return Attempt::kRefusedAtOnce;
    }
    Bytes reply(reply_length);
    if (!transport_.BulkReadCommand(kManufacturerBlockAccess, reply)) return Attempt::kRefused;
    out = std::move(reply);
    return Attempt::kSuccess;
  }
  const auto header = ReadHeader(kManufacturerBlockAccess, reply_length);
  const std::size_t count_position = std::size_t{length} + 5;
  HidReport response{};
  bool exchanged = false;
  if (form == MbaForm::kLocked) {
    std::array<std::uint8_t, hid::kLongHeaderLength> long_header{};
    long_header = {hid::kLongHeaderId, kWriteAddress, kManufacturerBlockAccess, 2, subcommand, 0,
                   request_pec};
    long_header[14] = 0;
    long_header[15] = 6;
    const auto status = transport_.HidSendChecked(long_header);
    if (!status) return Attempt::kExchangeFailed;
    if (*status != 0) return Attempt::kRefusedFinal;
    exchanged = transport_.HidTransactFast(header, count_position, response);
  } else {
    const std::array<std::uint8_t, 8> write_header = {
        hid::kShortHeaderId, kWriteAddress, 0, 0, 0, 0, 5, 1};
    if (!transport_.HidSend(write_header)) return Attempt::kExchangeFailed;
    HidReport report{};
    report[1] = kManufacturerBlockAccess;
    std::copy(request.begin(), request.end(), report.begin() + 2);
    report[5] = request_pec;
    if (!transport_.HidSendData(5, report)) return Attempt::kExchangeFailed;
    clock_.SleepFor(kBlockWriteSettle);
    const auto status = transport_.HidFetchStatus();
    if (!status) return Attempt::kExchangeFailed;
    if (*status != 0) return Attempt::kRefusedFinal;
    clock_.SleepFor(kSubCmdReplySettle);
    exchanged = transport_.HidTransact(header, count_position, response);
  }
  if (!exchanged) return Attempt::kExchangeFailed;
  if (response[count_position] != 0) return Attempt::kRefused;
  out.assign(response.begin() + 1, response.begin() + 1 + reply_length);
  return Attempt::kSuccess;
}

// ---------------------------------------------------------------- locked transactions

bool GaugeLink::ReadWord(RegisterRow& row) {
  std::uint16_t value = 0;
  const bool ok = Locked([&] {
    return RunAttempts(OnExchangeFailure::kRetry,
                       [&](int) { return AttemptReadWord(row.command, true, value); });
  });
  row.raw_value = ok ? value : -1;
  return ok;
}

bool GaugeLink::ReadWord(std::uint8_t command, std::uint16_t& value) {
  value = 0;
  std::uint16_t read = 0;
  const bool ok = Locked([&] {
    return RunAttempts(OnExchangeFailure::kRetry,
                       [&](int) { return AttemptReadWord(command, false, read); });
  });
  if (ok) value = read;
  return ok;
}

bool GaugeLink::WriteWord(const RegisterRow& row) {
  return WriteWord(row.command, static_cast<std::uint16_t>(row.raw_value));
}

bool GaugeLink::WriteWord(std::uint8_t command, std::uint16_t value) {
  return Locked([&] { return WriteWordUnlocked(command, value); });
}

bool GaugeLink::WriteWordUnlocked(std::uint8_t command, std::uint16_t value) {
  return RunAttempts(OnExchangeFailure::kRetry,
                     [&](int) { return AttemptWriteWord(command, value); });
}

bool GaugeLink::ReadBlock(RegisterRow& row) {
  return Locked([&] {
    return RunAttempts(OnExchangeFailure::kRetry, [&](int) { return AttemptReadBlockText(row); });
  });
}

bool GaugeLink::ReadBlock(std::uint8_t command, std::uint8_t length, Bytes& out) {
  out.clear();
  // The response report holds at most 46 bytes after its id and the status.
  if (length == 0 || (length > 46 && length != hid::kBlockLengthFromGauge)) return false;
  return Locked([&] {
    return RunAttempts(OnExchangeFailure::kStop,
                       [&](int) { return AttemptReadBlock(command, length, out); });
  });
}

bool GaugeLink::WriteBlock(std::uint8_t command, ByteView data) {
  if (data.empty() || data.size() > kMaxBlockData) return false;
  return Locked([&] {
    return RunAttempts(OnExchangeFailure::kStop, [&](int) {
      return AttemptBlockWrite(command, data, kBlockWriteSettle, false);
    });
  });
}

bool GaugeLink::WriteBytes(ByteView bytes) {
  if (bytes.empty() || bytes.size() > bulk::kMaxWriteLength) return false;
  return Locked([&] {
    return RunAttempts(OnExchangeFailure::kStop, [&](int) { return AttemptWriteBytes(bytes); });
  });
}

bool GaugeLink::WriteBytesTwice(ByteView first, ByteView second) {
  if (first.empty() || first.size() != second.size() || first.size() > bulk::kMaxWriteLength) {
    return false;
  }
  return Locked([&] {
    int attempts_used = 0;
    const bool first_written = RunAttempts(OnExchangeFailure::kStop, [&](int number) {
      attempts_used = number;
      return AttemptWriteBytes(first);
    });
    // A first word that needed the last attempt is not followed by the second.
    if (!first_written || attempts_used >= kMaxAttempts) return false;
    clock_.SleepFor(kBetweenTwoKeyWords);
    return RunAttempts(OnExchangeFailure::kStop, [&](int) { return AttemptWriteBytes(second); });
  });
}

bool GaugeLink::ReadManufacturerBlock(std::uint8_t subcommand, std::uint8_t length, Bytes& out,
                                      MbaForm form) {
  out.clear();
  if (length > 42) return false;
  return Locked([&] {
    return RunAttempts(OnExchangeFailure::kStop, [&](int) {
      return AttemptManufacturerBlock(subcommand, length, out, form);
    });
  });
}

bool GaugeLink::ReadManufacturerBlockUnlocked(std::uint8_t subcommand, std::uint8_t length,
                                              Bytes& out) {
  out.clear();
  if (length > 42) return false;
  return RunAttempts(OnExchangeFailure::kStop, [&](int) {
    return AttemptManufacturerBlock(subcommand, length, out, MbaForm::kLocked);
  });
}

// ---------------------------------------------------------------- helpers

std::optional<ByteView> ManufacturerBlockData(ByteView reply, std::uint8_t subcommand,
                                              std::uint8_t length) {
  if (reply.size() < std::size_t{length} + 3) return std::nullopt;
  if (reply[0] != length + 2 || reply[1] != subcommand || reply[2] != 0) return std::nullopt;
  return reply.subspan(3, length);
}

std::string BlockText(ByteView data) {
  const std::size_t length = std::min<std::size_t>(data.size(), 31);
  std::string text(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
  std::replace(text.begin(), text.end(), '\0', '@');
  return text;
}

}  // namespace cw::link
