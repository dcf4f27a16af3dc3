#include "monitor/run_log_summary.h"

#include <algorithm>
#include <cstdint>

namespace cw::monitor {
namespace {

LogColumnSummary SummarizeColumn(const LogColumn& column) {
  LogColumnSummary summary{.name = column.name, .unit = column.unit, .kind = column.kind};
  double sum = 0;
  for (double value : column.values) {
    if (std::isnan(value)) {
      ++summary.unread;
      continue;
    }
    ++summary.read;
    if (column.kind == LogColumnKind::kBytes) continue;
    summary.last = value;
    if (column.kind != LogColumnKind::kNumber) continue;
    sum += value;
    summary.min = std::min(summary.min.value_or(value), value);
    summary.max = std::max(summary.max.value_or(value), value);
  }
  if (!summary.last) return summary;
  if (column.kind == LogColumnKind::kNumber) {
    summary.mean = sum / static_cast<double>(summary.read);
  } else if (!column.format.empty()) {
    summary.last_text = LogValueText(column, *summary.last);
  }
  return summary;
}

}  // namespace

LogSummary SummarizeRunLog(const RunLog& log) {
  LogSummary summary;
  summary.samples = log.rows();
  summary.incomplete_last_line = log.incomplete_last_line;
  if (!log.times.empty()) {
    summary.start = log.times.front();
    summary.end = log.times.back();
    summary.duration_seconds = summary.end - summary.start;
  }
  if (log.rows() > 1) {
    summary.mean_interval_seconds = summary.duration_seconds / static_cast<double>(log.rows() - 1);
    for (std::size_t i = 1; i < log.rows(); ++i) {
      const double gap = log.times[i] - log.times[i - 1];
      if (!summary.largest_gap_seconds || gap > *summary.largest_gap_seconds) {
        summary.largest_gap_seconds = gap;
        summary.largest_gap_at = log.times[i];
      }
    }
  }
  for (const LogColumn& column : log.columns) {
    summary.columns.push_back(SummarizeColumn(column));
    summary.unread += summary.columns.back().unread;
  }
  return summary;
}

}  // namespace cw::monitor
