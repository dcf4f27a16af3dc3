#include "app/main_window_rules.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <ctime>

#include "app/messages.h"
#include "monitor/data_log.h"

namespace cw::app {
namespace {

constexpr std::uint32_t kNotRead = 0xFFFFFFFFu;
constexpr int kProgramVersion = 0x307;
constexpr int kMinimumLoggingSeconds = 1;
constexpr int kMaximumLoggingSeconds = 60;

}  // namespace

TaskProgressView TaskProgressText(common::TaskKind kind, int total, int done) {
  const bool flash = kind == common::TaskKind::kDataFlash;
  const std::string_view zero = flash ? messages::kDfProgressZero : messages::kSbsProgressZero;
  const std::string_view running =
      flash ? messages::kDfProgressRunning : messages::kSbsProgressRunning;
  const std::string_view full = flash ? messages::kDfProgressFull : messages::kSbsProgressFull;
  if (total == 0) return {std::string(zero), false, 0, std::string("  ")};
  const unsigned percent = static_cast<unsigned>(done) * 100u / static_cast<unsigned>(total);
  if (percent == 0) return {std::string(zero), true, 0, std::nullopt};
  if (percent == 100) return {std::string(full), false, 100, std::string(messages::kTaskCompleted)};
  return {fmt::format(fmt::runtime(running), percent), std::nullopt, static_cast<int>(percent),
          std::nullopt};
}

std::optional<ChargeGauge::View> ChargeGauge::Update(std::int64_t full_raw,
                                                     std::int64_t remaining_raw) {
  const auto full = static_cast<std::uint32_t>(full_raw);
  const auto remaining = static_cast<std::uint32_t>(remaining_raw);
  if (full == 0 || full == kNotRead) {
    if (last_shown_ == 0.0f) return std::nullopt;
    last_shown_ = 0.0f;
    return View{0, fmt::format("{:.1f}%", 0.0)};
  }
  if (remaining == kNotRead) return std::nullopt;
  const long double percentage = static_cast<long double>(remaining) * 100.0L / full;
  if (static_cast<float>(percentage) == last_shown_) return std::nullopt;
  last_shown_ = static_cast<float>(percentage);
  return View{static_cast<int>(last_shown_), fmt::format("{:.1f}%", last_shown_)};
}

bool PageSelector::Select(Page page) {
  if (page == current_) return false;
  if (current_ == Page::kCalibration && calibration_refresh_) calibration_refresh_(false);
  current_ = page;
  if (current_ == Page::kCalibration && calibration_refresh_) calibration_refresh_(true);
  return true;
}

std::string StatusClockText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16] = {};
  std::strftime(text, sizeof text, " %H:%M:%S ", &local);
  return text;
}

std::filesystem::path DataLogPath(const std::filesystem::path& chosen) {
  return monitor::DataLogFilePath(chosen, monitor::LogFormat::kText);
}

std::optional<int> ParseLoggingTime(std::string_view text, common::MessageSink& messages) {
  // Read like atoi: leading blanks, a sign, digits; anything else reads as 0.
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  int seconds = 0;
  std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (seconds < kMinimumLoggingSeconds || seconds > kMaximumLoggingSeconds) {
    messages.Show(messages::kLoggingRateRange, messages::kLoggingRateCaption,
                  common::MessageIcon::kInformation);
    return std::nullopt;
  }
  return seconds;
}

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

}  // namespace cw::app
