#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/error.h"
#include "link/gauge_link.h"

namespace cw::app {

// "9", "0D": one or two hex digits and nothing else.
std::optional<std::uint8_t> ParseSmbCommand(std::string_view text);
bool IsSmbBlockCommand(std::uint8_t command);
// 0x78-0x7F: a page of the data flash subclass selected in SubClassID.
bool IsSmbDataFlashPage(std::uint8_t command);
// The block commands a block write may send: 0x2F, 0x44, 0x70, the first five data flash pages,
// and 0xFF for a raw frame.
bool IsSmbBlockWritable(std::uint8_t command);
// Bytes typed as block data: pairs of hex digits, blanks between bytes.
std::optional<common::Bytes> ParseSmbBlockData(std::string_view text);
// Why `command` takes no word transaction (it is a block command); nothing when it takes one.
std::optional<common::Error> SmbWordRefusal(std::uint8_t command);
// Why `command` takes no combined words; nothing for 0x00 and 0x47.
std::optional<common::Error> SmbCombinedRefusal(std::uint8_t command);
// "01 02 FF ": block bytes as the block forms show them.
std::string SmbBytesText(common::ByteView bytes);

// Data bytes of page `page` of a subclass of `subclass_length` bytes; nullopt when there is
// no such page.
std::optional<std::uint8_t> PageBytes(std::size_t subclass_length, std::uint8_t page);
// The same for a subclass of the layout table; nullopt also for an unknown subclass.
std::optional<std::uint8_t> DataFlashPageLength(std::uint8_t subclass, std::uint8_t page);

// A write the gauge took. When its acknowledgement was lost and the read-back shows the write
// took effect all the same, `note` says so.
struct SmbWritten {
  std::string note;
};

// Direct SMBus access for engineering use: single word and block transactions, PEC checks on what
// is read, and no writes to the protected subclasses' pages. A refusal (kRefused: the command
// rules it out; kUsage: the data does) sends nothing; any other error may follow a write that
// reached the gauge, and says what the gauge holds now where that can be read back.
class SmbAccess {
 public:
  explicit SmbAccess(link::GaugeLink& link) : link_(link) {}

  common::Expected<std::uint16_t> ReadWord(std::uint8_t command);
  common::Expected<SmbWritten> WriteWord(std::uint8_t command, std::uint16_t word);
  // Two words to the same command in a row, as ManufacturerAccess (0x00) and the boot loader's
  // command (0x47) take a key.
  common::Expected<void> WriteCombinedWord(std::uint8_t command, std::uint16_t first,
                                           std::uint16_t second);
  // The bytes the reply carries; a count byte that does not match them is an error.
  common::Expected<common::Bytes> ReadBlock(std::uint8_t command);
  // Data longer than its command's frame is refused, never cut to it; a data flash page is
  // padded with zeros to the selected subclass's page length. Command 0xFF sends `data` as a raw
  // frame.
  common::Expected<SmbWritten> WriteBlock(std::uint8_t command, common::ByteView data);

 private:
  // The data bytes of data flash page `command` of the subclass selected in the gauge
  // (SubClassID, 0x77): an error when 0x77 cannot be read, holds no subclass of the layout, the
  // subclass has no such page or, `writing`, is protected (a refusal, when writing).
  common::Expected<std::uint8_t> SelectedPageLength(std::uint8_t command, bool writing);
  // A word with its PEC checked; a fixed-length block (count, data, PEC) with its PEC and count
  // checked, giving the data.
  common::Expected<std::uint16_t> ReadCheckedWord(std::uint8_t command);
  common::Expected<common::Bytes> ReadCheckedBlock(std::uint8_t command, std::uint8_t length);
  common::Error ReadFailed(std::uint8_t command);
  common::Error LinkFailed(std::string message);

  // A write the gauge did not acknowledge: what it holds now, read back where that means
  // something. Written after all when the read-back shows the write took effect.
  common::Expected<SmbWritten> ConfirmUnacknowledgedWord(std::uint8_t command, std::uint16_t word);
  common::Expected<SmbWritten> ConfirmUnacknowledgedPage(std::uint8_t command,
                                                         const common::Bytes& page);

  link::GaugeLink& link_;
};

}  // namespace cw::app
