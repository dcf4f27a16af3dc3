#include "cli/monitor_commands.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "cli/json_output.h"
#include "cli/log_commands.h"
#include "cli/output.h"
#include "monitor/comm_thread.h"
#include "monitor/data_log.h"
#include "monitor/local_time.h"
#include "monitor/messages.h"
#include "monitor/monitor_session.h"
#include "monitor/register_table.h"
#include "monitor/sbs_session.h"
#include "monitor/scan_engine.h"

namespace cw::cli {
namespace {

using monitor::RegisterTable;
using monitor::SbsRegisterDef;
using monitor::TableId;

// Time between two screens of the live view.
constexpr common::Millis kLiveRefresh{500};
// Rows per column of the live view on a terminal.
constexpr std::size_t kLiveColumnRows = 36;

// The value of `row` as the terminal shows it: nothing unless it is current.
std::string_view Shown(const RegisterTable& table, const SbsRegisterDef& row) {
  return table.Current(row) ? row.ShownText() : std::string_view();
}

// Rows named one by one in a message; the rest are counted.
constexpr std::size_t kNamedRows = 10;

std::string RowList(const std::vector<std::string>& rows) {
  const std::size_t named = std::min(rows.size(), kNamedRows);
  std::string list = fmt::format("{}", fmt::join(rows.begin(), rows.begin() + named, ", "));
  if (named == rows.size()) return list;
  return fmt::format("{} and {} more", list, rows.size() - named);
}

std::string PlainLines(const RegisterTable& table) {
  std::string out;
  for (TableId id : monitor::kAllTables) {
    for (const SbsRegisterDef& row : table.rows(id)) {
      out += fmt::format("{}\t{}\t{}\n", row.name, Shown(table, row), row.unit);
    }
  }
  return out;
}

std::string Cell(const RegisterTable& table, const SbsRegisterDef* row) {
  if (row == nullptr) return std::string(42, ' ');
  std::string value(Shown(table, *row).substr(0, 12));
  return fmt::format("{:<24.24} {:>12} {:<5}", row->name, value, row->unit.substr(0, 5));
}

// Three columns: tables A and B, then table C in two halves; the static data below.
std::string TerminalScreen(const RegisterTable& table) {
  std::vector<const SbsRegisterDef*> columns[3];
  for (const SbsRegisterDef& row : table.rows(TableId::kA)) columns[0].push_back(&row);
  for (const SbsRegisterDef& row : table.rows(TableId::kB)) columns[0].push_back(&row);
  const auto c = table.rows(TableId::kC);
  for (std::size_t i = 0; i < c.size(); ++i) {
    columns[i < kLiveColumnRows ? 1 : 2].push_back(&c[i]);
  }
  std::string out;
  const std::size_t height = std::max({columns[0].size(), columns[1].size(), columns[2].size()});
  for (std::size_t line = 0; line < height; ++line) {
    std::string text;
    for (const auto& column : columns) {
      text += Cell(table, line < column.size() ? column[line] : nullptr);
      text += "  ";
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text;
    out += '\n';
  }
  out += '\n';
  for (const SbsRegisterDef& row : table.rows(TableId::kD)) {
    out += fmt::format("{:<20} {} {}\n", row.name, Shown(table, row), row.unit);
  }
  return out;
}

int ScanOnce(app::Workbench& bench, const CommandOutput& output) {
  const monitor::ScanReport report = bench.sbs().ScanOnce();
  // A pass that read no row is no reading: the document is the link's failure.
  if (output.json() && report.unread == report.rows) {
    return output.LinkError(bench.link(), kExitFailed);
  }
  output.Result([&] { fmt::print("{}", PlainLines(report.table)); },
                [&] { return json::Scan(report); });
  // Exit status of a one-pass scan: every row read, or how many were not.
  if (report.unread == 0) return kExitSuccess;
  fmt::print(stderr, "{}\n",
             fmt::format("{} of {} rows could not be read: {}", report.unread, report.rows,
                         link::LinkStatusText(bench.link().link_status())));
  return kExitFailed;
}

int ScanLive(app::Workbench& bench, int count, std::stop_token stop) {
  monitor::ScanEngine& engine = bench.monitor().engine();
  // Starting the page resets the table's run state, so every row is selected after it.
  bench.StartScan();
  bench.sbs().SelectAllRows(monitor::RowSelection::kScanAll);
  const bool terminal = StdoutIsTerminal();
  {
    monitor::CCommThread& worker = *bench.monitor().worker();
    for (int screen = 0; (count == 0 || screen < count) && !stop.stop_requested() && !ResultsLost();
         ++screen) {
      bench.clock().SleepFor(kLiveRefresh);
      const RegisterTable table = engine.Snapshot();
      const std::string body = terminal ? TerminalScreen(table) : PlainLines(table);
      const std::string heading = fmt::format(
          "Cellwarden SBS scan ({})  pass {}  {}", bench.simulated() ? "simulated pack" : "adapter",
          worker.passes(), link::LinkStatusText(bench.link().link_status()));
      if (terminal) {
        // Home and clear, so the view refreshes in place.
        fmt::print("\x1b[H\x1b[2J{}\n\n{}\n{}\n", heading, body, "Ctrl-C ends the scan.");
      } else {
        fmt::print("{}\n{}\n", heading, body);
      }
      std::fflush(stdout);
    }
  }
  return kExitSuccess;
}

int Log(app::Workbench& bench, const monitor::LogRecording& recording, std::stop_token stop,
        ConsoleProgressBar& bar) {
  std::atomic<bool> stopped{false};
  const std::stop_callback on_stop(stop, [&stopped] { stopped = true; });
  const monitor::LogRecordingResult result =
      bench.sbs().RecordLog(recording, stopped, [&](int lines) {
        bar.Draw(lines, recording.samples, fmt::format("{}/{} lines", lines, recording.samples));
      });
  bar.Finish();
  if (result.unknown_row) {
    fmt::print(
        stderr, "{}\n",
        fmt::format("\"{}\" is not a register row of tables A, B or C", *result.unknown_row));
    return kExitUsage;
  }
  if (!result.started) return kExitFailed;
  fmt::print("{}\n", fmt::format("{} data lines written to {}", result.lines, recording.path));
  // Ctrl-C is how a user ends a log early: the file is whole, and that is no failure.
  if (result.stopped) {
    fmt::print(stderr, "Stopped before the {} lines asked for; every line in the file is whole.\n",
               recording.samples);
  }
  // The file marks each value that was not read; how many there were is told here, and such a
  // log is no success.
  if (result.values.unread > 0) {
    fmt::print(
        stderr, "{}\n",
        fmt::format("{} of {} logged values could not be read and are written as {} ({})",
                    result.values.unread, result.values.values, monitor::messages::kLogUnreadValue,
                    link::LinkStatusText(bench.link().link_status())));
    fmt::print(stderr, "{}\n", fmt::format("not read: {}", RowList(result.values.unread_rows)));
  }
  return (result.complete || result.stopped) && result.values.unread == 0 ? kExitSuccess
                                                                          : kExitFailed;
}

}  // namespace

void AddMonitorCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* scan = app.add_subcommand(
      "scan",
      std::string(
          "Read the SBS register table: one pass with --once, else a live view until Ctrl-C"));
  auto once = std::make_shared<bool>(false);
  auto count = std::make_shared<int>(0);
  auto* once_flag =
      scan->add_flag("--once", *once, "one pass over every row, printed as name, value, unit");
  context.output().OfferJson(*scan)->needs(once_flag);
  scan->add_option("--count", *count, "live view: stop after this many screens (0: until Ctrl-C)")
      ->transform(WholeNumberIn(0));
  scan->callback([once, count, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    exit_code =
        *once ? ScanOnce(*bench, context.output())
              : ScanLive(*bench, *count, context.HonourStop(CommandContext::StopIs::kUsualEnd));
  });

