#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "common/bytes.h"
#include "common/clock.h"
#include "link/adapter_fault.h"
#include "link/register_row.h"

namespace cw::link {

inline constexpr std::uint8_t kFlashPageSize = 32;
// A SMBus block never holds more than this many data bytes.
inline constexpr std::uint8_t kMaxBlockData = 32;
// The longest read or raw write every adapter carries: the HID adapter's largest report holds
// this much after its id and the status of a read, or the PEC of a write.
inline constexpr std::size_t kMaxTransferBytes = 46;
// The gauge's settle time after a block write before its status is fetched.
inline constexpr common::Millis kBlockWriteSettle{25};

inline constexpr std::size_t kDigestLength = 20;
inline constexpr std::size_t kChallengeLength = 20;
inline constexpr std::size_t kAuthKeyLength = 16;
using Digest = std::array<std::uint8_t, kDigestLength>;
using FlashBlock = std::array<std::uint8_t, kFlashPageSize>;

// What one attempt of an exchange came to, which tells the attempt loop what to do next. The
// refusals are the gauge's only when the adapter answered: a bulk command that failed on the
// USB side also comes back as a refusal, and the status then blames the adapter.
enum class AttemptOutcome {
  kSuccess,
  kRefused,         // the gauge refused: LinkStatus 2, retry after 100 ms
  kRefusedFinal,    // the gauge refused: LinkStatus 2, no further attempt
  kRefusedAtOnce,   // the gauge refused: LinkStatus 2, retry without waiting
  kExchangeFailed,  // the adapter exchange failed: LinkStatus 3
};

// What the adapter version request yields: five bytes and the text the About box shows.
struct AdapterVersion {
  std::array<std::uint8_t, 5> bytes{};
  std::string text;
};

// One read of the boot loader's status word on 0x47.
struct IspStatusReply {
  enum class Outcome { kRead, kNoAnswer, kTransferError };
  Outcome outcome = Outcome::kTransferError;
  std::uint16_t status = 0;
  bool pec_ok = true;  // whether the gauge's PEC matched, where it was checked
};

// What a read reply holds besides its data, so that the protocol that read it can check the
// gauge's count byte and PEC where they were read. A reply that fails the check is no reading:
// its attempt fails as a refusal does.
struct ReplyForm {
  enum class Kind {
    kAsRead,  // handed over as read, PEC included: its caller checks it and says so itself
    kWord,    // low byte, high byte, PEC
    kBlock,   // count byte, that many data bytes, PEC
  };
  Kind kind = Kind::kAsRead;
  // The count byte a block must carry; nullopt takes any count that fits what was read.
  std::optional<std::uint8_t> count;
};

inline constexpr ReplyForm kReplyAsRead{ReplyForm::Kind::kAsRead, std::nullopt};
inline constexpr ReplyForm kWordReply{ReplyForm::Kind::kWord, std::nullopt};
inline constexpr ReplyForm kBlockReply{ReplyForm::Kind::kBlock, std::nullopt};
constexpr ReplyForm BlockReplyOf(std::uint8_t count) { return {ReplyForm::Kind::kBlock, count}; }

// What every exchange leaves for the connection: a failed exchange clears `connected`, so the
// next attempt opens the adapter again, and leaves in `fault` why it failed (kNone when only the
// gauge refused).
struct ConnectionState {
  bool connected = false;
  AdapterFault fault;
};

// The framing of every exchange with the gauge on one kind of adapter: one attempt each, with
// the waits the adapter needs inside it, no retries, no bus lock and no LinkStatus (GaugeLink
// keeps those). A failed exchange drops the connection through ConnectionState. Every read
// reply of an implementation passes through one function of it, which checks the reply against
// its ReplyForm.
class AdapterProtocol {
 public:
  virtual ~AdapterProtocol() = default;
  AdapterProtocol(const AdapterProtocol&) = delete;
  AdapterProtocol& operator=(const AdapterProtocol&) = delete;

