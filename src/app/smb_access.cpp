#include "app/smb_access.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>

#include "app/link_failure.h"
#include "app/messages.h"
#include "dataflash/subclass_layout.h"
#include "link/adapter_protocol.h"
#include "link/hid_reports.h"

namespace cw::app {
namespace {

constexpr std::uint8_t kSubclassIdCommand = link::kSubclassSelectCommand;
constexpr std::uint8_t kLastSubclassId = 0x6C;
constexpr std::uint8_t kRawFrame = 0xFF;
constexpr std::size_t kMaxBlockBytes = 61;
constexpr std::size_t kMaxRawBytes = 62;
// The largest write the HID adapter's data report carries: command, count and data.
constexpr std::size_t kMaxFrameBytes = link::hid::kMaxReportLength - 2;

constexpr std::array<std::uint8_t, 12> kProtectedSubclasses = {0x22, 0x50, 0x53, 0x57, 0x58, 0x59,
                                                               0x5A, 0x5B, 0x5C, 0x5D, 0x5E, 0x5F};

bool IsDataFlashPage(std::uint8_t command) {
  return command >= link::kFlashPageCommand && command <= link::kFlashPageCommand + 7;
}

// Block commands whose length comes from the gauge's count byte.
bool IsVariableLength(std::uint8_t command) {
  return (command >= 0x20 && command <= 0x23) || command == 0x44 || command == 0x70;
}

// Bytes requested for a fixed-length block command: count, data and PEC.
std::optional<std::uint8_t> FixedReadLength(std::uint8_t command) {
  switch (command) {
    case 0x2F:
      return 22;
    case 0x51:
    case 0x53:
      return 6;
    case 0x54:
    case 0x57:
      return 4;
    case 0x55:
      return 5;
    case 0x58:
      return 13;
    case 0x60:
      return 32;
    case 0x61:
    case 0x73:
    case 0x74:
    case 0x75:
      return 34;
    case 0x62:
      return 22;
    case 0x71:
      return 16;
    case 0x72:
      return 14;
    default:
      return std::nullopt;
  }
}

bool IsWritablePage(std::uint8_t command) {
  return command >= link::kFlashPageCommand && command <= link::kFlashPageCommand + 4;
}

}  // namespace

bool IsSmbDataFlashPage(std::uint8_t command) { return IsDataFlashPage(command); }

bool IsSmbBlockWritable(std::uint8_t command) {
  return command == 0x2F || command == 0x44 || command == 0x70 || command == kRawFrame ||
         IsWritablePage(command);
}

std::optional<std::uint8_t> ParseSmbCommand(std::string_view text) {
  if (text.empty() || text.size() > 2) return std::nullopt;
  if (!std::all_of(text.begin(), text.end(),
                   [](unsigned char c) { return std::isxdigit(c) != 0; })) {
    return std::nullopt;
  }
  return static_cast<std::uint8_t>(*common::ParseHexNumber(text, 0xFF));
}

bool IsSmbBlockCommand(std::uint8_t command) {
  return IsVariableLength(command) || FixedReadLength(command).has_value() ||
         IsDataFlashPage(command);
}

std::optional<common::Bytes> ParseSmbBlockData(std::string_view text) {
  common::Bytes bytes;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ' ') {
      ++pos;
      continue;
    }
    const auto high = static_cast<unsigned char>(text[pos]);
    if (!std::isxdigit(high)) return std::nullopt;
    const bool pair = pos + 1 < text.size() && text[pos + 1] != ' ';
    if (pair && !std::isxdigit(static_cast<unsigned char>(text[pos + 1]))) return std::nullopt;
    const std::size_t length = pair ? 2 : 1;
    bytes.push_back(static_cast<std::uint8_t>(*common::ParseHexNumber(text.substr(pos, length))));
    pos += length;
  }
  return bytes;
}

std::optional<common::Error> SmbWordRefusal(std::uint8_t command) {
  if (!IsSmbBlockCommand(command)) return std::nullopt;
  return common::Error{
      common::ErrorKind::kRefused,
      fmt::format("0x{:02X} is a block command: read and write it as a block.", command)};
}

