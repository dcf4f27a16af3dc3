// The gauge's command primitives beyond plain registers: status blocks, data-flash subclass
// pages, raw flash blocks and authentication.
#include "link/gauge_link.h"

namespace cw::link {

using common::Bytes;
using common::ByteView;

bool GaugeLink::Settle(AttemptOutcome outcome) {
  switch (outcome) {
    case AttemptOutcome::kSuccess:
      SetStatus(LinkStatus::kConnected);
      return true;
    case AttemptOutcome::kExchangeFailed:
      // Like a failed attempt of the retried transactions: the adapter, not the gauge.
      SetStatus(LinkStatus::kAdapterNotAnswering);
      return Failed();
    default:
      SetStatus(LinkStatus::kNotResponding);
      return false;
  }
}

std::optional<std::uint16_t> GaugeLink::ReadOperationStatus() {
  Bytes reply;
  if (!ReadManufacturerBlock(kOperationStatusSubcommand, 2, reply)) return std::nullopt;
  const auto data = ManufacturerBlockData(reply, kOperationStatusSubcommand, 2);
  if (!data) return std::nullopt;
  return common::LittleEndianWord((*data)[0], (*data)[1]);
}

bool GaugeLink::SelectSubclass(std::uint8_t subclass) {
  if (!EnsureConnected()) return false;
  return Settle(connection_.protocol().WriteWord(kSubclassSelectCommand, subclass));
}

std::optional<Bytes> GaugeLink::ReadFlashPage(std::uint8_t page, std::uint8_t count) {
  if (count == 0 || count > kFlashPageSize || !EnsureConnected()) return std::nullopt;
  Bytes data;
  if (!Settle(connection_.protocol().ReadFlashPage(page, count, data))) return std::nullopt;
  return data;
}

bool GaugeLink::WriteFlashPage(std::uint8_t page, ByteView data) {
  if (data.empty() || data.size() > kFlashPageSize || !EnsureConnected()) return false;
  return Settle(connection_.protocol().WriteFlashPage(page, data));
}

std::optional<FlashPages> GaugeLink::ReadFlashParameterBlock(const FlashParamLocation& row) {
  FlashPages pages;
  const bool ok = RunAttempts(OnExchangeFailure::kRetry, [&](int, AdapterProtocol& protocol) {
    return protocol.ReadFlashParameter(row, pages);
  });
  if (!ok) return std::nullopt;
  return pages;
}

bool GaugeLink::WriteFlashParameterBlock(const FlashParamLocation& row, ByteView encoded) {
  if (encoded.empty() || encoded.size() > 2 * kFlashPageSize) return false;
  return RunAttempts(OnExchangeFailure::kRetry, [&](int, AdapterProtocol& protocol) {
    return protocol.WriteFlashParameter(row, encoded);
  });
}

std::optional<FlashBlock> GaugeLink::ReadFlashBlock(std::uint16_t selector, bool take_lock) {
  FlashBlock block{};
  auto read = [&] {
    return RunAttempts(OnExchangeFailure::kRetry, [&](int, AdapterProtocol& protocol) {
      return protocol.ReadFlashBlock(selector, block);
    });
  };
  if (!(take_lock ? Locked(read) : read())) return std::nullopt;
  return block;
}

std::optional<FlashBlockPlace> PlaceOfFlashBlock(std::uint16_t selector) {
  if (selector >= 0x40 && selector <= 0x7F) {
    return FlashBlockPlace{false, std::size_t{selector - 0x40u} * kFlashPageSize};
  }
  if (selector >= 0xF800 && selector < 0xF800 + 2016) {
    return FlashBlockPlace{true, std::size_t{selector - 0xF800u} * kFlashPageSize};
  }
  return std::nullopt;
}

std::optional<Digest> GaugeLink::SendChallenge(ByteView challenge) {
  if (challenge.size() != kChallengeLength) return std::nullopt;
  Digest digest{};
  const bool ok = RunAttempts(OnExchangeFailure::kRetry, [&](int, AdapterProtocol& protocol) {
    return protocol.Authenticate(0, challenge, digest);
  });
  if (!ok) return std::nullopt;
  return digest;
}

std::optional<Digest> GaugeLink::ChangeAuthKey(ByteView key) {
  if (key.size() != kAuthKeyLength) return std::nullopt;
  Digest digest{};
  const bool ok = RunAttempts(OnExchangeFailure::kRetry, [&](int, AdapterProtocol& protocol) {
    return protocol.Authenticate(kKeyChangeSubcommand, key, digest);
  });
  if (!ok) return std::nullopt;
  return digest;
}

}  // namespace cw::link
