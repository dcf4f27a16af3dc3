#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/clock.h"
#include "common/front_end.h"
#include "common/function_ref.h"
#include "link/adapter_connection.h"
#include "link/adapter_protocol.h"
#include "link/bus_lock.h"
#include "link/command_codes.h"
#include "link/link_status.h"
#include "link/register_row.h"

namespace cw::link {

// The longest one transaction takes once the adapter stops answering. The first transfer that
// runs into its time-out ends the transaction: no further try of that report or packet and no
// further attempt. So at most one time-out is spent (the kernel's 5 s for a HID feature report,
// 1 s for a bulk packet), plus the protocol's fixed waits of the attempts before it: at most
// 4 x (ten tries of 10 ms on each of three exchanges + 9 ms) + 4 x 100 ms + one attempt's
// waits, under 2 s.
inline constexpr common::Millis kSilentAdapterBound =
    HidProtocol::kHidKernelTimeout + common::Millis{2000};

// Result codes of the firmware-update primitives.
enum IspCode : int {
  kIspAdapterFailure = 0,  // already reported to the user
  kIspSuccess = 1,
  kIspBadStatus = 2,  // the gauge did not reach the expected status; see `status`
  kIspPecMismatch = 3,
};

struct IspResult {
  int code = kIspAdapterFailure;
  std::uint16_t status = 0;  // last status word read, for kIspBadStatus
  bool operator==(const IspResult&) const = default;
};

// How the boot loader's status on 0x47 is polled after a handshake word or a record.
struct IspPollRule {
  common::Millis wait;  // before every read
  int max_reads;
  bool accept_zero_high;   // 0x0080 also counts (right after the first handshake word)
  bool final_read_counts;  // whether a value accepted on the last allowed read succeeds
};

// The one object that performs every transaction with the gauge at 0x16: SMBus words, blocks
// and raw bytes with PEC and retries under the bus lock, and the gauge's command primitives.
// Locked transactions may be called from any thread; the unlocked ones only by a caller that
// holds the bus lock or has the bus to itself (scan worker paused).
class GaugeLink {
 public:
  GaugeLink(HidBackend& hid, UsbBackend& usb, common::Clock& clock, common::MessageSink& messages,
            BusLock& bus_lock);

  AdapterConnection& connection() { return connection_; }
  BusLock& bus_lock() { return bus_lock_; }
  common::Clock& clock() { return clock_; }
  LinkStatus link_status() const { return status_.load(); }

  bool EnsureConnected();
  bool OpenHidAdapter() { return connection_.OpenHidAdapter(); }
  bool RegisterDeviceNotifications(std::function<void(UsbHotplugEvent)> callback) {
    return connection_.RegisterDeviceNotifications(std::move(callback));
  }
  // Locked; the caller pauses scanning around it.
  std::optional<AdapterVersion> ReadAdapterVersion();
  // The "PID/SN Cfg:" entry: on HID a hex product id, on bulk the serial prefix after the first
  // two characters ("0x8888" -> "8888"). Reconnects at once. The caller pauses scanning.
  bool SetAdapterId(std::string_view text);

  // --- locked transactions ---
  bool ReadWord(RegisterRow& row);
  // `value` is 0 on failure.
  bool ReadWord(std::uint8_t command, std::uint16_t& value);
  bool WriteWord(const RegisterRow& row);
  bool WriteWord(std::uint8_t command, std::uint16_t value);
  bool ReadBlock(RegisterRow& row);
  // length 255: the gauge's count byte decides; `out` gets 35 bytes (count, 32 data, 2 more).
  bool ReadBlock(std::uint8_t command, std::uint8_t length, common::Bytes& out);
  bool WriteBlock(std::uint8_t command, common::ByteView data);
  // bytes[0] is the command.
  bool WriteBytes(common::ByteView bytes);
  bool WriteBytesTwice(common::ByteView first, common::ByteView second);
  // `out` gets count, subcommand low, subcommand high, n data bytes and the gauge's PEC.
  bool ReadManufacturerBlock(std::uint8_t subcommand, std::uint8_t length, common::Bytes& out);
  // The reply of a SubCMD the SubCMD panel sends, laid out as ReadManufacturerBlock's.
  bool ReadSubCmdReply(std::uint8_t subcommand, std::uint8_t length, common::Bytes& out);

  // --- unlocked transactions ---
  bool ReadManufacturerBlockUnlocked(std::uint8_t subcommand, std::uint8_t length,
                                     common::Bytes& out);
  bool WriteWordUnlocked(std::uint8_t command, std::uint16_t value);