  auto* log = app.add_subcommand(
      "log", std::string("Scan rows and write them to a data log file every interval"));
  log->require_subcommand(0, 1);
  CLI::App* summary = AddLogSummaryCommand(*log, context, exit_code);
  auto options = std::make_shared<monitor::LogRecording>();
  // Required unless `log summary` is the command: checked when the log is to be written.
  auto* file = log->add_option("FILE", options->path, "data log file to create (required)");
  log->add_option("--interval", options->interval_seconds, "seconds between lines (1 to 60)")
      ->transform(WholeNumberIn(monitor::DataLog::kMinInterval, monitor::DataLog::kMaxInterval));
  auto* samples = log->add_option("--samples", options->samples, "data lines to write (required)")
                      ->transform(WholeNumberIn(1));
  log->add_option("--rows", options->rows, "row names, comma separated (default: tables A-C)")
      ->delimiter(',');
  log->callback([options, summary, file, samples, &context, &exit_code] {
    if (summary->parsed()) return;
    for (const CLI::Option* option : {file, samples}) {
      if (option->count() == 0) throw CLI::RequiredError(option->get_name());
    }
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    exit_code = Log(*bench, *options, context.HonourStop(CommandContext::StopIs::kUsualEnd),
                    context.progress().bar());
  });
}

}  // namespace cw::cli
