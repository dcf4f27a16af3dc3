#include "cli/log_commands.h"

#include <fmt/format.h>

#include <cmath>
#include <memory>
#include <string>

#include "cli/json_output.h"
#include "cli/messages.h"
#include "monitor/run_log.h"
#include "monitor/run_log_summary.h"

namespace cw::cli {
namespace {

namespace text = messages::log_summary;

// "25:03:07": a log may run for more than a day.
std::string Duration(double seconds) {
  const auto whole = static_cast<long long>(std::llround(seconds));
  return fmt::format("{}:{:02}:{:02}", whole / 3600, whole / 60 % 60, whole % 60);
}

std::string Number(const std::optional<double>& value) {
  return value ? fmt::format("{:.6g}", *value) : std::string("-");
}

void PrintSummary(const monitor::RunLog& log, const monitor::LogSummary& summary) {
  const bool rows = summary.samples > 0;
  fmt::print("{}\n",
             fmt::format("{} ({} data log): {} samples from {} to {} ({})", log.path.string(),
                         log.format == monitor::LogFormat::kCsv ? "CSV" : ".LOG", summary.samples,
                         rows ? monitor::LogClockText(summary.start) : "-",
                         rows ? monitor::LogClockText(summary.end) : "-",
                         Duration(summary.duration_seconds)));
  if (summary.mean_interval_seconds) {
    fmt::print("{}\n", fmt::format(text::kInterval, *summary.mean_interval_seconds,
                                   Number(summary.largest_gap_seconds),
                                   monitor::LogClockText(*summary.largest_gap_at -
                                                         *summary.largest_gap_seconds),
                                   monitor::LogClockText(*summary.largest_gap_at)));
  }
  fmt::print("{}\n", fmt::format(text::kUnread, summary.unread));
  if (summary.incomplete_last_line)
    fmt::print("{}\n", "The last line is cut short (a log still being written?) and is left out.");
  fmt::print("\n{}\n", fmt::format(text::kColumnsHeading, "Register", "Unit", "Min", "Max", "Mean",
                                   "Last", "Unread"));
  for (const monitor::LogColumnSummary& column : summary.columns) {
    const std::string last = column.last_text.empty() ? Number(column.last) : column.last_text;
    fmt::print("{}\n",
               fmt::format(text::kColumnsHeading, column.name, column.unit, Number(column.min),
                           Number(column.max), Number(column.mean), last, column.unread));
  }
}

int Summary(const CommandOutput& output, const std::string& path) {
  const auto log = monitor::ReadRunLog(path);
  if (!log) return output.Error(ErrorKind::kFile, log.error().message, kExitFailed);
  const monitor::LogSummary summary = monitor::SummarizeRunLog(*log);
  output.Result([&] { PrintSummary(*log, summary); },
                [&] { return json::LogSummary(*log, summary); });
  return kExitSuccess;
}

}  // namespace

CLI::App* AddLogSummaryCommand(CLI::App& log, CommandContext& context, int& exit_code) {
  auto* summary = log.add_subcommand("summary", std::string(text::kDescription));
  auto path = std::make_shared<std::string>();
  summary->add_option("FILE", *path, "the data log (.LOG or .csv)")->required();
  context.output().OfferJson(*summary);
  summary->callback([path, &context, &exit_code] { exit_code = Summary(context.output(), *path); });
  return summary;
}

}  // namespace cw::cli
