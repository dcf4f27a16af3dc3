#include "app/smb_access_session.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>

#include "app/link_failure.h"
#include "app/messages.h"
#include "common/null_sinks.h"
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

// Block commands whose word-write refusal leaves two blanks in the command field.
bool BlanksCommandOnWordWrite(std::uint8_t command) {
  return (command >= 0x20 && command <= 0x23) || command == 0x2F ||
         (command >= 0x60 && command <= 0x62) || (command >= 0x70 && command <= 0x75) ||
         IsDataFlashPage(command);
}

std::string BytesText(common::ByteView bytes) {
  std::string text;
  for (std::uint8_t byte : bytes) text += fmt::format("{:02X} ", byte);
  return text;
}

// A word field: 1 to 4 hex digits. nullopt for a character that is not a hex digit;
// `empty_or_long` tells the caller the field held nothing usable as a word.
std::optional<std::uint16_t> ParseWordField(std::string_view text, bool& empty_or_long) {
  if (!std::all_of(text.begin(), text.end(),
                   [](unsigned char c) { return std::isxdigit(c) != 0; })) {
    return std::nullopt;
  }
  empty_or_long = text.empty() || text.size() > 4;
  if (empty_or_long) return std::uint16_t{0};
  return static_cast<std::uint16_t>(*common::ParseHexNumber(text, 0xFFFF));
}

// A form's command field; a text that is no command is said through `sink`.
std::optional<std::uint8_t> ParseCommandField(std::string_view text, common::MessageSink& sink) {
  const auto command = ParseSmbCommand(text);
  if (!command) sink.Show(fmt::format(messages::kSmbCommandInvalid, text));
  return command;
}

}  // namespace

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

