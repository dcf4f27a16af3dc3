#pragma once

#include <cstdint>
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

// Direct SMBus access for engineering use: single word and block transactions with a typed
// command code, PEC checks on what is read, and no writes to the protected subclasses' pages.
// The front end types into fields() and presses a form's button; the form clears or fills its
// fields as the page always has, and the listeners hear that the fields changed.
class SmbAccessPage {
 public:
  SmbAccessPage(link::GaugeLink& link, common::MessageSink& messages)
      : link_(link), messages_(messages) {}

  SmbAccessFields& fields() { return fields_; }

  common::Outcome ReadWord();
  common::Outcome WriteWord();
  common::Outcome WriteCombinedWord();
  common::Outcome ReadBlock();
  common::Outcome WriteBlock();

  common::Observers<>& changes() { return changes_; }

 private:
  // Ends a form's press: the listeners hear of the fields, the outcome is returned.
  common::Outcome Finish(common::OutcomeBuilder& outcome, common::Verdict verdict);

  // The subclass selected in the gauge (SubClassID, 0x77); nullopt when it cannot be read or
  // is no subclass id.
  std::optional<std::uint8_t> ReadSelectedSubclass();

  link::GaugeLink& link_;
  common::MessageSink& messages_;
  SmbAccessFields fields_;
  common::Observers<> changes_;
};

}  // namespace cw::app
