#include "cli/monitor_commands.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "cli/messages.h"
#include "monitor/comm_thread.h"
#include "monitor/data_log.h"
#include "monitor/local_time.h"
#include "monitor/messages.h"
#include "monitor/monitor_session.h"
#include "monitor/register_table.h"
#include "monitor/sbs_page_rules.h"
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

// Exit status of a one-pass scan: every row read, or how many were not.
int ReportUnread(app::Workbench& bench) {
  int failed = 0;
  int total = 0;
  bench.monitor().engine().WithTable([&](const RegisterTable& table) {
    for (TableId id : monitor::kAllTables) {
      for (const SbsRegisterDef& row : table.rows(id)) {
        ++total;
        if (row.ReadFailed()) ++failed;
      }
    }
  });
  if (failed == 0) return kExitSuccess;
  fmt::print(stderr, "{}\n",
             fmt::format(fmt::runtime(text::kRowsNotRead), failed, total,
                         link::StatusBarText(bench.link().link_status())));
  return kExitFailed;
}

int ScanOnce(app::Workbench& bench) {
  monitor::ScanEngine& engine = bench.monitor().engine();
  engine.WithTable([](RegisterTable& table) { table.SetAllScan(true); });
  engine.ScanPass();
  engine.RefreshStaticData();
  fmt::print("{}", engine.WithTable([](const RegisterTable& table) { return PlainLines(table); }));
  return ReportUnread(bench);
}

int ScanLive(app::Workbench& bench, int count) {
  monitor::ScanEngine& engine = bench.monitor().engine();
  // Starting the page resets the table's run state, so every row is selected after it.
  bench.StartScan();
  engine.WithTable([](RegisterTable& table) { table.SetAllScan(true); });
  const bool terminal = StdoutIsTerminal();
  interrupted = false;
  std::signal(SIGINT, OnInterrupt);
  {
    monitor::CCommThread& worker = *bench.monitor().worker();
    for (int screen = 0; (count == 0 || screen < count) && !interrupted; ++screen) {
      bench.clock().SleepFor(kLiveRefresh);
      const std::string body = engine.WithTable([&](const RegisterTable& table) {
        return terminal ? TerminalScreen(table) : PlainLines(table);
      });
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

struct LogOptions {
  std::string path;
  int interval = monitor::DataLog::kDefaultInterval;
  int samples = 1;
  std::vector<std::string> rows;
};

// Ticks the Log cell of each named row (a row named twice is ticked once), or presses Log All
// when none is named. False after naming a row that is not in tables A to C.
bool SelectLoggedRows(monitor::SbsPageRules& page, monitor::ScanEngine& engine,
                      const std::vector<std::string>& names) {
  if (names.empty()) return page.PressButton(monitor::PageButton::kLogAll);
  for (const std::string& name : names) {
    const auto found = engine.WithTable([&](const RegisterTable& table) {
      const auto ref = table.Find(name);
      return ref ? std::optional(std::pair{*ref, table.row(*ref).log}) : std::nullopt;
    });
    if (!found || found->first.table == TableId::kD) {
      fmt::print(stderr, "{}\n", fmt::format(fmt::runtime(text::kUnknownRow), name));
      return false;
    }
    if (!found->second) page.ClickLog(found->first);
  }
  return true;
}

std::size_t LoggedRowCount(monitor::ScanEngine& engine) {
  return engine.WithTable([](const RegisterTable& table) {
    std::size_t rows = 0;
    for (TableId id : monitor::kScanTables) {
      for (const SbsRegisterDef& row : table.rows(id)) rows += row.log ? 1 : 0;
    }
    return rows;
  });
}

int Log(app::Workbench& bench, const LogOptions& options) {
  monitor::ScanEngine& engine = bench.monitor().engine();
  monitor::SbsPageRules& page = bench.sbs_page();
  if (!SelectLoggedRows(page, engine, options.rows)) return kExitUsage;

  engine.RefreshStaticData();
  engine.ClearStaticRefreshRequest();
  if (!page.StartLog(options.path, options.interval)) return kExitFailed;
  common::Clock& clock = bench.clock();
  const common::Millis interval{1000 * options.interval};
  common::Millis next_tick = clock.Now() + interval;
  interrupted = false;
  std::signal(SIGINT, OnInterrupt);
  int written = 0;
  std::size_t fields = 0;
  int failed_fields = 0;
  for (; written < options.samples && !interrupted; ++written) {
    const common::Millis now = clock.Now();
    if (next_tick > now) clock.SleepFor(next_tick - now);
    next_tick += interval;
    engine.ScanPass();
    const std::size_t logged = LoggedRowCount(engine);
    const auto line = page.WriteLogLine();
    if (!line) break;
    fields += logged;
    failed_fields += line.detail;
  }
  std::signal(SIGINT, SIG_DFL);
  const bool complete = written == options.samples;
  page.StopLog();
  fmt::print("{}\n", fmt::format(fmt::runtime(text::kLogWritten), written, options.path));
  // The file keeps its format (a failed read is a "0" like any other), so the count is told here.
  if (failed_fields > 0) {
    fmt::print(stderr, "{}\n",
               fmt::format(fmt::runtime(text::kLogFieldsNotRead), failed_fields, fields,
                           link::StatusBarText(bench.link().link_status())));
  }
  return complete && failed_fields == 0 ? kExitSuccess : kExitFailed;
}

}  // namespace

void AddMonitorCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* scan = app.add_subcommand("scan", std::string(text::kScanDescription));
  auto once = std::make_shared<bool>(false);
  auto count = std::make_shared<int>(0);
  scan->add_flag("--once", *once, "one pass over every row, printed as name, value, unit");
  scan->add_option("--count", *count, "live view: stop after this many screens (0: until Ctrl-C)")
      ->check(CLI::NonNegativeNumber);
  scan->callback([once, count, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    exit_code = *once ? ScanOnce(*bench) : ScanLive(*bench, *count);
  });

  auto* log = app.add_subcommand("log", std::string(text::kLogDescription));
  auto options = std::make_shared<LogOptions>();
  log->add_option("FILE", options->path, "data log file to create")->required();
  log->add_option("--interval", options->interval, "seconds between lines (1 to 60)")
      ->check(CLI::Range(monitor::DataLog::kMinInterval, monitor::DataLog::kMaxInterval));
  log->add_option("--samples", options->samples, "data lines to write")
      ->required()
      ->check(CLI::PositiveNumber);
  log->add_option("--rows", options->rows, "row names, comma separated (default: tables A-C)")
      ->delimiter(',');
  log->callback([options, &context, &exit_code] {
    app::Workbench* bench = context.OpenWorkbench(exit_code);
    if (!bench) return;
    exit_code = Log(*bench, *options);
  });
}

}  // namespace cw::cli
