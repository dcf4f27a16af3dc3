#include "presentation/smb_access_form.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "app/messages.h"
#include "common/parse.h"

namespace cw::presentation {
namespace {

using common::ErrorKind;
using common::Verdict;

// A word field: 1 to 4 hex digits. nullopt for a character that is not a hex digit;
// `empty_or_long` tells the caller the field held nothing usable as a word, which the page sends
// as 0x0000.
std::optional<std::uint16_t> ParseWordField(std::string_view text, bool& empty_or_long) {
  if (!std::ranges::all_of(text, [](unsigned char c) { return std::isxdigit(c) != 0; })) {
    return std::nullopt;
  }
  empty_or_long = text.empty() || text.size() > 4;
  if (empty_or_long) return std::uint16_t{0};
  return static_cast<std::uint16_t>(*common::ParseHexNumber(text, 0xFFFF));
}

// Block commands whose word-write refusal leaves two blanks in the command field.
bool BlanksCommandOnWordWrite(std::uint8_t command) {
  return (command >= 0x20 && command <= 0x23) || command == 0x2F ||
         (command >= 0x60 && command <= 0x62) || (command >= 0x70 && command <= 0x75) ||
         app::IsSmbDataFlashPage(command);
}

std::string NotAWord(std::string_view text) {
  return fmt::format("\"{}\" is not a hex word: 1 to 4 hex digits.", text);
}

bool IsRefusal(const common::Error& error) {
  return error.kind == ErrorKind::kRefused || error.kind == ErrorKind::kUsage;
}

// One press of one form: its fields, the messages it shows and what it did.
class Press {
 public:
  Press(app::SmbAccess& smb, SmbAccessFields fields, common::MessageSink& messages)
      : smb_(smb), fields_(std::move(fields)), outcome_(messages) {}

  SmbFormOutcome Run(SmbForm form) {
    Verdict verdict = Verdict::kRefused;
    switch (form) {
      case SmbForm::kReadWord:
        verdict = ReadWord();
        break;
      case SmbForm::kWriteWord:
        verdict = WriteWord();
        break;
      case SmbForm::kCombinedWord:
        verdict = WriteCombinedWord();
        break;
      case SmbForm::kReadBlock:
        verdict = ReadBlock();
        break;
      case SmbForm::kWriteBlock:
        verdict = WriteBlock();
        break;
    }
    return outcome_.Finish(verdict, std::move(fields_));
  }

 private:
  // A form's command field; a text that is no command is said.
  std::optional<std::uint8_t> Command(const std::string& text) {
    const auto command = app::ParseSmbCommand(text);
    if (!command)
      outcome_.Show(fmt::format("\"{}\" is not an SMB command: 1 or 2 hex digits.", text));
    return command;
  }

  Verdict Told(const common::Error& error) {
    outcome_.Show(error.message);
    return IsRefusal(error) ? Verdict::kRefused : Verdict::kFailed;
  }

  // A write that got past its refusals reached the bus.
  template <typename Value>
  void NoteWrite(const common::Expected<Value>& written) {
    if (written || !IsRefusal(written.error())) outcome_.GaugeChanged();
  }

  Verdict Written(const common::Expected<app::SmbWritten>& written) {
    NoteWrite(written);
    if (!written) return Told(written.error());
    if (!written->note.empty()) outcome_.Show(written->note);
    return Verdict::kDone;
  }

  Verdict ReadWord() {
    const auto command = Command(fields_.read_word_command);
    fields_.read_word_result.clear();
    if (!command) {
      fields_.read_word_command.clear();
      return Verdict::kRefused;
    }
    const auto word = smb_.ReadWord(*command);
    if (!word) {
      if (IsRefusal(word.error())) fields_.read_word_command.clear();
      return Told(word.error());
    }
    fields_.read_word_result = fmt::format("{:04X}", *word);
    return Verdict::kDone;
  }

  Verdict WriteWord() {
    const auto command = Command(fields_.write_word_command);
    if (!command) {
      fields_.write_word_command.clear();
      return Verdict::kRefused;
    }
    // The command is judged before the word, as the page always has.
    if (const auto refusal = app::SmbWordRefusal(*command)) {
      fields_.write_word_command = BlanksCommandOnWordWrite(*command) ? "  " : "";
      return Told(*refusal);
    }
    bool empty_or_long = false;
    const auto word = ParseWordField(fields_.write_word, empty_or_long);
    if (!word) {
      outcome_.Show(NotAWord(fields_.write_word));
      return Verdict::kRefused;
    }
    return Written(smb_.WriteWord(*command, *word));
  }

  Verdict WriteCombinedWord() {
    const auto command = Command(fields_.combined_command);
    const auto clear = [this] {
      fields_.combined_command.clear();
      fields_.combined_word1.clear();
      fields_.combined_word2.clear();
    };
    if (!command) {
      clear();
      return Verdict::kRefused;
    }
    if (const auto refusal = app::SmbCombinedRefusal(*command)) {
      clear();
      return Told(*refusal);
    }
    bool first_unusable = false;
    bool second_unusable = false;
    const auto first = ParseWordField(fields_.combined_word1, first_unusable);
    const auto second = ParseWordField(fields_.combined_word2, second_unusable);
    // Two key words in a row must both be what was meant: an empty or overlong word is refused.
    if (!first || !second || first_unusable || second_unusable) {
      const bool first_bad = !first || first_unusable;
      outcome_.Show(NotAWord(first_bad ? fields_.combined_word1 : fields_.combined_word2));
      return Verdict::kRefused;
    }
    const auto written = smb_.WriteCombinedWord(*command, *first, *second);
    NoteWrite(written);
    if (written) return Verdict::kDone;
    clear();
    return Told(written.error());
  }

  Verdict ReadBlock() {
    const auto command = Command(fields_.read_block_command);
    fields_.read_block_result.clear();
    if (!command) {
      fields_.read_block_command.clear();
      return Verdict::kRefused;
    }
    const auto data = smb_.ReadBlock(*command);
    if (!data) {
      if (IsRefusal(data.error())) fields_.read_block_command.clear();
      return Told(data.error());
    }
    fields_.read_block_result = app::SmbBytesText(*data);
    return Verdict::kDone;
  }

  Verdict WriteBlock() {
    const auto command = Command(fields_.write_block_command);
    if (!command) {
      fields_.write_block_command.clear();
      fields_.write_block_data.clear();
      return Verdict::kRefused;
    }
    const auto data = app::ParseSmbBlockData(fields_.write_block_data);
    if (!data) {
      outcome_.Show(app::messages::kInputDataError);
      return Verdict::kRefused;
    }
    const auto written = smb_.WriteBlock(*command, *data);
    // A command refused as such loses the field; one that takes no block write loses its data too.
    if (!written && written.error().kind == ErrorKind::kRefused) {
      fields_.write_block_command.clear();
      if (!app::IsSmbBlockWritable(*command)) fields_.write_block_data.clear();
    }
    return Written(written);
  }

  app::SmbAccess& smb_;
  SmbAccessFields fields_;
  common::OutcomeBuilder outcome_;
};

}  // namespace

SmbFormOutcome SubmitSmbForm(app::SmbAccess& smb, SmbForm form, SmbAccessFields fields,
                             common::MessageSink& messages) {
  return Press(smb, std::move(fields), messages).Run(form);
}

}  // namespace cw::presentation
