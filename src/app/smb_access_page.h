#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/message_sink.h"
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
class SmbAccessPage {
 public:
  SmbAccessPage(link::GaugeLink& link, common::MessageSink& messages)
      : link_(link), messages_(messages) {}

  SmbAccessFields& fields() { return fields_; }

  void ReadWord();
  void WriteWord();
  void WriteCombinedWord();
  void ReadBlock();
  void WriteBlock();

 private:
  // The subclass selected in the gauge (SubClassID, 0x77); nullopt when it cannot be read or
  // is no subclass id.
  std::optional<std::uint8_t> ReadSelectedSubclass();

  link::GaugeLink& link_;
  common::MessageSink& messages_;
  SmbAccessFields fields_;
};

}  // namespace cw::app