std::optional<common::Error> SmbCombinedRefusal(std::uint8_t command) {
  if (command == link::kManufacturerAccess || command == link::kIspStatusCommand) {
    return std::nullopt;
  }
  return common::Error{common::ErrorKind::kRefused,
                       fmt::format("Combined words go to 0x00 (ManufacturerAccess) or 0x47 (the "
                                   "boot loader), not to 0x{:02X}.",
                                   command)};
}

std::string SmbBytesText(common::ByteView bytes) {
  std::string text;
  for (std::uint8_t byte : bytes) text += fmt::format("{:02X} ", byte);
  return text;
}

std::optional<std::uint8_t> PageBytes(std::size_t subclass_length, std::uint8_t page) {
  const std::size_t page_start = std::size_t{page} * link::kFlashPageSize;
  if (subclass_length <= page_start) return std::nullopt;
  return static_cast<std::uint8_t>(
      std::min<std::size_t>(link::kFlashPageSize, subclass_length - page_start));
}

std::optional<std::uint8_t> DataFlashPageLength(std::uint8_t subclass, std::uint8_t page) {
  const auto entry = dataflash::FindSubclass(subclass);
  if (!entry) return std::nullopt;
  return PageBytes(entry->length, page);
}

common::Error SmbAccess::LinkFailed(std::string message) {
  return {link::LinkErrorKind(link_.link_status()), std::move(message)};
}

common::Error SmbAccess::ReadFailed(std::uint8_t command) {
  const std::string why(LinkFailureText(link_));
  return LinkFailed(fmt::format("Reading 0x{:02X} failed ({}).", command, why));
}

common::Expected<std::uint8_t> SmbAccess::SelectedPageLength(std::uint8_t command, bool writing) {
  // A page that cannot be told refuses a write; a read just fails.
  const auto fail = [writing](common::ErrorKind kind, std::string message) {
    return common::Fail(writing ? common::ErrorKind::kRefused : kind, std::move(message));
  };
  std::uint16_t selected = 0;
  if (!link_.ReadWord(kSubclassIdCommand, selected)) {
    const std::string why(LinkFailureText(link_));
    return fail(
        link::LinkErrorKind(link_.link_status()),
        fmt::format("The selected subclass could not be read ({}): page 0x{:02X} was not {}.", why,
                    command, writing ? "written" : "read"));
  }
  const auto no_subclass = [&] {
    return fail(common::ErrorKind::kFailed,
                fmt::format("0x77 reads 0x{:04X}, which is no data flash subclass: select one by "
                            "writing its id to 0x77 "
                            "as a word.",
                            selected));
  };
  if (selected > kLastSubclassId) return no_subclass();
  const auto subclass = static_cast<std::uint8_t>(selected);
  if (writing && std::ranges::find(kProtectedSubclasses, subclass) != kProtectedSubclasses.end()) {
    return fail(common::ErrorKind::kRefused,
                fmt::format("{}{:04X}{}", "Inhibit changing SubClassID = 0x", subclass,
                            " through Pro interface!"));
  }
  const auto entry = dataflash::FindSubclass(subclass);
  if (!entry) return no_subclass();
  const auto page = static_cast<std::uint8_t>(command - link::kFlashPageCommand);
  const auto length = PageBytes(entry->length, page);
  if (!length) {
    return fail(common::ErrorKind::kFailed,
                fmt::format("Subclass 0x{:02X} holds {} bytes: it has no page 0x{:02X}.", subclass,
                            entry->length, command));
  }
  return *length;
}

common::Expected<std::uint16_t> SmbAccess::ReadWord(std::uint8_t command) {
  if (auto refusal = SmbWordRefusal(command)) return std::unexpected(std::move(*refusal));
  return ReadCheckedWord(command);
}

common::Expected<SmbWritten> SmbAccess::WriteWord(std::uint8_t command, std::uint16_t word) {
  if (auto refusal = SmbWordRefusal(command)) return std::unexpected(std::move(*refusal));
  const std::array<std::uint8_t, 3> bytes = {command, common::LowByte(word),
                                             common::HighByte(word)};
  if (link_.WriteBytes(bytes)) return SmbWritten{};
  return ConfirmUnacknowledgedWord(command, word);
}

