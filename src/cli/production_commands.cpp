#include "cli/production_commands.h"

#include <fmt/format.h>

#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/station_commands.h"
#include "common/doc_dir.h"
#include "common/file_output.h"
#include "common/parse.h"
#include "dataflash/parameter_table.h"
#include "production/golden_check.h"
#include "production/messages.h"
#include "production/pack_report.h"
#include "production/prepared_recipe.h"
#include "production/records_export.h"
#include "production/records_store.h"
#include "production/records_time.h"

namespace cw::cli {
namespace {

namespace text = production::messages;
using production::RecipeProblems;
using production::RunRecord;

template <typename... Args>
std::string Format(std::string_view pattern, const Args&... args) {
  return fmt::format(fmt::runtime(pattern), args...);
}

std::string FirmwareRange(const production::GaugeExpectation& gauge) {
  if (gauge.firmware_min && gauge.firmware_max) {
    return Format("0x{:04X} to 0x{:04X}", *gauge.firmware_min, *gauge.firmware_max);
  }
  if (gauge.firmware_min) return Format("0x{:04X} or later", *gauge.firmware_min);
  if (gauge.firmware_max) return Format("up to 0x{:04X}", *gauge.firmware_max);
  return std::string("any version");
}

void PrintPrepared(const production::PreparedRecipe& prepared) {
  const production::Recipe& recipe = prepared.recipe;
  std::vector<std::string_view> steps;
  for (const auto kind : recipe.Steps()) steps.push_back(production::StepName(kind));
  fmt::print("{}\n", Format("recipe {} ({})", recipe.name, recipe.path.string()));
  fmt::print("{}\n", Format("sha256 {}", recipe.sha256));
  fmt::print("{}\n", Format("gauge: device type 0x{:04X}, firmware {}", recipe.gauge.device_type,
                            FirmwareRange(recipe.gauge)));
  fmt::print("{}\n", Format("steps: {}", fmt::join(steps, ", ")));
  for (const auto* file : recipe.Files()) {
    fmt::print("{}\n", Format("file {}: sha256 matches", file->path.string()));
  }
  if (recipe.handoff) {
    fmt::print("{}\n", Format("hand-off folder: {}", recipe.handoff->resolved.string()));
  }
  fmt::print("{}\n", "the recipe and its files are ready to run");
}

// The values of the recipe's golden files a fresh pack does not hold, on stderr.
void WarnNotFresh(const production::PreparedRecipe& prepared, std::uint8_t record_mask) {
  for (const auto& file : production::LintRecipeFiles(prepared, record_mask)) {
    fmt::print(
        stderr, "{}\n",
        Format(
            "warning: {} holds {} values a fresh pack does not, and writes them into every pack:",
            file.file.string(), file.findings.size()));
    for (const dataflash::LintFinding& finding : file.findings) {
      fmt::print(stderr, "{}\n",
                 Format("  {} ({}): {}, fresh {}", dataflash::kParams[finding.row].name,
                        dataflash::PackGroupName(finding.group), finding.value, finding.fresh));
    }
  }
}

void AddStationCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  auto* station = app.add_subcommand("station", "Production: recipes that make packs");
  station->require_subcommand(1);
  auto* check = station->add_subcommand(
      "check", "Check a recipe and the SHA-256 of every file it names, without a pack");
  auto recipe_path = std::make_shared<std::string>();
  check->add_option("RECIPE", *recipe_path, "the recipe (.toml)")->required();
  check->callback([=, &context, &exit_code] {
    app::Workbench* bench = context.OpenOffline(exit_code);
    if (bench == nullptr) return;
    const auto prepared = ReadyRecipe(*recipe_path, bench->constants());
    if (!prepared) {
      exit_code = kExitFailed;
      return;
    }
    PrintPrepared(*prepared);
    WarnNotFresh(*prepared, bench->constants().record_mask);
    exit_code = kExitSuccess;
  });
  AddStationRunCommand(*station, context, exit_code);
}

// What every records command takes.
struct RecordsOptions {
  std::string location;
  std::string since;
  std::string until;
  std::string station;
  std::string result;
  std::size_t last = 0;
  bool json = false;
  bool simulated = false;
};

std::string_view ErrorKind(production::StoreProblem problem) {
  switch (problem) {
    case production::StoreProblem::kUnavailable:
    case production::StoreProblem::kReplaced:
      return "unavailable";
    case production::StoreProblem::kNotRecords:
      return "not_records";
    case production::StoreProblem::kNewerSchema:
      return "newer_records";
    case production::StoreProblem::kRangeExhausted:
      return "range_exhausted";
    case production::StoreProblem::kNoSuchRun:
      return "not_found";
    case production::StoreProblem::kFailed:
      break;
  }
  return "failed";
}

// An error as the command's output: on stderr, or as the JSON error document on stdout.
int Refuse(const RecordsOptions& options, std::string_view kind, const std::string& message,
           int code) {
  if (options.json) {
    fmt::print("{}\n", nlohmann::json{{"error", {{"kind", kind}, {"message", message}}}}.dump(
                           2, ' ', false, nlohmann::json::error_handler_t::replace));
  } else {
    fmt::print(stderr, "{}\n", message);
  }
  return code;
}

// What `read` takes from the records the options name, or the exit code of why there is nothing
// to show.
template <typename Read>
auto FromRecords(const RecordsOptions& options, Read&& read)
    -> std::expected<typename std::invoke_result_t<Read, production::RecordsStore&>::value_type,
                     int> {
  const auto location = production::RecordsLocation(options.location, options.simulated);
  if (!location) {
    return std::unexpected(
        Refuse(options, "unavailable", std::string(text::kNoDataFolder), kExitFailed));
  }
  auto store = production::OpenRecordsStore(*location, production::OpenMode::kExisting);
  auto found = store ? read(**store) : std::unexpected(std::move(store.error()));
  if (!found) {
    return std::unexpected(
        Refuse(options, ErrorKind(found.error().problem), found.error().message, kExitFailed));
  }
  return std::move(*found);
}

std::expected<production::RunFilter, int> Filter(const RecordsOptions& options) {
  production::RunFilter filter;
  const auto now = std::chrono::system_clock::now();
  for (const auto& [option, text, bound] : {std::tuple{"--since", &options.since, &filter.since},
                                            std::tuple{"--until", &options.until, &filter.until}}) {
    if (text->empty()) continue;
    *bound = production::ParseTimeBound(*text, now);
    if (!*bound) {
      return std::unexpected(Refuse(
          options, "usage",
          Format("{}: \"{}\" is no time: give a date (2024-05-17), a local time (2024-05-17 "
                 "14:30), one with "
                 "its offset (2024-05-17 14:30:00 +02:00) or a span back from now (90m, 12h, 7d)",
                 option, *text),
          kExitUsage));
    }
  }
  if (!options.station.empty()) filter.station = options.station;
  if (!options.result.empty()) {
    filter.result = production::ResultNamed(options.result);
    if (!filter.result) {
      return std::unexpected(Refuse(options, "usage",
                                    Format("--result: \"{}\" is none of: {}", options.result,
                                           fmt::join(production::kRunResultNames, ", ")),
                                    kExitUsage));
    }
  }
  if (options.last > 0) filter.last = options.last;
  return filter;
}

// The runs the options select, or the exit code of why there are none to show.
std::expected<std::vector<RunRecord>, int> ReadRuns(const RecordsOptions& options,
                                                    bool with_steps) {
  const auto filter = Filter(options);
  if (!filter) return std::unexpected(filter.error());
  return FromRecords(
      options, [&](production::RecordsStore& store) { return store.Runs(*filter, with_steps); });
}

std::string OrDash(const std::optional<std::int64_t>& number) {
  return number ? std::to_string(*number) : "-";
}

std::string Duration(std::optional<std::int64_t> milliseconds) {
  return milliseconds ? fmt::format("{:.1f} s", static_cast<double>(*milliseconds) / 1000) : "-";
}

void PrintRuns(const std::vector<RunRecord>& runs) {
  if (runs.empty()) {
    fmt::print("{}\n", text::kNoRuns);
    return;
  }
  fmt::print("{}\n", Format(text::kRunLine, "run", "started", "station", "adapter", "serial",
                            "result", "failed step"));
  for (const RunRecord& run : runs) {
    fmt::print("{}\n", Format(text::kRunLine, run.id, production::FormatLocal(run.start.started_at),
                              run.start.station, run.start.adapter_serial, OrDash(run.pack_serial),
                              production::ResultName(run.result), run.failed_step));
  }
}

void PrintRun(const RunRecord& run) {
  const auto field = [](std::string_view name, const auto& value) {
    fmt::print("{}\n", Format("{:<17}{}", name, value));
  };
  const auto hex = [](const std::optional<std::int64_t>& number) {
    return number ? production::HexWord(number) : std::string("-");
  };
  field("run", run.id);
  field("result", production::ResultName(run.result));
  if (!run.failed_step.empty()) field("failed step", run.failed_step);
  if (!run.failure.empty()) field("failure", run.failure);
  if (!run.cause.empty()) field("cause", run.cause);
  field("station", run.start.station);
  field("host", run.start.host);
  field("operator", run.start.operator_name);
  field("adapter", run.start.adapter_serial);
  field("serial", run.pack_serial ? fmt::format("{} ({})", *run.pack_serial, run.serial_parameter)
                                  : std::string("-"));
  field("device type", hex(run.device_type));
  field("firmware", hex(run.firmware_version));
  field("recipe", run.start.recipe_name);
  field("recipe sha256", run.start.recipe_sha256);
  for (const auto& file : run.start.files) field("file", file.path + "  " + file.sha256);
  if (run.arrived_serial) field("came with serial", *run.arrived_serial);
  field("started", production::FormatLocal(run.start.started_at));
  field("ended", run.ended_at ? production::FormatLocal(*run.ended_at) : std::string("-"));
  field("duration", Duration(run.duration_ms()));
  fmt::print("\n{}\n", Format("{:>3}  {:<10}  {:>7}  {:<11}  {:>9}  {}", "#", "step", "attempt",
                              "result", "duration", "failure / measurements"));
  for (const auto& step : run.steps) {
    fmt::print("{}\n", Format("{:>3}  {:<10}  {:>7}  {:<11}  {:>9}  {}", step.index, step.step,
                              step.attempt, production::ResultName(step.result),
                              Duration(step.duration_ms()),
                              step.failure.empty() ? step.measurements : step.failure));
  }
}

void PrintSerials(const std::vector<production::IssuedSerial>& serials) {
  if (serials.empty()) {
    fmt::print("{}\n", "no serial numbers issued");
    return;
  }
  fmt::print("{}\n", Format(text::kSerialsHeading, "parameter", "number", "run", "state"));
  std::size_t not_passed = 0;
  for (const auto& serial : serials) {
    if (serial.state != production::RunResult::kPass) ++not_passed;
    fmt::print("{}\n", Format(text::kSerialsHeading, serial.parameter, serial.number, serial.run_id,
                              production::ResultName(serial.state)));
  }
  fmt::print(
      "{}\n",
      Format("{} numbers issued, {} of them to packs that did not pass; none is issued again",
             serials.size(), not_passed));
}

void PrintYield(const std::vector<production::RecipeYield>& yields) {
  if (yields.empty()) {
    fmt::print("{}\n", text::kNoRuns);
    return;
  }
  const auto percent = [](std::optional<double> value) {
    return value ? Format("{:.1f} %", *value) : std::string("none yet");
  };
  for (const auto& yield : yields) {
    fmt::print("{}\n",
               Format("{} ({}) on {}: {} runs, {} pass, {} fail{}{}{}, yield {}", yield.recipe_name,
                      yield.recipe_sha256.substr(0, 12), yield.station, yield.runs, yield.passed,
                      yield.failed, yield.stopped > 0 ? Format(", {} stopped", yield.stopped) : "",
                      yield.running > 0 ? Format(", {} unfinished", yield.running) : "",
                      yield.interrupted > 0 ? Format(", {} interrupted", yield.interrupted) : "",
                      percent(yield.yield_percent())));
    const auto per_hour = yield.packs_per_hour();
    fmt::print("{}\n", Format("  first pass: {} of {} packs, {}{}", yield.first_pass, yield.packs,
                              percent(yield.first_pass_percent()),
                              per_hour ? Format("; {:.1f} packs per hour", *per_hour) : ""));
    for (const auto& count : yield.failures) {
      fmt::print("{}\n",
                 Format("  failed at {} ({}): {}", count.step.empty() ? "(no step)" : count.step,
                        count.cause.empty() ? "-" : count.cause, count.count));
    }
  }
}

// What `records report` is asked for: a serial number, or "run:N".
struct SelectedPack {
  bool run = false;
  std::int64_t number = 0;
};
std::optional<SelectedPack> PackSelector(std::string_view text) {
  constexpr std::string_view kRunPrefix = "run:";
  const bool run = text.starts_with(kRunPrefix);
  if (run) text.remove_prefix(kRunPrefix.size());
  const auto number = common::ParseWholeInteger(text);
  if (!number || *number < 0) return std::nullopt;
  return SelectedPack{run, *number};
}

// What a records command read, shown as its JSON document or as text; the command's exit code.
template <typename T, typename Json, typename Print>
int Show(const std::expected<T, int>& read, bool json, Json&& to_json, Print&& print) {
  if (!read) return read.error();
  if (json) {
    fmt::print("{}\n", to_json(*read));
  } else {
    print(*read);
  }
  return kExitSuccess;
}

CLI::App* AddRecordsCommand(CLI::App& records, std::string_view name, std::string_view about,
                            RecordsOptions& options, bool filters) {
  auto* command = records.add_subcommand(std::string(name), std::string(about));
  command->add_option("--records", options.location,
                      "the records: a file, or postgresql://... (default: the user's data "
                      "folder)");
  command->add_flag("--json", options.json, "one JSON document (see " CW_DOC_DIR "/json.md)");
  command->add_flag("--simulated", options.simulated,
                    "the records of simulated packs, which are kept apart by default");
  if (filters) {
    command->add_option("--since", options.since,
                        "runs started since a date, a local time or a span (7d, 12h, 90m)");
    command->add_option("--until", options.until, "runs started before a date or a local time");
    command->add_option("--station", options.station, "only the runs of this station");
    command->add_option("--result", options.result, "runs that ended so: pass, fail, ...");
    command->add_option("--last", options.last, "only the latest N runs")
        ->transform(WholeNumberIn(1));
  }
  return command;
}

void AddRecordsCommands(CLI::App& app, int& exit_code) {
  auto* records = app.add_subcommand("records", "The record of every pack a station made");
  records->require_subcommand(1);

  auto list_options = std::make_shared<RecordsOptions>();
  AddRecordsCommand(*records, "list", "List the runs, oldest first", *list_options, true)
      ->callback([=, &exit_code] {
        exit_code = Show(
            ReadRuns(*list_options, false), list_options->json,
            [](const auto& runs) { return production::RunsJson(runs, false); }, PrintRuns);
      });

  auto show_options = std::make_shared<RecordsOptions>();
  auto run_id = std::make_shared<std::int64_t>(0);
  auto* show =
      AddRecordsCommand(*records, "show", "One run and each of its steps", *show_options, false);
  show->add_option("RUN", *run_id, "the run's number (records list shows it)")
      ->required()
      ->transform(WholeNumberIn(1));
  show->callback([=, &exit_code] {
    const auto run = FromRecords(
        *show_options, [&](production::RecordsStore& store) { return store.Run(*run_id); });
    exit_code = Show(run, show_options->json, production::RunJson, PrintRun);
  });

  auto export_options = std::make_shared<RecordsOptions>();
  auto csv = std::make_shared<bool>(false);
  auto per_step = std::make_shared<bool>(false);
  auto output = std::make_shared<std::string>();
  auto* exporter = AddRecordsCommand(*records, "export", "The runs as CSV (default) or JSON",
                                     *export_options, true);
  exporter->add_flag("--csv", *csv, "comma-separated, one row per run (the default)");
  exporter->add_flag("--steps", *per_step, "CSV: one row per attempt at a step instead");
  exporter->add_option("-o,--output", *output, "write to FILE instead of stdout");
  exporter->callback([=, &exit_code] {
    if (*csv && export_options->json) {
      exit_code = Refuse(*export_options, "usage",
                         std::string("--csv and --json exclude each other"), kExitUsage);
      return;
    }
    const auto runs = ReadRuns(*export_options, true);
    if (!runs) {
      exit_code = runs.error();
      return;
    }
    const std::string document = export_options->json ? production::RunsJson(*runs, true) + "\n"
                                 : *per_step          ? production::StepsCsv(*runs)
                                                      : production::RunsCsv(*runs);
    if (output->empty()) {
      fmt::print("{}", document);
    } else if (const auto written = common::WriteFileAtomically(*output, document); !written) {
      exit_code = Refuse(*export_options, "file",
                         fmt::format("{}: {}", *output, common::DescribeFileError(written.error())),
                         kExitFailed);
      return;
    }
    exit_code = kExitSuccess;
  });

  auto serials_options = std::make_shared<RecordsOptions>();
  auto parameter = std::make_shared<std::string>();
  auto* serials = AddRecordsCommand(
      *records, "serials", "Every serial number issued, with its run and what became of it",
      *serials_options, false);
  serials->add_option("--parameter", *parameter, "only the numbers of this parameter");
  serials->callback([=, &exit_code] {
    const auto issued = FromRecords(*serials_options, [&](production::RecordsStore& store) {
      return store.IssuedSerials(*parameter);
    });
    exit_code = Show(issued, serials_options->json, production::SerialsJson, PrintSerials);
  });

  auto report_options = std::make_shared<RecordsOptions>();
  auto pack = std::make_shared<std::string>();
  auto html = std::make_shared<std::string>();
  auto* report = AddRecordsCommand(
      *records, "report", "A pack's report: every run and step, its measurements and hashes",
      *report_options, false);
  report->add_option("PACK", *pack, "the pack's serial number, or run:N for the pack of run N")
      ->required();
  report->add_option("--html", *html, "write it as one HTML page (prints on A4) to FILE");
  report->callback([=, &exit_code] {
    const auto selected = PackSelector(*pack);
    if (!selected) {
      exit_code = Refuse(
          *report_options, "usage",
          Format("\"{}\" names no pack: give its serial number (1002) or a run of it (run:12)",
                 *pack),
          kExitUsage);
      return;
    }
    const auto runs = FromRecords(*report_options, [&](production::RecordsStore& store) {
      return selected->run ? production::PackRunsOfRun(store, selected->number)
                           : production::PackRunsBySerial(store, selected->number);
    });
    if (!runs) {
      exit_code = runs.error();
      return;
    }
    const production::PackReport made = production::MakePackReport(*runs);
    if (report_options->json) {
      fmt::print("{}\n", production::RunsJson(*runs, true));
    } else if (html->empty()) {
      fmt::print("{}", production::PackReportText(made));
    } else if (const auto written =
                   common::WriteFileAtomically(*html, production::PackReportHtml(made));
               !written) {
      exit_code = Refuse(*report_options, "file",
                         fmt::format("{}: {}", *html, common::DescribeFileError(written.error())),
                         kExitFailed);
      return;
    } else {
      fmt::print("{}\n", Format("{}: report written to {}", made.title, *html));
    }
    exit_code = kExitSuccess;
  });

  auto yield_options = std::make_shared<RecordsOptions>();
  AddRecordsCommand(
      *records, "yield",
      "Pass, fail and first-pass counts, and what failed most, per recipe and station",
      *yield_options, true)
      ->callback([=, &exit_code] {
        exit_code = Show(
            ReadRuns(*yield_options, false), yield_options->json,
            [](const auto& runs) {
              return production::YieldJson(production::SummariseYield(runs));
            },
            [](const auto& runs) { PrintYield(production::SummariseYield(runs)); });
      });
}

}  // namespace

std::shared_ptr<const production::PreparedRecipe> ReadyRecipe(
    const std::string& path, const common::ProductConstants& constants) {
  auto prepared = production::LoadPreparedRecipe(path, constants);
  if (prepared) return std::move(*prepared);
  const RecipeProblems& problems = prepared.error().problems;
  for (const auto& problem : problems) {
    if (problem.line > 0) {
      fmt::print(stderr, "{}\n", Format("{}:{}: {}", path, problem.line, problem.text));
    } else {
      fmt::print(stderr, "{}\n", Format("{}: {}", path, problem.text));
    }
  }
  fmt::print(stderr, "{}\n",
             Format("{}: the recipe is refused ({} problems)", path, problems.size()));
  return nullptr;
}

void AddProductionCommands(CLI::App& app, CommandContext& context, int& exit_code) {
  AddStationCommands(app, context, exit_code);
  AddRecordsCommands(app, exit_code);
}

}  // namespace cw::cli
