// The exchanges that are made of other exchanges the same way on every adapter.
#include "link/adapter_protocol.h"

#include <algorithm>

#include "link/command_codes.h"
#include "link/hid_reports.h"
#include "link/pec.h"

namespace cw::link {
namespace {

using common::Bytes;
using common::ByteView;
using common::Millis;

constexpr Millis kBetweenParameterPages{40};
constexpr Millis kAfterKeyChangePrelude{10};
constexpr Millis kDigestReady{100};
// Read count of the digest: count byte, 20 digest bytes, PEC.
constexpr std::uint8_t kDigestReadLength = 22;

}  // namespace

Millis FlashPageWriteSettle(std::size_t count) { return count + 1 <= 10 ? Millis{25} : Millis{40}; }

bool ReadPecMatches(std::uint8_t command, ByteView data, std::uint8_t pec) {
  return pec == Pec(data, Pec({hid::kWriteAddress, command, hid::kReadAddress}));
}

bool ReplyIntact(std::uint8_t command, const ReplyForm& form, ByteView reply) {
  std::size_t pec_at = 0;
  switch (form.kind) {
    case ReplyForm::Kind::kAsRead:
      return true;
    case ReplyForm::Kind::kWord:
      pec_at = 2;
      break;
    case ReplyForm::Kind::kBlock:
      if (reply.empty() || (form.count && reply[0] != *form.count)) return false;
      pec_at = std::size_t{reply[0]} + 1;
      if (pec_at > reply.size()) return false;
      break;
  }
  if (pec_at >= reply.size()) return true;
  return ReadPecMatches(command, reply.first(pec_at), reply[pec_at]);
}

AttemptOutcome AdapterProtocol::ReadFlashParameter(const FlashParamLocation& row,
                                                   FlashPages& pages) {
  const auto page = static_cast<std::uint8_t>(row.offset / kFlashPageSize);
  const std::size_t page_start = std::size_t{page} * kFlashPageSize;
  if (page_start >= row.subclass_length) return AttemptOutcome::kRefusedFinal;
  if (const auto selected = WriteWord(kSubclassSelectCommand, row.subclass);
      selected != AttemptOutcome::kSuccess) {
    return selected;
  }
  pages.first_page = page;
  pages.bytes.clear();
  const bool crosses = row.offset % kFlashPageSize + row.size > kFlashPageSize;
  const std::size_t first_count =
      crosses ? kFlashPageSize
              : std::min<std::size_t>(kFlashPageSize, row.subclass_length - page_start);
  Bytes data;
  if (const auto read = ReadFlashPage(page, static_cast<std::uint8_t>(first_count), data);
      read != AttemptOutcome::kSuccess) {
    return read;
  }
  pages.bytes = data;
  if (crosses) {
    const std::size_t rest =
        row.subclass_length > page_start + kFlashPageSize
            ? std::min<std::size_t>(kFlashPageSize,
                                    row.subclass_length - page_start - kFlashPageSize)
            : 0;
    if (rest == 0) return AttemptOutcome::kRefusedFinal;  // the field runs past its subclass
    const auto read =
        ReadFlashPage(static_cast<std::uint8_t>(page + 1), static_cast<std::uint8_t>(rest), data);
    if (read != AttemptOutcome::kSuccess) return read;
    pages.bytes.insert(pages.bytes.end(), data.begin(), data.end());
  }
  return AttemptOutcome::kSuccess;
}

AttemptOutcome AdapterProtocol::WriteFlashParameter(const FlashParamLocation& row,
                                                    ByteView encoded) {
  FlashPages pages;
  if (const auto read = ReadFlashParameter(row, pages); read != AttemptOutcome::kSuccess) {
    return read;
  }
  const std::size_t offset_in_page = row.offset % kFlashPageSize;
  const std::size_t end = offset_in_page + encoded.size();
  if (end > pages.bytes.size()) return AttemptOutcome::kRefusedFinal;
  std::copy(encoded.begin(), encoded.end(),
            pages.bytes.begin() + static_cast<std::ptrdiff_t>(offset_in_page));

  const ByteView buffer(pages.bytes);
  const std::size_t first_count = std::min<std::size_t>(end, kFlashPageSize);
  if (const auto written = WriteParameterPage(pages.first_page, buffer.first(first_count));
      written != AttemptOutcome::kSuccess) {
    return written;
  }
  if (end > kFlashPageSize) {
    clock_.SleepFor(kBetweenParameterPages);
    const auto written = WriteParameterPage(static_cast<std::uint8_t>(pages.first_page + 1),
                                            buffer.subspan(kFlashPageSize, end - kFlashPageSize));
    if (written != AttemptOutcome::kSuccess) return written;
  }
  return ConfirmParameterWrite();
}

AttemptOutcome AdapterProtocol::Authenticate(std::uint16_t prelude, ByteView payload,
                                             Digest& digest) {
  if (prelude != 0) {
    if (const auto written = WriteWord(kManufacturerAccess, prelude);
        written != AttemptOutcome::kSuccess) {
      return written;
    }
    clock_.SleepFor(kAfterKeyChangePrelude);
  }
  if (const auto written = WriteBlock(kAuthenticationCommand, payload);
      written != AttemptOutcome::kSuccess) {
    return written;
  }
  clock_.SleepFor(kDigestReady);
  Bytes reply;
  if (const auto read = ReadBlock(kAuthenticationCommand, kDigestReadLength, reply);
      read != AttemptOutcome::kSuccess) {
    return read;
  }
  // The command form hands the digest over as read; its PEC is checked here.
  if (!ReplyIntact(kAuthenticationCommand, BlockReplyOf(kDigestLength), reply)) {
    return AttemptOutcome::kRefused;
  }
  std::copy_n(reply.begin() + 1, kDigestLength, digest.begin());
  return AttemptOutcome::kSuccess;
}

}  // namespace cw::link
