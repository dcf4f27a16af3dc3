#include "firmware/fs_script_reader.h"

#include <fmt/format.h>

#include <string_view>

#include "common/file_input.h"
#include "common/parse.h"
#include "link/adapter_protocol.h"
#include "link/command_codes.h"
#include "link/hid_reports.h"
#include "link/pec.h"

namespace cw::firmware {
namespace {

using common::Bytes;
using common::ByteView;

constexpr std::uint8_t kGaugeAddress = link::hid::kWriteAddress;
constexpr std::uint8_t kGaugeReadAddress = link::hid::kReadAddress;
// Eight pages of the selected subclass: more than the longest subclass needs.
constexpr std::uint8_t kLastFlashPageCommand = link::kFlashPageCommand + 7;

// Commands the gauge only takes as a word, and those it only takes as a block: a line that
// gives them another shape would not do what it seems to.
bool IsWordCommand(std::uint8_t command) {
  switch (command) {
    case link::kManufacturerAccess:
    case link::kCalibrationFlagsCommand:
    case link::kCalibrationCurrentCommand:
    case link::kIspStatusCommand:
    case link::kFlashBlockCommand:
    case link::kSubclassSelectCommand:
      return true;
    default:
      return false;
  }
}

bool IsBlockCommand(std::uint8_t command) {
  switch (command) {
    case link::kAuthenticationCommand:
    case link::kCalibrationCellsCommand:
    case link::kCalibrationTemperaturesCommand:
    case link::kManufacturerBlockAccess:
    case link::kIspDataCommand:
      return true;
    default:
      return command >= link::kFlashPageCommand && command <= kLastFlashPageCommand;
  }
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Text is printable characters, blanks and line ends; UTF-8 in comments is text too.
bool IsTextByte(std::uint8_t byte) {
  return byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r';
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    const std::size_t start = at;
    while (at < text.size() && !IsBlank(text[at])) ++at;
    if (at > start) words.push_back(text.substr(start, at - start));
  }
  return words;
}

std::uint8_t HexByteOf(std::string_view word) {
  const auto digit = [](char c) {
    if (c <= '9') return c - '0';
    return (c | 0x20) - 'a' + 10;
  };
  return static_cast<std::uint8_t>(digit(word[0]) << 4 | digit(word[1]));
}

class Checker {
 public:
  explicit Checker(FsCheckReport& report) : report_(report) {}

  void Problem(int line, FsProblemKind kind, std::string text) {
    if (report_.problems.size() < kMaxFsProblems) {
      report_.problems.push_back({line, kind, std::move(text)});
    } else {
      ++report_.more_problems;
    }
  }

  void Line(int number, std::string_view text) {
    text = common::TrimBlanks(text);
    if (text.empty() || text.front() == ';') return;
    const bool known_kind =
        text.size() >= 2 && text[1] == ':' && (text[0] == 'W' || text[0] == 'C' || text[0] == 'X');
    if (!known_kind) {
      Problem(number, FsProblemKind::kUnknownKind,
              fmt::format(
                  "unknown line kind \"{}\": a line is \"W:\", \"C:\", \"X:\" or a \";\" comment",
                  Words(text).front().substr(0, 12)));
      return;
    }
    const std::string_view body = text.substr(2);
    if (text[0] == 'X') {
      Wait(number, common::TrimBlanks(body));
    } else {
      Transaction(number, text[0] == 'W' ? FsLineKind::kWrite : FsLineKind::kCompare, body);
    }
  }

 private:
  void Wait(int number, std::string_view text) {
    if (text.empty()) {
      Problem(number, FsProblemKind::kWaitMissing,
              std::string("an X: line needs a wait in milliseconds"));
      return;
    }
    const auto value = common::ParseWholeInteger(text);
    if (!value && value.error() == common::NumberError::kNotANumber) {
      Problem(number, FsProblemKind::kWaitNotNumber,
              fmt::format("wait \"{}\" is not a whole number of milliseconds", text));
      return;
    }
    const bool negative = value ? *value < 0 : text.front() == '-';
    if (negative) {
      Problem(number, FsProblemKind::kWaitNegative, fmt::format("wait {} ms is negative", text));
      return;
    }
    if (!value || *value > kMaxFsWait.count()) {
      Problem(number, FsProblemKind::kWaitTooLong,
              fmt::format("wait {} ms is over a minute", text));
      return;
    }
    FsStep step;
    step.line = number;
    step.kind = FsLineKind::kWait;
    step.wait = common::Millis{*value};
    written_since_wait_ = false;
    report_.script.steps.push_back(std::move(step));
  }

