#include "cli/monitor_commands.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "cli/json_output.h"
#include "cli/messages.h"
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

namespace text = messages::scan;
using monitor::RegisterTable;
using monitor::SbsRegisterDef;
using monitor::TableId;

std::atomic<bool> interrupted{false};
void OnInterrupt(int) { interrupted = true; }

// Time between two screens of the live view.
constexpr common::Millis kLiveRefresh{500};
// Rows per column of the live view on a terminal.
constexpr std::size_t kLiveColumnRows = 36;

std::string PlainLines(const RegisterTable& table) {
  std::string out;
  for (TableId id : monitor::kAllTables) {
    for (const SbsRegisterDef& row : table.rows(id)) {
      out += fmt::format("{}\t{}\t{}\n", row.name, row.ShownText(), row.unit);
    }
  }
  return out;
}

std::string Cell(const SbsRegisterDef* row) {
  if (row == nullptr) return std::string(42, ' ');
  std::string value(row->ShownText().substr(0, 12));
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
      text += Cell(line < column.size() ? column[line] : nullptr);
      text += "  ";
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text;
    out += '\n';
  }
  out += '\n';
  for (const SbsRegisterDef& row : table.rows(TableId::kD)) {
    out += fmt::format("{:<20} {} {}\n", row.name, row.ShownText(), row.unit);
  }
  return out;
}

int ScanOnce(app::Workbench& bench, const CommandOutput& output) {
  const monitor::ScanReport report = bench.sbs().ScanOnce();
  // A pass that read no row is no reading: the document is the link's failure.
  if (output.json() && report.unread == report.rows) {
    return output.LinkError(bench.link().link_status(), kExitFailed);
  }
  output.Result([&] { fmt::print("{}", PlainLines(report.table)); },
                [&] { return json::Scan(report); });
  // Exit status of a one-pass scan: every row read, or how many were not.
  if (report.unread == 0) return kExitSuccess;
  fmt::print(stderr, "{}\n",
             fmt::format(fmt::runtime(text::kRowsNotRead), report.unread, report.rows,
                         link::StatusBarText(bench.link().link_status())));
  return kExitFailed;
}

int ScanLive(app::Workbench& bench, int count) {
  monitor::ScanEngine& engine = bench.monitor().engine();
  // Starting the page resets the table's run state, so every row is selected after it.
  bench.StartScan();
  bench.sbs().SelectAllRows(monitor::RowSelection::kScanAll);
  const bool terminal = StdoutIsTerminal();
  interrupted = false;
  std::signal(SIGINT, OnInterrupt);
  {
    monitor::CCommThread& worker = *bench.monitor().worker();
    for (int screen = 0; (count == 0 || screen < count) && !interrupted && !ResultsLost();
         ++screen) {
      bench.clock().SleepFor(kLiveRefresh);
      const RegisterTable table = engine.Snapshot();
      const std::string body = terminal ? TerminalScreen(table) : PlainLines(table);
      const std::string heading = fmt::format(
          fmt::runtime(text::kLiveHeading), bench.simulated() ? "simulated pack" : "adapter",
          worker.passes(), link::StatusBarText(bench.link().link_status()));
      if (terminal) {
        // Home and clear, so the view refreshes in place.
        fmt::print("\x1b[H\x1b[2J{}\n\n{}\n{}\n", heading, body, text::kLiveFooter);
      } else {
        fmt::print("{}\n{}\n", heading, body);
      }
      std::fflush(stdout);
    }
  }
  std::signal(SIGINT, SIG_DFL);
  return kExitSuccess;
}

int Log(app::Workbench& bench, const monitor::LogRecording& recording) {
  interrupted = false;
  std::signal(SIGINT, OnInterrupt);
  const monitor::LogRecordingResult result = bench.sbs().RecordLog(recording, interrupted);
  std::signal(SIGINT, SIG_DFL);
  if (result.unknown_row) {
    fmt::print(stderr, "{}\n", fmt::format(fmt::runtime(text::kUnknownRow), *result.unknown_row));
    return kExitUsage;
  }
  if (!result.started) return kExitFailed;
  fmt::print("{}\n", fmt::format(fmt::runtime(text::kLogWritten), result.lines, recording.path));
  // The file keeps its format (a failed read is a "0" like any other), so the count is told here.
  if (result.unread_fields > 0) {
    fmt::print(stderr, "{}\n",
               fmt::format(fmt::runtime(text::kLogFieldsNotRead), result.unread_fields,
                           result.fields, link::StatusBarText(bench.link().link_status())));
  }
  return result.complete && result.unread_fields == 0 ? kExitSuccess : kExitFailed;
}

}  // namespace

void AddMonitorCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* scan = app.add_subcommand("scan", std::string(text::kScanDescription));
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
    exit_code = *once ? ScanOnce(*bench, context.output()) : ScanLive(*bench, *count);
  });

  auto* log = app.add_subcommand("log", std::string(text::kLogDescription));
  auto options = std::make_shared<monitor::LogRecording>();
  log->add_option("FILE", options->path, "data log file to create")->required();
  log->add_option("--interval", options->interval_seconds, "seconds between lines (1 to 60)")
      ->transform(WholeNumberIn(monitor::DataLog::kMinInterval, monitor::DataLog::kMaxInterval));
  log->add_option("--samples", options->samples, "data lines to write")
      ->required()
      ->transform(WholeNumberIn(1));
  log->add_option("--rows", options->rows, "row names, comma separated (default: tables A-C)")
      ->delimiter(',');
  log->callback([options, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    exit_code = Log(*bench, *options);
  });
}

}  // namespace cw::cli
