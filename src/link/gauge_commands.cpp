// The gauge's command primitives beyond plain registers: status blocks, data-flash subclass
// pages, raw flash blocks and authentication.
#include <algorithm>

#include "link/bulk_protocol.h"
#include "link/gauge_link.h"
#include "link/pec.h"

namespace cw::link {
namespace {

using common::Bytes;
using common::ByteView;
using common::Millis;

constexpr Millis kBetweenParameterPages{40};
constexpr Millis kParameterWriteSettle{20};
constexpr Millis kAfterKeyChangePrelude{10};
constexpr Millis kDigestReady{100};
// Read count of the digest: count byte, 20 digest bytes, PEC.
constexpr std::uint8_t kDigestReadLength = 22;

Millis PageWriteSettle(std::size_t count) { return count + 1 <= 10 ? Millis{25} : Millis{40}; }

}  // namespace

bool GaugeLink::Settle(Attempt outcome) {
  switch (outcome) {
    case Attempt::kSuccess:
      SetStatus(LinkStatus::kConnected);
      return true;
    case Attempt::kExchangeFailed:
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

GaugeLink::Attempt GaugeLink::AttemptSelectSubclass(std::uint8_t subclass) {
  return AttemptWriteWord(kSubclassSelectCommand, subclass);
}

bool GaugeLink::SelectSubclass(std::uint8_t subclass) {
  if (!EnsureConnected()) return false;
  return Settle(AttemptSelectSubclass(subclass));
}

GaugeLink::Attempt GaugeLink::AttemptReadFlashPage(std::uint8_t page, std::uint8_t count,
                                                   Bytes& out) {
  const auto command = static_cast<std::uint8_t>(kFlashPageCommand + page);
  if (transport_.transport() == Transport::kBulk) {
    Bytes data(std::size_t{count} + 1);
    if (!transport_.BulkReadCommand(command, data)) return Attempt::kRefused;
    out.assign(data.begin() + 1, data.end());
    return Attempt::kSuccess;
  }
  const std::array<std::uint8_t, 8> header = {hid::kShortHeaderId,
                                              hid::kReadAddress,
                                              command,
                                              0,
                                              0,
                                              0,
                                              static_cast<std::uint8_t>(count + 2),
                                              2};
  const std::size_t status_position = std::size_t{count} + 3;
  HidReport response{};
  if (!transport_.HidTransact(header, status_position, response)) {
    return Attempt::kExchangeFailed;
  }
  if (response[status_position] != 0) return Attempt::kRefused;
  out.assign(response.begin() + 2, response.begin() + 2 + count);
  return Attempt::kSuccess;
}

std::optional<Bytes> GaugeLink::ReadFlashPage(std::uint8_t page, std::uint8_t count) {
  if (count == 0 || count > kFlashPageSize || !EnsureConnected()) return std::nullopt;
  Bytes data;
  if (!Settle(AttemptReadFlashPage(page, count, data))) return std::nullopt;
  return data;
}

GaugeLink::Attempt GaugeLink::AttemptWriteFlashPage(std::uint8_t page, ByteView data) {
  const auto command = static_cast<std::uint8_t>(kFlashPageCommand + page);
  return AttemptBlockWrite(command, data, PageWriteSettle(data.size()), true);
}

bool GaugeLink::WriteFlashPage(std::uint8_t page, ByteView data) {
  if (data.empty() || data.size() > kFlashPageSize || !EnsureConnected()) return false;
  return Settle(AttemptWriteFlashPage(page, data));
}

GaugeLink::Attempt GaugeLink::AttemptReadFlashParameter(const FlashParamLocation& row,
                                                        FlashPages& pages) {
  const auto page = static_cast<std::uint8_t>(row.offset / kFlashPageSize);
  const std::size_t page_start = std::size_t{page} * kFlashPageSize;
  if (page_start >= row.subclass_length) return Attempt::kRefusedFinal;
  if (const auto selected = AttemptSelectSubclass(row.subclass); selected != Attempt::kSuccess) {
    return selected;
  }
  pages.first_page = page;
  pages.bytes.clear();
  const bool crosses = row.offset % kFlashPageSize + row.size > kFlashPageSize;
  const std::size_t first_count =
      crosses ? kFlashPageSize
              : std::min<std::size_t>(kFlashPageSize, row.subclass_length - page_start);
  Bytes data;
  if (const auto read = AttemptReadFlashPage(page, static_cast<std::uint8_t>(first_count), data);
      read != Attempt::kSuccess) {
    return read;
  }
  pages.bytes = data;
  if (crosses) {
    const std::size_t rest =
        row.subclass_length > page_start + kFlashPageSize
            ? std::min<std::size_t>(kFlashPageSize,
                                    row.subclass_length - page_start - kFlashPageSize)
            : 0;
    if (rest == 0) return Attempt::kRefusedFinal;  // the field runs past its subclass
    const auto read = AttemptReadFlashPage(static_cast<std::uint8_t>(page + 1),
                                           static_cast<std::uint8_t>(rest), data);
    if (read != Attempt::kSuccess) return read;
    pages.bytes.insert(pages.bytes.end(), data.begin(), data.end());
  }
  return Attempt::kSuccess;
}

std::optional<FlashPages> GaugeLink::ReadFlashParameterBlock(const FlashParamLocation& row) {
  FlashPages pages;
  const bool ok = RunAttempts(OnExchangeFailure::kRetry,
                              [&](int) { return AttemptReadFlashParameter(row, pages); });
  if (!ok) return std::nullopt;
  return pages;
}

// One page of a parameter write: the count byte travels in the data report.
GaugeLink::Attempt GaugeLink::AttemptParameterPageWrite(std::uint8_t page, ByteView data) {
  const auto command = static_cast<std::uint8_t>(kFlashPageCommand + page);
  const auto count = static_cast<std::uint8_t>(data.size());
  if (transport_.transport() == Transport::kBulk) {
    Bytes payload{count};
    payload.insert(payload.end(), data.begin(), data.end());
    return transport_.BulkWriteCommand(command, payload) ? Attempt::kSuccess : Attempt::kRefused;
  }
  const std::array<std::uint8_t, 8> header = {hid::kShortHeaderId,
                                              hid::kWriteAddress,
                                              command,
                                              0,
                                              0,
                                              0,
                                              static_cast<std::uint8_t>(count + 2),
                                              2};
  if (!transport_.HidSend(header)) return Attempt::kExchangeFailed;
  HidReport report{};
  report[1] = count;
  std::copy(data.begin(), data.end(), report.begin() + 2);
  report[2 + count] = Pec(data, Pec({hid::kWriteAddress, command, count}));
  if (!transport_.HidSendData(std::size_t{count} + 2, report)) return Attempt::kExchangeFailed;
  return Attempt::kSuccess;
}

GaugeLink::Attempt GaugeLink::AttemptWriteFlashParameter(const FlashParamLocation& row,
                                                         ByteView encoded) {
  FlashPages pages;
  if (const auto read = AttemptReadFlashParameter(row, pages); read != Attempt::kSuccess) {
    return read;
  }
  const std::size_t offset_in_page = row.offset % kFlashPageSize;
  const std::size_t end = offset_in_page + encoded.size();
  if (end > pages.bytes.size()) return Attempt::kRefusedFinal;
  std::copy(encoded.begin(), encoded.end(),
            pages.bytes.begin() + static_cast<std::ptrdiff_t>(offset_in_page));

  const ByteView buffer(pages.bytes);
  const std::size_t first_count = std::min<std::size_t>(end, kFlashPageSize);
  if (const auto written = AttemptParameterPageWrite(pages.first_page, buffer.first(first_count));
      written != Attempt::kSuccess) {
    return written;
  }
  if (end > kFlashPageSize) {
    clock_.SleepFor(kBetweenParameterPages);
    const auto written =
        AttemptParameterPageWrite(static_cast<std::uint8_t>(pages.first_page + 1),
                                  buffer.subspan(kFlashPageSize, end - kFlashPageSize));
    if (written != Attempt::kSuccess) return written;
  }
  if (transport_.transport() == Transport::kBulk) return Attempt::kSuccess;
  // Only the last block's status is fetched: the gauge keeps the status of the last write.
  clock_.SleepFor(kParameterWriteSettle);
  const auto status = transport_.HidFetchStatus();
  if (!status) return Attempt::kExchangeFailed;
  return *status == 0 ? Attempt::kSuccess : Attempt::kRefused;
}

bool GaugeLink::WriteFlashParameterBlock(const FlashParamLocation& row, ByteView encoded) {
  if (encoded.empty() || encoded.size() > 2 * kFlashPageSize) return false;
  return RunAttempts(OnExchangeFailure::kRetry,
                     [&](int) { return AttemptWriteFlashParameter(row, encoded); });
}

GaugeLink::Attempt GaugeLink::AttemptReadFlashBlock(std::uint16_t selector, FlashBlock& block) {
  if (transport_.transport() == Transport::kBulk) {
    const std::array<std::uint8_t, 2> address = {common::LowByte(selector),
                                                 common::HighByte(selector)};
    if (!transport_.BulkWriteCommand(kFlashBlockCommand, address)) return Attempt::kRefusedAtOnce;
    std::array<std::uint8_t, 33> data{};
    if (!transport_.BulkReadCommand(kFlashBlockCommand, data)) return Attempt::kRefused;
    std::copy(data.begin() + 1, data.end(), block.begin());
    return Attempt::kSuccess;
  }
  if (const auto written = AttemptWriteWord(kFlashBlockCommand, selector);
      written != Attempt::kSuccess) {
    return written;
  }
  const std::array<std::uint8_t, 8> header = {
      hid::kShortHeaderId, hid::kReadAddress, kFlashBlockCommand, 0, 0, 0, 34, 2};
  HidReport response{};
  if (!transport_.HidTransact(header, 35, response)) return Attempt::kExchangeFailed;
  if (response[35] != 0) return Attempt::kRefused;
  std::copy(response.begin() + 2, response.begin() + 34, block.begin());
  return Attempt::kSuccess;
}

std::optional<FlashBlock> GaugeLink::ReadFlashBlock(std::uint16_t selector, bool take_lock) {
  FlashBlock block{};
  auto read = [&] {
    return RunAttempts(OnExchangeFailure::kRetry,
                       [&](int) { return AttemptReadFlashBlock(selector, block); });
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

GaugeLink::Attempt GaugeLink::AttemptAuthentication(std::uint16_t prelude, ByteView payload,
                                                    Digest& digest) {
  if (prelude != 0) {
    if (const auto written = AttemptWriteWord(kManufacturerAccess, prelude);
        written != Attempt::kSuccess) {
      return written;
    }
    clock_.SleepFor(kAfterKeyChangePrelude);
  }
  if (const auto written =
          AttemptBlockWrite(kAuthenticationCommand, payload, kBlockWriteSettle, false);
      written != Attempt::kSuccess) {
    return written;
  }
  clock_.SleepFor(kDigestReady);
  Bytes reply;
  if (const auto read = AttemptReadBlock(kAuthenticationCommand, kDigestReadLength, reply);
      read != Attempt::kSuccess) {
    return read;
  }
  if (reply.size() < 1 + kDigestLength || reply[0] != kDigestLength) return Attempt::kRefused;
  std::copy_n(reply.begin() + 1, kDigestLength, digest.begin());
  return Attempt::kSuccess;
}

std::optional<Digest> GaugeLink::SendChallenge(ByteView challenge) {
  if (challenge.size() != kChallengeLength) return std::nullopt;
  Digest digest{};
  const bool ok = RunAttempts(OnExchangeFailure::kRetry,
                              [&](int) { return AttemptAuthentication(0, challenge, digest); });
  if (!ok) return std::nullopt;
  return digest;
}

std::optional<Digest> GaugeLink::ChangeAuthKey(ByteView key) {
  if (key.size() != kAuthKeyLength) return std::nullopt;
  Digest digest{};
  const bool ok = RunAttempts(OnExchangeFailure::kRetry, [&](int) {
    return AttemptAuthentication(kKeyChangeSubcommand, key, digest);
  });
  if (!ok) return std::nullopt;
  return digest;
}

}  // namespace cw::link