  // --- gauge command primitives ---
  // Operation Status through ManufacturerBlockAccess 0x54; nullopt when the reply is invalid.
  std::optional<std::uint16_t> ReadOperationStatus();
  // Single attempts, unlocked: the composite transfers that use them hold the lock and retry.
  bool SelectSubclass(std::uint8_t subclass);
  std::optional<common::Bytes> ReadFlashPage(std::uint8_t page, std::uint8_t count);
  bool WriteFlashPage(std::uint8_t page, common::ByteView data);
  // Unlocked, up to 5 attempts 100 ms apart.
  std::optional<FlashPages> ReadFlashParameterBlock(const FlashParamLocation& row);
  bool WriteFlashParameterBlock(const FlashParamLocation& row, common::ByteView encoded);
  // `selector`: a data-flash block 0x40..0x7F or a code address 0xF800 + n.
  std::optional<FlashBlock> ReadFlashBlock(std::uint16_t selector, bool take_lock);

  // The boot loader's status word, read once under the bus lock: what tells a gauge waiting in
  // its boot loader (an update stopped or failed) from one that is not there. Nothing when
  // nothing answers on 0x47 or the reply fails its PEC.
  std::optional<std::uint16_t> ReadBootLoaderStatus();
  // Whether the gauge waits in its boot loader, in update mode: an update was stopped or
  // failed, and only an update (of the whole image) brings its firmware back.
  bool WaitsInBootLoader();
  // Firmware update; no lock (the scan worker is paused around an update).
  bool IspCommand(bool pec);
  IspResult IspStepPair(bool pec);
  IspResult IspWriteData(common::ByteView record, bool pec);

  // Authentication; unlocked, up to 5 attempts. Bytes in wire order.
  std::optional<Digest> SendChallenge(common::ByteView challenge);
  std::optional<Digest> ChangeAuthKey(common::ByteView key);

 private:
  enum class OnExchangeFailure { kRetry, kStop };

  // Up to 5 attempts 100 ms apart, each after EnsureConnected; records LinkStatus. A time-out
  // of the adapter ends the loop at once. `attempt` gets the attempt's number and the protocol
  // of the adapter EnsureConnected opened for it.
  bool RunAttempts(OnExchangeFailure policy,
                   common::FunctionRef<AttemptOutcome(int, AdapterProtocol&)> attempt);
  // Turns a single attempt of a one-shot primitive into its result.
  bool Settle(AttemptOutcome outcome);
  // The end of a failed transaction: tells the user once why the adapter failed, if it did.
  bool Failed();
  // Runs `body` holding the bus lock; false at once when the lock stays busy for 500 ms.
  bool Locked(common::FunctionRef<bool()> body);
  // Records the outcome; a refusal after an adapter fault becomes kAdapterNotAnswering.
  void SetStatus(LinkStatus status);
  // Shows `text` once (a repeat of the last one is not shown again), never while this thread
  // holds the bus lock: then it waits for the release.
  void Notice(std::string text);
  void ShowPendingNotice();
  void ForgetNotice();

  using ManufacturerRead = AttemptOutcome (AdapterProtocol::*)(std::uint8_t, std::uint8_t,
                                                               common::Bytes&);
  bool RunManufacturerBlockRead(ManufacturerRead read_form, std::uint8_t subcommand,
                                std::uint8_t length, common::Bytes& out, bool take_lock);

  // ISP helpers
  bool IspEnsureConnected(std::string_view message, bool set_status);
  bool IspWriteWord(std::uint16_t value, bool pec);
  IspResult IspPoll(bool pec, const IspPollRule& rule);

  AdapterConnection connection_;
  common::Clock& clock_;
  common::MessageSink& messages_;
  BusLock& bus_lock_;
  std::atomic<LinkStatus> status_{LinkStatus::kNoAdapter};

  mutable std::mutex notice_mutex_;
  std::string last_notice_;
  std::string pending_notice_;
  std::atomic<bool> notice_pending_{false};
};

// Data bytes of a ManufacturerBlockAccess reply when it is valid for `subcommand` with `length`
// data bytes: count = length + 2, then the subcommand and 0. Empty otherwise.
std::optional<common::ByteView> ManufacturerBlockData(common::ByteView reply,
                                                      std::uint8_t subcommand, std::uint8_t length);

// Block text of a row-form block read: at most 31 characters, zero bytes shown as '@'.
std::string BlockText(common::ByteView data);

// Where the 32 bytes of a flash block read land in an export image: data-flash blocks at
// (b - 0x40) * 32 of the data image, code blocks at (a - 0xF800) * 32 of the code image.
struct FlashBlockPlace {
  bool code = false;
  std::size_t offset = 0;
};
std::optional<FlashBlockPlace> PlaceOfFlashBlock(std::uint16_t selector);

}  // namespace cw::link