  void Transaction(int number, FsLineKind kind, std::string_view body) {
    Bytes all;
    bool readable = true;
    for (std::string_view word : Words(body)) {
      if (word.size() != 2 || !IsHexDigit(word[0]) || !IsHexDigit(word[1])) {
        Problem(number, FsProblemKind::kNotHexByte,
                fmt::format("\"{}\" is not a byte of two hex digits", word));
        readable = false;
        continue;
      }
      all.push_back(HexByteOf(word));
    }
    if (!readable) return;
    const bool write = kind == FsLineKind::kWrite;
    if (all.size() < 3) {
      Problem(
          number, FsProblemKind::kTooShort,
          fmt::format("a {} line needs the address, the command and the PEC", write ? "W:" : "C:"));
      return;
    }
    FsStep step;
    step.line = number;
    step.kind = kind;
    const std::uint8_t address = all[0];
    step.command = all[1];
    step.bytes.assign(all.begin() + 2, all.end() - 1);
    step.pec = all.back();
    const std::size_t problems_before = problem_count();

    if (address != kGaugeAddress) {
      Problem(number, FsProblemKind::kNotGaugeAddress,
              fmt::format("address {:02X} is not the gauge's 16", address));
    }
    const std::uint8_t pec =
        write ? link::Pec(ByteView(all).first(all.size() - 1))
              : link::Pec(step.bytes, link::Pec({address, step.command, kGaugeReadAddress}));
    if (pec != step.pec) {
      Problem(
          number, write ? FsProblemKind::kWritePec : FsProblemKind::kComparePec,
          fmt::format(fmt::runtime(write ? "the PEC is {:02X}, but the bytes before it give {:02X}"
                                         : "the PEC is {:02X}, but the gauge sends {:02X} with "
                                           "these bytes (over the address, the "
                                           "command, 17 and the data)"),
                      step.pec, pec));
    }
    if (!write && step.bytes.empty()) {
      Problem(number, FsProblemKind::kNothingToCompare,
              std::string(
                  "a C: line with nothing to compare: no byte between the command and the PEC"));
    } else {
      step.form = Shape(number, step.command, step.bytes);
    }
    // What one adapter transfer carries: the command and the data of a write; the data and the
    // PEC of a read.
    const std::size_t transfer = step.bytes.size() + 1;
    if (problem_count() == problems_before && transfer > link::kMaxTransferBytes) {
      Problem(number, FsProblemKind::kTransferTooLong,
              fmt::format("{} bytes are more than one adapter transfer carries ({})", transfer,
                          link::kMaxTransferBytes));
    }
    if (problem_count() != problems_before) return;
    if (write) {
      written_since_wait_ = true;
    } else {
      step.after_write = written_since_wait_;
    }
    report_.script.steps.push_back(std::move(step));
  }

  // The form the bytes take; the gauge's known word and block commands must have theirs.
  FsWriteForm Shape(int number, std::uint8_t command, ByteView bytes) {
    if (IsWordCommand(command)) {
      if (bytes.size() != 2) {
        Problem(number, FsProblemKind::kWordLength,
                fmt::format("command {:02X} takes a word: two data bytes, not {}", command,
                            bytes.size()));
      }
      return FsWriteForm::kWord;
    }
    const bool counted = !bytes.empty() && bytes[0] == bytes.size() - 1;
    if (IsBlockCommand(command)) {
      if (bytes.empty()) {
        Problem(number, FsProblemKind::kCountMismatch,
                fmt::format("a block of command {:02X} needs a count byte", command));
        return FsWriteForm::kBlock;
      }
      if (!counted) {
        Problem(number, FsProblemKind::kCountMismatch,
                fmt::format("the count byte says {} data bytes, the line carries {}", bytes[0],
                            bytes.size() - 1));
      }
    } else if (bytes.size() == 2) {
      return FsWriteForm::kWord;
    } else if (!counted || bytes.size() < 2) {
      return FsWriteForm::kBytes;
    }
    if (bytes.size() == 1 || bytes.size() - 1 > link::kMaxBlockData) {
      Problem(number, FsProblemKind::kBlockLength,
              fmt::format("a block carries 1 to 32 data bytes, this one {}", bytes.size() - 1));
    }
    return FsWriteForm::kBlock;
  }

  std::size_t problem_count() const { return report_.problem_count(); }

  FsCheckReport& report_;
  bool written_since_wait_ = false;
};

// The first byte that is no text, with its line.
std::optional<std::pair<int, std::uint8_t>> FirstBinaryByte(ByteView content) {
  int line = 1;
  for (std::uint8_t byte : content) {
    if (!IsTextByte(byte)) return std::pair{line, byte};
    if (byte == '\n') ++line;
  }
  return std::nullopt;
}

}  // namespace

FsCheckReport CheckFsScript(ByteView content) {
  FsCheckReport report;
  Checker checker(report);
  const std::string_view text(reinterpret_cast<const char*>(content.data()), content.size());
  if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
    checker.Problem(0, FsProblemKind::kEmpty, std::string("the file is empty"));
    return report;
  }
  if (const auto binary = FirstBinaryByte(content)) {
    checker.Problem(binary->first, FsProblemKind::kBinary,
                    fmt::format("byte {:02X} is no text: the file is binary, not an FS script",
                                binary->second));
    return report;
  }
  int number = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    if (line.ends_with('\r')) line.remove_suffix(1);
    checker.Line(++number, line);
    at = end + 1;
  }
  report.script.line_count = number;
  if (report.script.steps.empty() && report.problems.empty()) {
    checker.Problem(0, FsProblemKind::kNoSteps, std::string("the file holds no W:, C: or X: line"));
  }
  return report;
}

FsCheckReport CheckFsScriptFile(const std::filesystem::path& path) {
  const auto content = common::ReadRegularFile(path, kMaxFsScriptFileSize);
  if (content) return CheckFsScript(*content);
  FsCheckReport report;
  if (content.error().problem == common::FileProblem::kTooLarge) {
    report.problems.push_back(
        {0, FsProblemKind::kTooLarge,
         fmt::format("the file is larger than any FS script ({} bytes at most)",
                     kMaxFsScriptFileSize)});
  } else {
    report.file_error = content.error();
  }
  return report;
}

std::string FsLineText(const FsStep& step) {
  if (step.kind == FsLineKind::kWait) return fmt::format("X: {}", step.wait.count());
  std::string text = fmt::format("{}: {:02X} {:02X}", step.kind == FsLineKind::kWrite ? 'W' : 'C',
                                 kGaugeAddress, step.command);
  for (std::uint8_t byte : step.bytes) text += fmt::format(" {:02X}", byte);
  text += fmt::format(" {:02X}", step.pec);
  return text;
}

}  // namespace cw::firmware
