#pragma once

#include <filesystem>
#include <string>

#include "monitor/data_log.h"

namespace cw::presentation {

// The file and format of a data log chosen in "Select DataLog File". A name typed with one of the
// formats' extensions (".LOG" or ".csv", in any case) has that format, whatever filter is chosen:
// "faultlog.csv" is a CSV file, never "faultlog.csv.LOG". Any other name takes the filter's format
// and its extension.
struct DataLogChoice {
  std::filesystem::path path;
  monitor::LogFormat format;
};
DataLogChoice ChooseDataLog(const std::filesystem::path& typed, monitor::LogFormat filter_format);

// The SBS page's counter under the log button: "1 line logged", "2 lines logged", then how many
// of them hold unread values.
std::string LogTallyText(int lines, int lines_with_unread);

}  // namespace cw::presentation