common::Expected<void> SmbAccess::WriteCombinedWord(std::uint8_t command, std::uint16_t first,
                                                    std::uint16_t second) {
  if (auto refusal = SmbCombinedRefusal(command)) return std::unexpected(std::move(*refusal));
  const std::array<std::uint8_t, 3> first_bytes = {command, common::LowByte(first),
                                                   common::HighByte(first)};
  const std::array<std::uint8_t, 3> second_bytes = {command, common::LowByte(second),
                                                    common::HighByte(second)};
  if (link_.WriteBytesTwice(first_bytes, second_bytes)) return {};
  const std::string why(LinkFailureText(link_));
  return std::unexpected(LinkFailed(fmt::format(messages::kSmbWriteNotConfirmed, command, why) +
                                    std::string(messages::kSmbCannotReadBack)));
}

common::Expected<common::Bytes> SmbAccess::ReadBlock(std::uint8_t command) {
  if (!IsSmbBlockCommand(command)) {
    return common::Fail(
        common::ErrorKind::kRefused,
        fmt::format("0x{:02X} is not a block command: read it as a word.", command));
  }
  std::uint8_t length = link::hid::kBlockLengthFromGauge;
  if (IsDataFlashPage(command)) {
    const auto page_length = SelectedPageLength(command, false);
    if (!page_length) return std::unexpected(page_length.error());
    length = static_cast<std::uint8_t>(*page_length + 2);
  } else if (const auto fixed = FixedReadLength(command)) {
    length = *fixed;
  }
  if (length == link::hid::kBlockLengthFromGauge) {
    // The count alone cannot tell a whole block from a cut one: the block is read again as long
    // as the count says, with its PEC, and checked like a fixed-length one.
    common::Bytes counted;
    if (!link_.ReadBlock(command, length, counted)) return std::unexpected(ReadFailed(command));
    if (counted[0] > link::kFlashPageSize) {
      return common::Fail(
          common::ErrorKind::kMismatch,
          fmt::format("The reply of 0x{:02X} announces {} bytes; an SMBus block holds at most 32.",
                      command, counted[0]));
    }
    length = static_cast<std::uint8_t>(counted[0] + 2);
  }
  return ReadCheckedBlock(command, length);
}

common::Expected<std::uint16_t> SmbAccess::ReadCheckedWord(std::uint8_t command) {
  common::Bytes reply;
  if (!link_.ReadBlock(command, 3, reply)) return std::unexpected(ReadFailed(command));
  if (!link::ReadPecMatches(command, common::ByteView(reply).first(2), reply[2])) {
    return common::Fail(common::ErrorKind::kMismatch, std::string(messages::kPecError));
  }
  return common::LittleEndianWord(reply[0], reply[1]);
}

common::Expected<common::Bytes> SmbAccess::ReadCheckedBlock(std::uint8_t command,
                                                            std::uint8_t length) {
  common::Bytes reply;
  if (!link_.ReadBlock(command, length, reply)) return std::unexpected(ReadFailed(command));
  const common::ByteView bytes(reply);
  if (!link::ReadPecMatches(command, bytes.first(bytes.size() - 1), bytes.back())) {
    return common::Fail(common::ErrorKind::kMismatch, std::string(messages::kPecError));
  }
  // Count, data, PEC: a count byte that says otherwise describes another reply than this one.
  const std::size_t carried = bytes.size() - 2;
  if (bytes[0] != carried) {
    return common::Fail(common::ErrorKind::kMismatch,
                        fmt::format("The reply of 0x{:02X} announces {} data bytes but carries {}.",
                                    command, bytes[0], carried));
  }
  return common::Bytes(bytes.begin() + 1, bytes.end() - 1);
}

common::Expected<SmbWritten> SmbAccess::ConfirmUnacknowledgedWord(std::uint8_t command,
                                                                  std::uint16_t word) {
  // Why the write failed is known only until the read-back runs its own transactions.
  const std::string why(LinkFailureText(link_));
  common::Error unconfirmed =
      LinkFailed(fmt::format(messages::kSmbWriteNotConfirmed, command, why));
  if (command == link::kManufacturerAccess || command == link::kIspStatusCommand) {
    unconfirmed.message += messages::kSmbCannotReadBack;
    return std::unexpected(std::move(unconfirmed));
  }
  const auto held = ReadCheckedWord(command);
  if (!held) {
    unconfirmed.message += messages::kSmbReadBackFailed;
  } else if (*held == word) {
    return SmbWritten{
        fmt::format("The gauge's acknowledgement was lost, but 0x{:02X} reads back {:04X}: the "
                    "word was written.",
                    command, *held)};
  } else {
    unconfirmed.message += fmt::format(" The gauge now holds {:04X}.", *held);
  }
  return std::unexpected(std::move(unconfirmed));
}

