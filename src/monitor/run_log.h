#pragma once

#include <cmath>
#include <cstddef>
#include <expected>
#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "monitor/data_log.h"

namespace cw::monitor {

// What a column of a data log holds: a number to plot, a status word written in hex, or the
// debug block's bytes (read or not, nothing to plot).
enum class LogColumnKind { kNumber, kHex, kBytes };

// One logged register: its name as the lists show it (a heading the register table does not know
// stays as written), its unit ("" when it has none or the file does not say), and one value per
// row, NaN where the value was not read.
struct LogColumn {
  std::string name;
  std::string unit;
  LogColumnKind kind = LogColumnKind::kNumber;
  // The register's printf format ("%04X"), empty for a column the table does not know.
  std::string format;
  std::vector<double> values;

  bool read(std::size_t row) const { return !std::isnan(values[row]); }
};

// A data log as the product wrote it (.LOG or CSV), read back: each row's clock time and each
// register's values.
struct RunLog {
  std::filesystem::path path;
  LogFormat format = LogFormat::kText;
  // The .LOG header's static data (name as written, value text); none in a CSV.
  std::vector<std::pair<std::string, std::string>> static_data;
  // The clock time of each row, in seconds since 1970-01-01 00:00 as the logging PC's local
  // clock read it (the file names no time zone). Never decreasing.
  std::vector<double> times;
  std::vector<LogColumn> columns;
  // The file ended inside a line (a log still being written, or cut short): that line is left
  // out.
  bool incomplete_last_line = false;

  std::size_t rows() const { return times.size(); }
  // The column named `name`, or null.
  const LogColumn* Find(std::string_view name) const;
};

// Why a file could not be read as a data log. `line` is the line at fault (1 for the first), 0
// when the file itself could not be read.
struct LogReadError {
  std::size_t line = 0;
  std::string message;
  bool stopped = false;  // the stop token ended the reading
};

// Reads the data log at `path`. A file that is no data log is refused with the first line that
// shows it. A long file checks `stop` now and then.
std::expected<RunLog, LogReadError> ReadRunLog(const std::filesystem::path& path,
                                               std::stop_token stop = {});
// The same from the text of a file; `path` names it in messages.
std::expected<RunLog, LogReadError> ParseRunLog(std::string_view text,
                                                const std::filesystem::path& path,
                                                std::stop_token stop = {});

// A value of `column` as the lists show it ("16100", "25.3", "0080").
std::string LogValueText(const LogColumn& column, double value);

// "2026-12-10 13:42:05" for a clock time of RunLog::times.
std::string LogClockText(double seconds);

}  // namespace cw::monitor
