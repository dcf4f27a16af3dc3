#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/front_end.h"
#include "link/gauge_link.h"

namespace cw::app {

struct SubCmdLogRow {
  std::string cmd;
  std::string result;
  // Drawn in red.
  bool failed = false;
  bool operator==(const SubCmdLogRow&) const = default;
};

// The rows one call added to the log, in order.
using SubCmdRows = std::vector<SubCmdLogRow>;

enum class UnsealTarget { kUnseal, kFullAccess };

// What the gauge's Operation Status says after a key was sent.
enum class LockState {
  kUnlocked,
  kLocked,   // the front end opens the key dialog
  kUnknown,  // no well-formed Operation Status could be read: nothing is known
};

// What an unseal left: the lock as Operation Status then shows it, and the log rows it added.
struct Unsealing {
  LockState lock = LockState::kUnknown;
  SubCmdRows rows;
};

inline constexpr std::uint32_t kDefaultUnsealKey = 0x3B9E61D4;
inline constexpr std::uint32_t kDefaultFullAccessKey = 0xA7C2058F;

bool IsAcceptedSubCmd(std::uint16_t code);
bool IsRefusedFromEntry(std::uint16_t code);
bool IsWriteTypeSubCmd(std::uint16_t code);

// The SubCMD panel's state at one moment.
struct SubCmdView {
  std::vector<SubCmdLogRow> log;
  std::uint32_t unseal_key = kDefaultUnsealKey;
  std::uint32_t full_access_key = kDefaultFullAccessKey;

  std::uint32_t key(UnsealTarget target) const {
    return target == UnsealTarget::kUnseal ? unseal_key : full_access_key;
  }
  // What the key dialog shows when it opens.
  std::string KeyText(UnsealTarget target) const;
};

// The SubCMD panel's session: subcommands sent through ManufacturerBlockAccess, a code typed by
// hand, seal and unseal with their stored keys, and the log of everything sent. Runs on the
// caller's thread (a front end with a window runs it on a worker); every transaction takes the
// bus lock. The listeners hear of every new log row.
class SubCmdSession {
 public:
  SubCmdSession(link::GaugeLink& link, common::MessageSink& messages)
      : link_(link), messages_(messages) {}

  // Sends one subcommand and appends its log row, which the outcome holds too. Done when the
  // gauge took it (a read: answered with a well-formed reply). SEAL is done only when Operation
  // Status then shows the gauge sealed, also when the write itself was not acknowledged.
  common::OutcomeOf<SubCmdRows> RunSubcommand(std::uint16_t code);
  // A code typed by hand: whole hex (spaces removed, an optional "0x", 1 to 4 digits) or it is
  // refused with the input message; a code off the lists is refused with its own message. The
  // caller clears the entry field afterwards in every case.
  common::OutcomeOf<SubCmdRows> RunEnteredCode(std::string_view text);
  // UNSEAL / UNSEAL TO FA with the stored key. Done when the device is no longer locked. When it
  // is still locked the front end opens the key dialog for `target`; when its state could not be
  // read, a message says so.
  common::OutcomeOf<Unsealing> Unseal(UnsealTarget target);
  // The key dialog's OK: the typed key becomes the stored key and is sent. A key that is not
  // whole hex is refused with a message; the stored key stays and nothing is sent.
  common::OutcomeOf<SubCmdRows> SendNewKey(UnsealTarget target, std::string_view text);
  // The command line's unseal with a key: the key stored and sent as the dialog's OK does, then
  // the unseal with it.
  common::OutcomeOf<Unsealing> UnsealWithKey(UnsealTarget target, std::string_view text);
  void ClearLog();

  SubCmdView View() const;

  common::Observers<>& changes() { return changes_; }

 private:
  bool SendKey(std::uint32_t key);
  // Adds a row to the log and gives it back.
  SubCmdLogRow Append(std::string cmd, std::string_view result, bool failed);
  // Operation Status, asked again when the reply is missing or malformed.
  std::optional<std::uint16_t> ReadOperationStatus();
  // Whether Operation Status shows the gauge sealed after SEAL was sent; what it shows else is
  // said.
  bool ConfirmSeal(bool written, common::OutcomeBuilder& outcome);
  std::uint32_t key(UnsealTarget target) const;

  link::GaugeLink& link_;
  common::MessageSink& messages_;
  mutable std::mutex mutex_;  // guards the keys and the log: a worker adds while a front end reads
  std::uint32_t unseal_key_ = kDefaultUnsealKey;
  std::uint32_t full_access_key_ = kDefaultFullAccessKey;
  std::vector<SubCmdLogRow> log_;
  common::Observers<> changes_;
};

}  // namespace cw::app