std::optional<std::uint8_t> SmbAccessSession::SelectedPageLength(std::uint8_t command, bool writing,
                                                                 common::MessageSink& sink) {
  std::uint16_t selected = 0;
  if (!link_.ReadWord(kSubclassIdCommand, selected)) {
    sink.Show(fmt::format(messages::kSmbSubclassUnread, LinkFailureText(link_), command,
                          writing ? messages::kSmbPageWritten : messages::kSmbPageRead));
    return std::nullopt;
  }
  const auto no_subclass = [&] {
    sink.Show(fmt::format(messages::kSmbNoSubclass, selected));
    return std::nullopt;
  };
  if (selected > kLastSubclassId) return no_subclass();
  const auto subclass = static_cast<std::uint8_t>(selected);
  if (writing && std::find(kProtectedSubclasses.begin(), kProtectedSubclasses.end(), subclass) !=
                     kProtectedSubclasses.end()) {
    sink.Show(fmt::format("{}{:04X}{}", messages::kInhibitSubclass, subclass,
                          messages::kInhibitSubclassEnd));
    return std::nullopt;
  }
  const auto entry = dataflash::FindSubclass(subclass);
  if (!entry) return no_subclass();
  const auto page = static_cast<std::uint8_t>(command - link::kFlashPageCommand);
  const auto length = PageBytes(entry->length, page);
  if (!length) {
    sink.Show(fmt::format(messages::kSmbNoSuchPage, subclass, entry->length, command));
  }
  return length;
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

SmbFormOutcome SmbAccessSession::Submit(SmbForm form, const SmbAccessFields& typed) {
  common::OutcomeBuilder outcome(messages_);
  SmbAccessFields fields = typed;
  Verdict verdict = Verdict::kRefused;
  switch (form) {
    case SmbForm::kReadWord:
      verdict = ReadWord(fields, outcome);
      break;
    case SmbForm::kWriteWord:
      verdict = WriteWord(fields, outcome);
      break;
    case SmbForm::kCombinedWord:
      verdict = WriteCombinedWord(fields, outcome);
      break;
    case SmbForm::kReadBlock:
      verdict = ReadBlock(fields, outcome);
      break;
    case SmbForm::kWriteBlock:
      verdict = WriteBlock(fields, outcome);
      break;
  }
  {
    const std::lock_guard lock(mutex_);
    fields_ = fields;
  }
  changes_.Notify();
  return outcome.Finish(verdict, std::move(fields));
}

SmbAccessFields SmbAccessSession::View() const {
  const std::lock_guard lock(mutex_);
  return fields_;
}

common::Verdict SmbAccessSession::ReadWord(SmbAccessFields& fields,
                                           common::OutcomeBuilder& outcome) {
  const auto command = ParseCommandField(fields.read_word_command, outcome);
  const bool block = command && IsSmbBlockCommand(*command);
  if (block) outcome.Show(fmt::format(messages::kSmbBlockCommandAsWord, *command));
  if (!command || block) {
    fields.read_word_command.clear();
    fields.read_word_result.clear();
    return common::Verdict::kRefused;
  }
  fields.read_word_result.clear();
  const auto word = ReadCheckedWord(*command, outcome);
  if (!word) return common::Verdict::kFailed;
  fields.read_word_result = fmt::format("{:04X}", *word);
  return common::Verdict::kDone;
}

common::Verdict SmbAccessSession::WriteWord(SmbAccessFields& fields,
                                            common::OutcomeBuilder& outcome) {
  const auto command = ParseCommandField(fields.write_word_command, outcome);
  if (!command) {
    fields.write_word_command.clear();
    return common::Verdict::kRefused;
  }
  if (IsSmbBlockCommand(*command)) {
    outcome.Show(fmt::format(messages::kSmbBlockCommandAsWord, *command));
    fields.write_word_command = BlanksCommandOnWordWrite(*command) ? "  " : "";
    return common::Verdict::kRefused;
  }
  bool empty_or_long = false;
  const auto word = ParseWordField(fields.write_word, empty_or_long);
  if (!word) {
    outcome.Show(fmt::format(messages::kSmbWordInvalid, fields.write_word));
    return common::Verdict::kRefused;
  }
  const std::array<std::uint8_t, 3> bytes = {*command, common::LowByte(*word),
                                             common::HighByte(*word)};
  outcome.GaugeChanged();
  if (link_.WriteBytes(bytes)) return common::Verdict::kDone;
  return ReportUnconfirmedWord(*command, *word, outcome);
}

common::Verdict SmbAccessSession::WriteCombinedWord(SmbAccessFields& fields,
                                                    common::OutcomeBuilder& outcome) {
  const auto command = ParseCommandField(fields.combined_command, outcome);
  auto clear = [&fields] {
    fields.combined_command.clear();
    fields.combined_word1.clear();
    fields.combined_word2.clear();
  };
  const bool other = command && *command != 0x00 && *command != 0x47;
  if (other) outcome.Show(fmt::format(messages::kSmbCombinedCommand, *command));
  if (!command || other) {
    clear();
    return common::Verdict::kRefused;
  }
  bool first_unusable = false;
  bool second_unusable = false;
  const auto first = ParseWordField(fields.combined_word1, first_unusable);
  const auto second = ParseWordField(fields.combined_word2, second_unusable);
  // Two key words in a row must both be what was meant: an empty or overlong word is refused.
  if (!first || !second || first_unusable || second_unusable) {
    const bool first_bad = !first || first_unusable;
    outcome.Show(fmt::format(messages::kSmbWordInvalid,
                             first_bad ? fields.combined_word1 : fields.combined_word2));
    return common::Verdict::kRefused;
  }
  const std::array<std::uint8_t, 3> first_bytes = {*command, common::LowByte(*first),
                                                   common::HighByte(*first)};
  const std::array<std::uint8_t, 3> second_bytes = {*command, common::LowByte(*second),
                                                    common::HighByte(*second)};
  outcome.GaugeChanged();
  if (!link_.WriteBytesTwice(first_bytes, second_bytes)) {
    clear();
    ShowUnconfirmed(*command, LinkFailureText(link_), messages::kSmbCannotReadBack, outcome);
    return common::Verdict::kFailed;
  }
  return common::Verdict::kDone;
}

common::Verdict SmbAccessSession::ReadBlock(SmbAccessFields& fields,
                                            common::OutcomeBuilder& outcome) {
  const auto command = ParseCommandField(fields.read_block_command, outcome);
  const bool word = command && !IsSmbBlockCommand(*command);
  if (word) outcome.Show(fmt::format(messages::kSmbWordCommandAsBlock, *command));
  if (!command || word) {
    fields.read_block_command.clear();
    fields.read_block_result.clear();
    return common::Verdict::kRefused;
  }
  std::uint8_t length = link::hid::kBlockLengthFromGauge;
  if (IsDataFlashPage(*command)) {
    const auto page_length = SelectedPageLength(*command, false, outcome);
    if (!page_length) {
      fields.read_block_result.clear();
      return common::Verdict::kFailed;
    }
    length = static_cast<std::uint8_t>(*page_length + 2);
  } else if (const auto fixed = FixedReadLength(*command)) {
    length = *fixed;
  }
  fields.read_block_result.clear();
  if (length == link::hid::kBlockLengthFromGauge) {
    // The count alone cannot tell a whole block from a cut one: the block is read again as long
    // as the count says, with its PEC, and checked like a fixed-length one.
    common::Bytes counted;
    if (!link_.ReadBlock(*command, length, counted)) {
      ShowReadFailed(*command, outcome);
      return common::Verdict::kFailed;
    }
    if (counted[0] > link::kFlashPageSize) {
      outcome.Show(fmt::format(messages::kSmbCountTooLarge, *command, counted[0]));
      return common::Verdict::kFailed;
    }
    length = static_cast<std::uint8_t>(counted[0] + 2);
  }
  const auto data = ReadCheckedBlock(*command, length, outcome);
  if (!data) return common::Verdict::kFailed;
  fields.read_block_result = BytesText(*data);
  return common::Verdict::kDone;
}

void SmbAccessSession::ShowReadFailed(std::uint8_t command, common::MessageSink& outcome) {
  outcome.Show(fmt::format(messages::kSmbReadFailed, command, LinkFailureText(link_)));
}

std::optional<std::uint16_t> SmbAccessSession::ReadCheckedWord(std::uint8_t command,
                                                               common::MessageSink& outcome) {
  common::Bytes reply;
  if (!link_.ReadBlock(command, 3, reply)) {
    ShowReadFailed(command, outcome);
    return std::nullopt;
  }
  if (!link::ReadPecMatches(command, common::ByteView(reply).first(2), reply[2])) {
    outcome.Show(messages::kPecError);
    return std::nullopt;
  }
  return common::LittleEndianWord(reply[0], reply[1]);
}

std::optional<common::Bytes> SmbAccessSession::ReadCheckedBlock(std::uint8_t command,
                                                                std::uint8_t length,
                                                                common::MessageSink& outcome) {
  common::Bytes reply;
  if (!link_.ReadBlock(command, length, reply)) {
    ShowReadFailed(command, outcome);
    return std::nullopt;
  }
  const common::ByteView bytes(reply);
  if (!link::ReadPecMatches(command, bytes.first(bytes.size() - 1), bytes.back())) {
    outcome.Show(messages::kPecError);
    return std::nullopt;
  }
  // Count, data, PEC: a count byte that says otherwise describes another reply than this one.
  const std::size_t carried = bytes.size() - 2;
  if (bytes[0] != carried) {
    outcome.Show(fmt::format(messages::kSmbCountMismatch, command, bytes[0], carried));
    return std::nullopt;
  }
  return common::Bytes(bytes.begin() + 1, bytes.end() - 1);
}

void SmbAccessSession::ShowUnconfirmed(std::uint8_t command, std::string_view why,
                                       std::string_view now, common::OutcomeBuilder& outcome) {
  outcome.Show(fmt::format(messages::kSmbWriteNotConfirmed, command, why) + std::string(now));
}

common::Verdict SmbAccessSession::ReportUnconfirmedWord(std::uint8_t command, std::uint16_t word,
                                                        common::OutcomeBuilder& outcome) {
  // Why the write failed is known only until the read-back runs its own transactions.
  const std::string why(LinkFailureText(link_));
  if (command == link::kManufacturerAccess || command == link::kIspStatusCommand) {
    ShowUnconfirmed(command, why, messages::kSmbCannotReadBack, outcome);
    return common::Verdict::kFailed;
  }
  common::NullMessageSink quiet;
  const auto held = ReadCheckedWord(command, quiet);
  if (!held) {
    ShowUnconfirmed(command, why, messages::kSmbReadBackFailed, outcome);
    return common::Verdict::kFailed;
  }
  if (*held == word) {
    outcome.Show(fmt::format(messages::kSmbWrittenAcknowledgementLost, command, *held));
    return common::Verdict::kDone;
  }
  ShowUnconfirmed(command, why, fmt::format(messages::kSmbNowHoldsWord, *held), outcome);
  return common::Verdict::kFailed;
}

common::Verdict SmbAccessSession::ReportUnconfirmedPage(std::uint8_t command,
                                                        const common::Bytes& page,
                                                        common::OutcomeBuilder& outcome) {
  const std::string why(LinkFailureText(link_));
  common::NullMessageSink quiet;
  const auto held = ReadCheckedBlock(command, static_cast<std::uint8_t>(page.size() + 2), quiet);
  if (!held) {
    ShowUnconfirmed(command, why, messages::kSmbReadBackFailed, outcome);
    return common::Verdict::kFailed;
  }
  if (*held == page) {
    outcome.Show(fmt::format(messages::kSmbPageWrittenAcknowledgementLost, command));
    return common::Verdict::kDone;
  }
  ShowUnconfirmed(command, why, fmt::format(messages::kSmbNowHoldsBytes, BytesText(*held)),
                  outcome);
  return common::Verdict::kFailed;
}

common::Verdict SmbAccessSession::WriteBlock(SmbAccessFields& fields,
                                             common::OutcomeBuilder& outcome) {
  const auto command = ParseCommandField(fields.write_block_command, outcome);
  auto clear_both = [&fields] {
    fields.write_block_command.clear();
    fields.write_block_data.clear();
  };
  if (!command) {
    clear_both();
    return common::Verdict::kRefused;
  }
  std::size_t fixed_length = 0;  // 0: the typed length
  bool page_write = false;
  switch (*command) {
    case 0x2F:
      fixed_length = 20;
      break;
    case 0x44:
      fixed_length = 34;
      break;
    case 0x70:
      fixed_length = 32;
      break;
    case kRawFrame:
      break;
    default:
      if (*command < link::kFlashPageCommand || *command > link::kFlashPageCommand + 4) {
        outcome.Show(fmt::format(messages::kSmbNoBlockWrite, *command));
        clear_both();
        return common::Verdict::kRefused;
      }
      page_write = true;
  }
  if (page_write) {
    const auto page_length = SelectedPageLength(*command, true, outcome);
    if (!page_length) {
      fields.write_block_command.clear();
      return common::Verdict::kRefused;
    }
    fixed_length = *page_length;
  }
  const auto data = ParseSmbBlockData(fields.write_block_data);
  const std::size_t limit = *command == kRawFrame ? kMaxRawBytes : kMaxBlockBytes;
  if (!data || data->size() > limit) {
    outcome.Show(messages::kInputDataError);
    return common::Verdict::kRefused;
  }
  // Bytes beyond the frame would be dropped: what reached the gauge would not be what was typed
  // (a 0x2F challenge cut to its first 20 bytes), so the whole write is refused.
  if (fixed_length != 0 && data->size() > fixed_length) {
    outcome.Show(fmt::format(messages::kSmbBlockTooLong, *command, fixed_length, data->size()));
    return common::Verdict::kRefused;
  }
  common::Bytes payload = *data;
  if (page_write) payload.resize(fixed_length, 0x00);
  const bool needs_data = *command == 0x2F || *command == 0x44 || *command == 0x70;
  if (needs_data && payload.empty()) {
    outcome.Show(fmt::format(messages::kSmbBlockNeedsData, *command));
    fields.write_block_command.clear();
    return common::Verdict::kRefused;
  }
  if (*command == kRawFrame && payload.size() < 2) {
    outcome.Show(messages::kSmbRawFrameTooShort);
    fields.write_block_command.clear();
    return common::Verdict::kRefused;
  }
  common::Bytes frame{*command};
  if (*command != kRawFrame) frame.push_back(static_cast<std::uint8_t>(payload.size()));
  frame.insert(frame.end(), payload.begin(), payload.end());
  // The adapter's largest data report carries this much; a longer frame would be dropped
  // without a word, so it is refused like any other data it cannot send.
  if (frame.size() > kMaxFrameBytes) {
    outcome.Show(messages::kInputDataError);
    return common::Verdict::kRefused;
  }
  outcome.GaugeChanged();
  if (link_.WriteBytes(frame)) return common::Verdict::kDone;
  if (page_write) return ReportUnconfirmedPage(*command, payload, outcome);
  ShowUnconfirmed(*command, LinkFailureText(link_), messages::kSmbCannotReadBack, outcome);
  return common::Verdict::kFailed;
}

}  // namespace cw::app