common::Expected<SmbWritten> SmbAccess::ConfirmUnacknowledgedPage(std::uint8_t command,
                                                                  const common::Bytes& page) {
  const std::string why(LinkFailureText(link_));
  common::Error unconfirmed =
      LinkFailed(fmt::format(messages::kSmbWriteNotConfirmed, command, why));
  const auto held = ReadCheckedBlock(command, static_cast<std::uint8_t>(page.size() + 2));
  if (!held) {
    unconfirmed.message += messages::kSmbReadBackFailed;
  } else if (*held == page) {
    return SmbWritten{fmt::format(
        "The gauge's acknowledgement was lost, but page 0x{:02X} reads back as written.", command)};
  } else {
    unconfirmed.message += fmt::format(" The gauge now holds {}.", SmbBytesText(*held));
  }
  return std::unexpected(std::move(unconfirmed));
}

common::Expected<SmbWritten> SmbAccess::WriteBlock(std::uint8_t command, common::ByteView data) {
  if (!IsSmbBlockWritable(command)) {
    return common::Fail(common::ErrorKind::kRefused,
                        fmt::format("0x{:02X} takes no block write: block writes go to 0x2F, 0x44, "
                                    "0x70, the data flash pages "
                                    "0x78 to 0x7C and 0xFF (a raw frame).",
                                    command));
  }
  std::size_t fixed_length = 0;  // 0: the data's own length
  const bool page_write = IsWritablePage(command);
  switch (command) {
    case 0x2F:
      fixed_length = 20;
      break;
    case 0x44:
      fixed_length = 34;
      break;
    case 0x70:
      fixed_length = 32;
      break;
    default:
      break;
  }
  if (page_write) {
    const auto page_length = SelectedPageLength(command, true);
    if (!page_length) return std::unexpected(page_length.error());
    fixed_length = *page_length;
  }
  const std::size_t limit = command == kRawFrame ? kMaxRawBytes : kMaxBlockBytes;
  if (data.size() > limit) {
    return common::Fail(common::ErrorKind::kUsage, std::string(messages::kInputDataError));
  }
  // Bytes beyond the frame would be dropped: what reached the gauge would not be what was typed
  // (a 0x2F challenge cut to its first 20 bytes), so the whole write is refused.
  if (fixed_length != 0 && data.size() > fixed_length) {
    return common::Fail(
        common::ErrorKind::kUsage,
        fmt::format("0x{:02X} takes at most {} data bytes, not {}: nothing was sent.", command,
                    fixed_length, data.size()));
  }
  common::Bytes payload(data.begin(), data.end());
  if (page_write) payload.resize(fixed_length, 0x00);
  const bool needs_data = command == 0x2F || command == 0x44 || command == 0x70;
  if (needs_data && payload.empty()) {
    return common::Fail(
        common::ErrorKind::kRefused,
        fmt::format("0x{:02X} needs at least one data byte: nothing was sent.", command));
  }
  if (command == kRawFrame && payload.size() < 2) {
    return common::Fail(
        common::ErrorKind::kRefused,
        std::string("A raw frame (0xFF) needs at least 2 bytes: nothing was sent."));
  }
  common::Bytes frame{command};
  if (command != kRawFrame) frame.push_back(static_cast<std::uint8_t>(payload.size()));
  frame.insert(frame.end(), payload.begin(), payload.end());
  // The adapter's largest data report carries this much; a longer frame would be dropped
  // without a word, so it is refused like any other data it cannot send.
  if (frame.size() > kMaxFrameBytes) {
    return common::Fail(common::ErrorKind::kUsage, std::string(messages::kInputDataError));
  }
  if (link_.WriteBytes(frame)) return SmbWritten{};
  if (page_write) return ConfirmUnacknowledgedPage(command, payload);
  const std::string why(LinkFailureText(link_));
  return std::unexpected(LinkFailed(fmt::format(messages::kSmbWriteNotConfirmed, command, why) +
                                    std::string(messages::kSmbCannotReadBack)));
}

}  // namespace cw::app
