#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "monitor/run_log.h"

namespace cw::monitor {

// One column of a data log at a glance, of the values read (none when no value was read). Min,
// max and mean are of numbers only: a status word has its last value, the debug block its
// counts.
struct LogColumnSummary {
  std::string name;
  std::string unit;
  LogColumnKind kind = LogColumnKind::kNumber;
  std::size_t read = 0;
  std::size_t unread = 0;
  std::optional<double> min;
  std::optional<double> max;
  std::optional<double> mean;
  std::optional<double> last;
  // The last value read as the lists show it ("0080" for a status word); empty when none.
  std::string last_text;
};

// A data log at a glance: its span of time, its rows and their spacing, and each column.
struct LogSummary {
  std::size_t samples = 0;
  double start = 0;  // clock times as RunLog::times
  double end = 0;
  double duration_seconds = 0;
  // Between two rows: on average, and the largest (with the clock time of the row after it).
  std::optional<double> mean_interval_seconds;
  std::optional<double> largest_gap_seconds;
  std::optional<double> largest_gap_at;
  std::size_t unread = 0;  // every value of every column not read
  bool incomplete_last_line = false;
  std::vector<LogColumnSummary> columns;
};

LogSummary SummarizeRunLog(const RunLog& log);

}  // namespace cw::monitor
