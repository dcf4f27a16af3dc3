#include "presentation/data_log_choice.h"

#include <fmt/format.h>

namespace cw::presentation {

DataLogChoice ChooseDataLog(const std::filesystem::path& typed, monitor::LogFormat filter_format) {
  for (const monitor::LogFormat format : {monitor::LogFormat::kText, monitor::LogFormat::kCsv}) {
    const std::filesystem::path named = monitor::DataLogFilePath(typed, format);
    if (named == typed) return {typed, format};
  }
  return {monitor::DataLogFilePath(typed, filter_format), filter_format};
}

std::string LogTallyText(int lines, int lines_with_unread) {
  std::string text =
      lines == 1 ? std::string("1 line logged") : fmt::format("{} lines logged", lines);
  return text + fmt::format("\n{} with unread values", lines_with_unread);
}

}  // namespace cw::presentation
