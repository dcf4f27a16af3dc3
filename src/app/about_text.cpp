#include "app/about_text.h"

#include <fmt/format.h>

#include "app/messages.h"
#include "app/scan_pause_guard.h"

namespace cw::app {
namespace {

constexpr int kProgramVersion = 0x307;

}  // namespace

AboutText AboutVersionText(link::GaugeLink& link) {
  const std::string digits = fmt::format("{:03X}", kProgramVersion);
  const std::string program_version = digits.substr(0, 1) + "." + digits.substr(1);
  std::string text =
      fmt::format("{}  {}      {} {}\r\n", messages::kAboutProgramLabel, program_version,
                  messages::kAboutDateLabel, messages::kAboutProgramDate);
  const auto version = link.ReadAdapterVersion();
  if (!version) return {text + std::string(messages::kUsbTransferErrorDot), false};
  return {text + fmt::format("{}{}{}{:02X}/{:02X}/{:02X}\r\n", messages::kAboutMcuLabel,
                             version->text, messages::kAboutDateLabel, version->bytes[0],
                             version->bytes[1], version->bytes[2]),
          true};
}

AboutText AboutVersionText(link::GaugeLink& link, common::ScanPause& scan) {
  const ScanPauseGuard paused(scan);
  return AboutVersionText(link);
}

}  // namespace cw::app