  // --- SMBus transactions ---
  // A word read on its own: the gauge is given time to answer before the reply is fetched.
  virtual AttemptOutcome ReadWord(std::uint8_t command, std::uint16_t& value) = 0;
  // A word of a scan, read as fast as the adapter allows; an adapter that paces itself reads it
  // as any word.
  virtual AttemptOutcome ReadScanWord(std::uint8_t command, std::uint16_t& value) {
    return ReadWord(command, value);
  }
  virtual AttemptOutcome WriteWord(std::uint8_t command, std::uint16_t value) = 0;
  // A block of gauge-given length, at most `max_length` data bytes; `data` gets the bytes after
  // the count byte.
  virtual AttemptOutcome ReadCountedBlock(std::uint8_t command, std::size_t max_length,
                                          common::Bytes& data) = 0;
  // length 255: the gauge's count byte decides; `out` gets 35 bytes (count, 32 data, 2 more).
  virtual AttemptOutcome ReadBlock(std::uint8_t command, std::uint8_t length,
                                   common::Bytes& out) = 0;
  // The count byte goes first, then `data`.
  virtual AttemptOutcome WriteBlock(std::uint8_t command, common::ByteView data) = 0;
  // bytes[0] is the command.
  virtual AttemptOutcome WriteBytes(common::ByteView bytes) = 0;
  // `out` gets count, subcommand low, subcommand high, `length` data bytes and the gauge's PEC.
  virtual AttemptOutcome ReadManufacturerBlock(std::uint8_t subcommand, std::uint8_t length,
                                               common::Bytes& out) = 0;
  // The reply of a SubCMD sent from the SubCMD panel, laid out as ReadManufacturerBlock's; an
  // adapter with one framing for both reads it the same way.
  virtual AttemptOutcome ReadSubCmdReply(std::uint8_t subcommand, std::uint8_t length,
                                         common::Bytes& out) {
    return ReadManufacturerBlock(subcommand, length, out);
  }

  // --- gauge command primitives ---
  // `count` bytes of page `page` of the selected subclass.
  virtual AttemptOutcome ReadFlashPage(std::uint8_t page, std::uint8_t count,
                                       common::Bytes& out) = 0;
  virtual AttemptOutcome WriteFlashPage(std::uint8_t page, common::ByteView data) = 0;
  // `selector`: a data-flash block 0x40..0x7F or a code address 0xF800 + n.
  virtual AttemptOutcome ReadFlashBlock(std::uint16_t selector, FlashBlock& block) = 0;
  // Selects the parameter's subclass and reads the page or two pages that hold it.
  AttemptOutcome ReadFlashParameter(const FlashParamLocation& row, FlashPages& pages);
  // Reads the parameter's pages, puts `encoded` in and writes them back up to its last byte.
  AttemptOutcome WriteFlashParameter(const FlashParamLocation& row, common::ByteView encoded);
  // A challenge (prelude 0) or a new key (after the key-change prelude word) to 0x2F, then the
  // gauge's digest.
  AttemptOutcome Authenticate(std::uint16_t prelude, common::ByteView payload, Digest& digest);

  // --- boot loader; false or kTransferError when the adapter exchange failed ---
  virtual bool WriteIspWord(std::uint16_t value, bool pec) = 0;
  virtual IspStatusReply ReadIspStatus(bool pec) = 0;
  virtual bool WriteIspRecord(common::ByteView record, bool pec) = 0;
  // The wait before each status read that follows a record.
  virtual common::Millis IspRecordPollWait() const = 0;

  virtual std::optional<AdapterVersion> ReadAdapterVersion() = 0;

 protected:
  explicit AdapterProtocol(common::Clock& clock) : clock_(clock) {}

  // The pieces of a parameter write: one page with its count byte, then what tells whether the
  // gauge took the last one.
  virtual AttemptOutcome WriteParameterPage(std::uint8_t page, common::ByteView data) = 0;
  virtual AttemptOutcome ConfirmParameterWrite() = 0;

  common::Clock& clock_;
};

// The settle time of a flash page write of `count` data bytes.
common::Millis FlashPageWriteSettle(std::size_t count);

// Whether `pec` is the gauge's PEC of a read of `command` that returned `data`: it covers 0x16,
// the command, 0x17 and the data.
bool ReadPecMatches(std::uint8_t command, common::ByteView data, std::uint8_t pec);

// Whether `reply`, the bytes read after `command` in bus order, is whole and holds the gauge's
// PEC where the read reached it. A block whose count byte promises more than was read was cut
// short, and one whose count byte is not the one asked for is another reply; a PEC the read
// stopped before cannot be checked.
bool ReplyIntact(std::uint8_t command, const ReplyForm& form, common::ByteView reply);

}  // namespace cw::link
