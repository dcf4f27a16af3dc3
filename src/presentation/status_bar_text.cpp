#include "presentation/status_bar_text.h"

#include <fmt/format.h>

#include <ctime>

namespace cw::presentation {

TaskProgressView TaskProgressText(common::TaskKind kind, int total, int done) {
  const bool flash = kind == common::TaskKind::kDataFlash;
  const std::string_view zero = flash ? "DF Task Progress: 0%" : "SBS Task Progress: 0%";
  const std::string_view running = flash ? "DF Task Progress: {}%" : "SBS Task Progress: {}%";
  const std::string_view full = flash ? "DF Task Progress: 100%" : "SBS Task Progress: 100%";
  const std::string no_completion("  ");
  if (total == 0) return {std::string(zero), false, 0, no_completion};
  const unsigned percent = static_cast<unsigned>(done) * 100u / static_cast<unsigned>(total);
  if (percent == 100) return {std::string(full), false, 100, std::string(" Task Completed.")};
  // Work under way shows its bar, never the last task's "Task Completed." beside its percent.
  if (percent == 0) return {std::string(zero), true, 0, no_completion};
  return {fmt::format(fmt::runtime(running), percent), true, static_cast<int>(percent),
          no_completion};
}

std::string StatusClockText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16] = {};
  std::strftime(text, sizeof text, " %H:%M:%S ", &local);
  return text;
}

}  // namespace cw::presentation
