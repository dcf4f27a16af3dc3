#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/message_sink.h"
#include "link/gauge_link.h"

namespace cw::app {

struct SubCmdLogRow {
  std::string cmd;
  std::string result;
  // Drawn in red.
  bool failed = false;
  bool operator==(const SubCmdLogRow&) const = default;
};

// One button of the panel and the subcommand it sends.
struct SubCmdButton {
  std::string_view label;
  std::uint16_t code;
};

inline constexpr std::array<SubCmdButton, 17> kSubCmdButtons = {{
    {"DEVICE_TYPE", 0x01},
    {"HW_VERSION", 0x03},
    {"FW_VERSION", 0x02},
    {"CHEM_ID", 0x06},
    {"SHUTDOWN", 0x10},
    {"IATA_SHUTDOWN", 0xF0},
    {"PFET_TOGGLE", 0x1E},
    {"CFET_TOGGLE", 0x1F},
    {"DFET_TOGGLE", 0x20},
    {"FET_EN", 0x22},
    {"LIFETIME_EN", 0x23},
    {"LT_RESET", 0x28},
    {"PF_EN", 0x24},
    {"PF_CLEAR", 0x29},
    {"FUSE_EN", 0x26},
    {"RESET", 0x41},
    {"SEAL", 0x30},
}};

enum class UnsealTarget { kUnseal, kFullAccess };

inline constexpr std::uint32_t kDefaultUnsealKey = 0x3B9E61D4;
inline constexpr std::uint32_t kDefaultFullAccessKey = 0xA7C2058F;

bool IsAcceptedSubCmd(std::uint16_t code);
bool IsRefusedFromEntry(std::uint16_t code);
bool IsWriteTypeSubCmd(std::uint16_t code);

// The SubCMD panel: subcommand buttons, the entry field, seal and unseal with their keys, and
// the log of everything sent. Runs on the caller's thread; every transaction takes the bus lock.
class SubCmdPanel {
 public:
  SubCmdPanel(link::GaugeLink& link, common::MessageSink& messages)
      : link_(link), messages_(messages) {}

  // Sends one subcommand and appends its log row.
  void RunSubcommand(std::uint16_t code);
  // The entry field's Enter: parses `text`, refuses with a message or runs the code. The caller
  // clears the field afterwards in every case.
  void SubmitEntry(std::string_view text);
  // UNSEAL / UNSEAL TO FA with the stored key. True when the device is still locked: the front
  // end then opens the key dialog for `target`.
  bool Unseal(UnsealTarget target);
  // What the key dialog shows when it opens.
  std::string DialogKeyText(UnsealTarget target) const;
  // The key dialog's OK: the typed key becomes the stored key and is sent.
  void SubmitDialogKey(UnsealTarget target, std::string_view text);
  void ClearLog() { log_.clear(); }

  const std::vector<SubCmdLogRow>& log() const { return log_; }
  std::uint32_t key(UnsealTarget target) const;

 private:
  void SendKey(std::uint32_t key);
  void Append(std::string cmd, std::string_view result, bool failed);

  link::GaugeLink& link_;
  common::MessageSink& messages_;
  std::uint32_t unseal_key_ = kDefaultUnsealKey;
  std::uint32_t full_access_key_ = kDefaultFullAccessKey;
  std::vector<SubCmdLogRow> log_;
};

}  // namespace cw::app
