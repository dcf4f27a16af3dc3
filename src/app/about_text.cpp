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
  std::string text = fmt::format("{}  {}      {} {}\r\n", "Program Version : ", program_version,
                                 messages::kAboutDateLabel, messages::kAboutProgramDate);
  const auto version = link.ReadAdapterVersion();
  AboutText about{text, version.has_value(), program_version, messages::kAboutProgramDate, version};
  if (!version) {
    about.text += messages::kUsbTransferErrorDot;
  } else {
    about.text += fmt::format("{}{}{}{}\r\n", "MCU Version :", version->text,
                              messages::kAboutDateLabel, AdapterDateText(*version));
  }
  return about;
}

std::string AdapterDateText(const link::AdapterVersion& version) {
  return fmt::format("{:02X}/{:02X}/{:02X}", version.bytes[0], version.bytes[1], version.bytes[2]);
}

AboutText AboutVersionText(link::GaugeLink& link, common::ScanPause& scan) {
  const ScanPauseGuard paused(scan);
  return AboutVersionText(link);
}

}  // namespace cw::app
