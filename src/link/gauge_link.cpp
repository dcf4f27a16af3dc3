// SMBus transactions of the gauge link: attempts, LinkStatus, notices and the bus lock. The
// framing of each exchange belongs to the protocol of the adapter in use.
#include "link/gauge_link.h"

#include <fmt/format.h>

#include <algorithm>

#include "common/doc_dir.h"
#include "common/printf_format.h"
#include "link/hid_reports.h"
#include "link/messages.h"

namespace cw::link {
namespace {

using common::Bytes;
using common::ByteView;
using common::Millis;

constexpr int kMaxAttempts = 5;
constexpr Millis kBetweenAttempts{100};
constexpr Millis kAdapterIdSettle{50};
constexpr Millis kBetweenTwoKeyWords{100};

// The system's short reason when there is one ("Permission denied"), else the library's words.
std::string DescribeCause(const AdapterFault& fault) {
  return fault.cause.empty() ? fault.detail : fault.cause;
}

// Text of the notice for an adapter that is there but could not be opened or claimed.
std::string ConnectNotice(const ConnectProblem& problem) {
  const std::string cause = DescribeCause(problem.fault);
  switch (problem.fault.kind) {
    case FaultKind::kAccessDenied:
      return fmt::format("{}: {}: install the udev rule (see " CW_DOC_DIR
                         "/bring-up.md) or add yourself to the plugdev group",
                         problem.node, cause);
    case FaultKind::kBusy:
      return fmt::format("{}: {}: another program holds the adapter; close it and try again",
                         problem.node, cause);
    default:
      return fmt::format("{}: {}", problem.node, cause);
  }
}

}  // namespace

bool GaugeLink::EnsureConnected() {
  if (connection_.EnsureConnected()) {
    ShowPendingNotice();
    return true;
  }
  SetStatus(LinkStatus::kNoAdapter);
  // An adapter that is there but cannot be opened is not the same as no adapter: say why.
  if (const auto& problems = connection_.connect_problems(); !problems.empty()) {
    Notice(ConnectNotice(problems.front()));
  }
  return false;
}

void GaugeLink::SetStatus(LinkStatus status) {
  if (status == LinkStatus::kNotResponding && connection_.exchange_fault()) {
    status = LinkStatus::kAdapterNotAnswering;
  }
  status_.store(status);
}

bool GaugeLink::RunAttempts(OnExchangeFailure policy,
                            common::FunctionRef<AttemptOutcome(int, AdapterProtocol&)> attempt) {
  // The status says how the transaction ended, not how one of its attempts did: a gauge that
  // refuses one attempt and answers the next is a gauge that responds.
  LinkStatus failure = LinkStatus::kNotResponding;
  const auto fail = [&] {
    SetStatus(failure);
    return Failed();
  };
  bool wait_first = false;
  for (int number = 1; number <= kMaxAttempts; ++number) {
    if (wait_first) clock_.SleepFor(kBetweenAttempts);
    wait_first = true;
    if (!EnsureConnected()) return false;
    switch (attempt(number, connection_.protocol())) {
      case AttemptOutcome::kSuccess:
        SetStatus(LinkStatus::kConnected);
        ForgetNotice();
        return true;
      case AttemptOutcome::kRefused:
        failure = LinkStatus::kNotResponding;
        break;
      case AttemptOutcome::kRefusedAtOnce:
        failure = LinkStatus::kNotResponding;
        wait_first = false;
        break;
      case AttemptOutcome::kRefusedFinal:
        failure = LinkStatus::kNotResponding;
        return fail();
      case AttemptOutcome::kExchangeFailed:
        failure = LinkStatus::kAdapterNotAnswering;
        if (policy == OnExchangeFailure::kStop) return fail();
        break;
    }
    // The library has just waited its whole time-out; another attempt would only wait again.
    if (connection_.exchange_fault().kind == FaultKind::kTimedOut) return fail();
  }
  return fail();
}

bool GaugeLink::Failed() {
  const AdapterFault& fault = connection_.exchange_fault();
  if (status_.load() == LinkStatus::kAdapterNotAnswering && fault) {
    Notice(fmt::format("{}: the adapter stopped answering: {}", connection_.adapter_node(),
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
  if (!text.empty()) messages_.ShowLinkNotice(text);
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
    : connection_(hid, usb, clock), clock_(clock), messages_(messages), bus_lock_(bus_lock) {}

std::optional<AdapterVersion> GaugeLink::ReadAdapterVersion() {
  std::optional<AdapterVersion> version;
  Locked([&] {
    if (EnsureConnected()) version = connection_.protocol().ReadAdapterVersion();
    // A version request that failed on the USB side says as much about the adapter as a
    // transaction does.
    if (!version && connection_.exchange_fault()) {
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
    return connection_.SetAdapterId(text) && EnsureConnected();
  });
}

// ---------------------------------------------------------------- locked transactions

bool GaugeLink::ReadWord(RegisterRow& row) {
  std::uint16_t value = 0;
  const bool ok = Locked([&] {
    return RunAttempts(OnExchangeFailure::kRetry, [&](int, AdapterProtocol& protocol) {
      return protocol.ReadScanWord(row.command, value);
    });
  });
  row.raw_value = ok ? value : -1;
  return ok;
}

bool GaugeLink::ReadWord(std::uint8_t command, std::uint16_t& value) {
  value = 0;
  std::uint16_t read = 0;
  const bool ok = Locked([&] {
    return RunAttempts(OnExchangeFailure::kRetry, [&](int, AdapterProtocol& protocol) {
      return protocol.ReadWord(command, read);
    });
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
  return RunAttempts(OnExchangeFailure::kRetry, [&](int, AdapterProtocol& protocol) {
    return protocol.WriteWord(command, value);
  });
}

bool GaugeLink::ReadBlock(RegisterRow& row) {
  const std::size_t max_length = std::min<std::size_t>(row.max_length, kMaxBlockData);
  return Locked([&] {
    return RunAttempts(OnExchangeFailure::kRetry, [&](int, AdapterProtocol& protocol) {
      Bytes data;
      const auto read = protocol.ReadCountedBlock(row.command, max_length, data);
      if (read == AttemptOutcome::kSuccess) {
        row.value_text = common::FormatPrintf(row.format, BlockText(data));
      }
      return read;
    });
  });
}

bool GaugeLink::ReadBlock(std::uint8_t command, std::uint8_t length, Bytes& out) {
  out.clear();
  if (length == 0 || (length > kMaxTransferBytes && length != hid::kBlockLengthFromGauge)) {
    return false;
  }
  return Locked([&] {
    return RunAttempts(OnExchangeFailure::kStop, [&](int, AdapterProtocol& protocol) {
      return protocol.ReadBlock(command, length, out);
    });
  });
}

bool GaugeLink::WriteBlock(std::uint8_t command, ByteView data) {
  if (data.empty() || data.size() > kMaxBlockData) return false;
  return Locked([&] {
    return RunAttempts(OnExchangeFailure::kStop, [&](int, AdapterProtocol& protocol) {
      return protocol.WriteBlock(command, data);
    });
  });
}

bool GaugeLink::WriteBytes(ByteView bytes) {
  if (bytes.empty() || bytes.size() > kMaxTransferBytes) return false;
  return Locked([&] {
    return RunAttempts(OnExchangeFailure::kStop,
                       [&](int, AdapterProtocol& protocol) { return protocol.WriteBytes(bytes); });
  });
}

bool GaugeLink::WriteBytesTwice(ByteView first, ByteView second) {
  if (first.empty() || first.size() != second.size() || first.size() > kMaxTransferBytes) {
    return false;
  }
  return Locked([&] {
    int attempts_used = 0;
    const bool first_written =
        RunAttempts(OnExchangeFailure::kStop, [&](int number, AdapterProtocol& protocol) {
          attempts_used = number;
          return protocol.WriteBytes(first);
        });
    // A first word that needed the last attempt is not followed by the second.
    if (!first_written || attempts_used >= kMaxAttempts) return false;
    clock_.SleepFor(kBetweenTwoKeyWords);
    return RunAttempts(OnExchangeFailure::kStop,
                       [&](int, AdapterProtocol& protocol) { return protocol.WriteBytes(second); });
  });
}

bool GaugeLink::ReadManufacturerBlock(std::uint8_t subcommand, std::uint8_t length, Bytes& out) {
  return RunManufacturerBlockRead(&AdapterProtocol::ReadManufacturerBlock, subcommand, length, out,
                                  true);
}

bool GaugeLink::ReadSubCmdReply(std::uint8_t subcommand, std::uint8_t length, Bytes& out) {
  return RunManufacturerBlockRead(&AdapterProtocol::ReadSubCmdReply, subcommand, length, out, true);
}

bool GaugeLink::ReadManufacturerBlockUnlocked(std::uint8_t subcommand, std::uint8_t length,
                                              Bytes& out) {
  return RunManufacturerBlockRead(&AdapterProtocol::ReadManufacturerBlock, subcommand, length, out,
                                  false);
}

bool GaugeLink::RunManufacturerBlockRead(ManufacturerRead read_form, std::uint8_t subcommand,
                                         std::uint8_t length, Bytes& out, bool take_lock) {
  out.clear();
  if (length > 42) return false;
  auto read = [&] {
    return RunAttempts(OnExchangeFailure::kStop, [&](int, AdapterProtocol& protocol) {
      return (protocol.*read_form)(subcommand, length, out);
    });
  };
  return take_lock ? Locked(read) : read();
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
