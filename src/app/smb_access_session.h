#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/front_end.h"
#include "link/gauge_link.h"

namespace cw::app {

// The text fields of the five forms of the SMB access page.
struct SmbAccessFields {
  std::string read_word_command;
  std::string read_word_result;
  std::string write_word_command;
  std::string write_word;
  std::string combined_command;
  std::string combined_word1;
  std::string combined_word2;
  std::string read_block_command;
  std::string read_block_result;
  std::string write_block_command;
  std::string write_block_data;
};

// "9", "0D": one or two hex digits and nothing else.
std::optional<std::uint8_t> ParseSmbCommand(std::string_view text);
bool IsSmbBlockCommand(std::uint8_t command);
// Bytes typed in the block data field: pairs of hex digits, blanks between bytes.
std::optional<common::Bytes> ParseSmbBlockData(std::string_view text);

// Data bytes of page `page` of a subclass of `subclass_length` bytes; nullopt when there is
// no such page.
std::optional<std::uint8_t> PageBytes(std::size_t subclass_length, std::uint8_t page);
// The same for a subclass of the layout table; nullopt also for an unknown subclass.
std::optional<std::uint8_t> DataFlashPageLength(std::uint8_t subclass, std::uint8_t page);

// The five forms, each with its own button.
enum class SmbForm { kReadWord = 0, kWriteWord, kCombinedWord, kReadBlock, kWriteBlock };

// The outcome of a form's button, with its fields as the form left them.
using SmbFormOutcome = common::OutcomeOf<SmbAccessFields>;

// The SMB access page's session: direct SMBus access for engineering use, single word and block
// transactions with a typed command code, PEC checks on what is read, and no writes to the
// protected subclasses' pages. A form's button takes the fields as typed and clears or fills them
// as the page always has; View() holds them as the last press left them, and the listeners hear
// that they changed.
class SmbAccessSession {
 public:
  SmbAccessSession(link::GaugeLink& link, common::MessageSink& messages)
      : link_(link), messages_(messages) {}

  // A press that sends nothing says why. A failed or malformed read leaves the result empty and
  // says why. A block read shows the bytes the reply carries and fails on a count byte that does
  // not match them. A write the gauge does not acknowledge is reported with what the gauge holds
  // now, where that can be read back. Block data longer than its command's frame is refused,
  // never cut to it.
  SmbFormOutcome Submit(SmbForm form, const SmbAccessFields& typed);
  SmbAccessFields View() const;

  common::Observers<>& changes() { return changes_; }

 private:
  using Verdict = common::Verdict;
  Verdict ReadWord(SmbAccessFields& fields, common::OutcomeBuilder& outcome);
  Verdict WriteWord(SmbAccessFields& fields, common::OutcomeBuilder& outcome);
  Verdict WriteCombinedWord(SmbAccessFields& fields, common::OutcomeBuilder& outcome);
  Verdict ReadBlock(SmbAccessFields& fields, common::OutcomeBuilder& outcome);
  Verdict WriteBlock(SmbAccessFields& fields, common::OutcomeBuilder& outcome);

  // The data bytes of data flash page `command` of the subclass selected in the gauge
  // (SubClassID, 0x77). nullopt, said through `sink`, when 0x77 cannot be read, holds no
  // subclass of the layout, the subclass has no such page or, `writing`, is protected.
  std::optional<std::uint8_t> SelectedPageLength(std::uint8_t command, bool writing,
                                                 common::MessageSink& sink);

  // Reads whose failures are told through `sink`: a word with its PEC checked, a fixed-length
  // block (count, data, PEC) with its PEC and count checked, giving the data.
  std::optional<std::uint16_t> ReadCheckedWord(std::uint8_t command, common::MessageSink& sink);
  std::optional<common::Bytes> ReadCheckedBlock(std::uint8_t command, std::uint8_t length,
                                                common::MessageSink& sink);
  void ShowReadFailed(std::uint8_t command, common::MessageSink& sink);

  // A write the gauge did not acknowledge: what it holds now, read back where that means
  // something. Done when the read-back shows the write took effect after all.
  common::Verdict ReportUnconfirmedWord(std::uint8_t command, std::uint16_t word,
                                        common::OutcomeBuilder& outcome);
  common::Verdict ReportUnconfirmedPage(std::uint8_t command, const common::Bytes& page,
                                        common::OutcomeBuilder& outcome);
  // "The write was not confirmed (why)" followed by `now`.
  void ShowUnconfirmed(std::uint8_t command, std::string_view why, std::string_view now,
                       common::OutcomeBuilder& outcome);

  link::GaugeLink& link_;
  common::MessageSink& messages_;
  mutable std::mutex mutex_;  // guards fields_ against a reading front end
  SmbAccessFields fields_;
  common::Observers<> changes_;
};

}  // namespace cw::app
