#include "production/pack_report.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "production/messages.h"
#include "production/records_export.h"
#include "production/records_schema.h"
#include "production/records_time.h"

namespace cw::production {
namespace {

using nlohmann::json;

// A pack has a handful of runs; a chain longer than this is records gone wrong, not a pack.
constexpr int kMostPackRuns = 64;

// The runs of the pack `start` belongs to: the run that issued the number it came with, before
// it, and the runs that came with its number, after it, as far as the chain goes.
StoreResult<std::vector<RunRecord>> ChainOf(RecordsStore& store, RunRecord start) {
  std::map<std::int64_t, RunRecord> found;
  std::vector<std::int64_t> serials;
  std::set<std::int64_t> looked;
  const auto add = [&](const RunRecord& run) {
    if (run.pack_serial) serials.push_back(*run.pack_serial);
    if (run.arrived_serial) serials.push_back(*run.arrived_serial);
    found.emplace(run.id, run);
  };
  add(start);
  while (!serials.empty() && found.size() < kMostPackRuns) {
    const std::int64_t serial = serials.back();
    serials.pop_back();
    if (!looked.insert(serial).second) continue;
    RunFilter filter;
    filter.serial = serial;
    const auto runs = store.Runs(filter, true);
    if (!runs) return std::unexpected(runs.error());
    const auto issuer = std::ranges::find_if(
        *runs, [&](const RunRecord& run) { return run.pack_serial == serial; });
    if (issuer == runs->end()) continue;
    const bool sbs = issuer->serial_parameter == kSbsSerialParameter;
    const auto came_back_later = [&](const RunRecord& run) {
      return sbs && run.arrived_serial == serial && run.id > issuer->id;
    };
    const bool issuer_belongs =
        found.contains(issuer->id) || std::ranges::any_of(found, [&](const auto& entry) {
          return came_back_later(entry.second);
        });
    if (!issuer_belongs) continue;
    if (!found.contains(issuer->id)) add(*issuer);
    for (const RunRecord& run : *runs) {
      if (!found.contains(run.id) && came_back_later(run)) add(run);
    }
  }
  std::vector<RunRecord> chain;
  for (auto& [id, run] : found) chain.push_back(std::move(run));
  return chain;
}

// A measurement's value as a person reads it: numbers as JSON writes them, texts bare.
std::string Scalar(const json& value) {
  if (value.is_null()) return "-";
  if (value.is_string()) return value.get<std::string>();
  return value.dump();
}

// The measurements of a step, a line each, in the terms of the step: readings against their
// references or limits, the differences from the golden file, the pack's own values.
std::vector<std::string> MeasurementLines(const std::string& text) {
  if (text.empty()) return {};
  const json document = json::parse(text, nullptr, false);
  if (!document.is_object()) return {text};
  std::vector<std::string> lines;
  const json* limits = document.contains("limits") ? &document["limits"] : nullptr;
  for (const auto& [key, value] : document.items()) {
    if (key == "limits") continue;
    if (key == "readings" && value.is_array()) {
      for (const json& reading : value) {
        lines.push_back(fmt::format(
            "{}: {} (reference {} ± {})", Scalar(reading.value("register", json())),
            Scalar(reading.value("reading", json())), Scalar(reading.value("reference", json())),
            Scalar(reading.value("tolerance", json()))));
      }
    } else if (key == "readings" && value.is_object()) {
      for (const auto& [name, reading] : value.items()) {
        if (limits != nullptr && limits->contains(name)) {
          const json& limit = (*limits)[name];
          lines.push_back(fmt::format("{}: {} (limits {} … {})", name, Scalar(reading),
                                      Scalar(limit.value("min", json())),
                                      Scalar(limit.value("max", json()))));
        } else {
          // A status register: its flags, in hex as the SBS page shows them.
          lines.push_back(fmt::format("{}: {} (must read 0)", name,
                                      reading.is_number_integer()
                                          ? HexWord(reading.get<std::int64_t>())
                                          : Scalar(reading)));
        }
      }
    } else if (key == "differences" && value.is_array()) {
      for (const json& difference : value) {
        lines.push_back(fmt::format(
            "differs: {}: gauge {}, golden {}", Scalar(difference.value("key", json())),
            Scalar(difference.value("gauge", json())), Scalar(difference.value("golden", json()))));
      }
    } else if (value.is_object()) {
      lines.push_back(fmt::format("{}:", key));
      for (const auto& [name, inner] : value.items()) {
        lines.push_back(fmt::format("  {} = {}", name, Scalar(inner)));
      }
    } else if ((key == "device_type" || key == "firmware_version") && value.is_number_integer()) {
      lines.push_back(fmt::format("{}: {}", key, HexWord(value.get<std::int64_t>())));
    } else if (!(value.is_string() && value.get<std::string>().empty())) {
      lines.push_back(fmt::format("{}: {}", key, Scalar(value)));
    }
  }
  return lines;
}

std::string Seconds(std::optional<std::int64_t> milliseconds) {
  return milliseconds ? fmt::format("{:.1f} s", static_cast<double>(*milliseconds) / 1000) : "-";
}

ReportRun RunSection(const RunRecord& run) {
  ReportRun section;
  section.heading =
      fmt::format("Run {} on {}: {}", run.id, run.start.station, ResultName(run.result));
  const auto field = [&](std::string label, std::string value) {
    if (!value.empty()) section.fields.push_back({std::move(label), std::move(value)});
  };
  field("Result", std::string(ResultName(run.result)));
  field("Failed step", run.failed_step);
  field("Cause", run.cause);
  field("Failure", run.failure);
  field("Started", FormatLocal(run.start.started_at));
  field("Ended", run.ended_at ? FormatLocal(*run.ended_at) : std::string("-"));
  field("Duration", Seconds(run.duration_ms()));
  field("Station", run.start.station);
  field("Host", run.start.host);
  field("Operator", run.start.operator_name);
  field("Adapter", run.start.adapter_serial);
  field("Device type", HexWord(run.device_type));
  field("Firmware", HexWord(run.firmware_version));
  if (run.pack_serial) {
    field("Serial", fmt::format("{} ({})", *run.pack_serial, run.serial_parameter));
  }
  if (run.arrived_serial) field("Came with serial", std::to_string(*run.arrived_serial));
  field("Recipe", run.start.recipe_name);
  field("Recipe SHA-256", run.start.recipe_sha256);
  for (const FileHash& file : run.start.files) field("File", file.path + "  " + file.sha256);
  if (run.start.simulated) field("Simulated", "yes");
  for (const StepRecord& step : run.steps) {
    ReportStep row{step.index,
                   step.step,
                   step.attempt,
                   std::string(ResultName(step.result)),
                   step.cause,
                   Seconds(step.duration_ms()),
                   MeasurementLines(step.measurements),
                   step.result != RunResult::kPass};
    if (!step.failure.empty()) row.details.insert(row.details.begin(), step.failure);
    section.steps.push_back(std::move(row));
  }
  return section;
}

std::string Escaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// Plain, printable on A4 portrait, no script, no font or picture from anywhere.
constexpr std::string_view kReportStyle = R"(@page { size: A4; margin: 15mm; }
body { font: 10pt sans-serif; color: #000; margin: 0 auto; max-width: 180mm; }
h1 { font-size: 16pt; margin: 0 0 4mm; }
h2 { font-size: 12pt; margin: 6mm 0 2mm; border-bottom: 1px solid #888; }
table { border-collapse: collapse; width: 100%; margin-bottom: 3mm; }
th, td { text-align: left; vertical-align: top; padding: 3px 8px 3px 0; border-bottom: 1px solid #ddd; }
th { background: #eee; }
table.fields th { width: 35%; background: none; font-weight: normal; color: #444; }
td.code { font-family: monospace; font-size: 8.5pt; word-break: break-all; }
tr.failed td { background: #fde2e2; }
h2, tr { page-break-inside: avoid; }
.pass { color: #176b2c; } .fail, .interrupted { color: #a40e0e; }
)";

void HtmlFields(std::string& page, const std::vector<ReportField>& fields) {
  page += "<table class=\"fields\" cellspacing=\"0\" cellpadding=\"4\">\n";
  for (const ReportField& field : fields) {
    const bool code = field.label == "File" || field.label.ends_with("SHA-256");
    page += fmt::format("<tr><th>{}</th><td{}>{}</td></tr>\n", Escaped(field.label),
                        code ? " class=\"code\"" : "", Escaped(field.value));
  }
  page += "</table>\n";
}

}  // namespace

StoreResult<std::vector<RunRecord>> PackRunsBySerial(RecordsStore& store, std::int64_t serial) {
  RunFilter filter;
  filter.serial = serial;
  auto runs = store.Runs(filter, true);
  if (!runs) return std::unexpected(runs.error());
  const auto issued =
      std::ranges::find_if(*runs, [&](const RunRecord& run) { return run.pack_serial == serial; });
  if (issued == runs->end()) {
    return std::unexpected(
        StoreError{StoreProblem::kNoSuchRun,
                   fmt::format("no run was issued serial number {} in the records at {}", serial,
                               store.Location())});
  }
  return ChainOf(store, std::move(*issued));
}

StoreResult<std::vector<RunRecord>> PackRunsOfRun(RecordsStore& store, std::int64_t run) {
  auto start = store.Run(run);
  if (!start) return std::unexpected(start.error());
  return ChainOf(store, std::move(*start));
}

PackReport MakePackReport(std::span<const RunRecord> runs) {
  PackReport report;
  if (runs.empty()) return report;
  const RunRecord& last = runs.back();
  report.title = last.pack_serial ? fmt::format("Pack {}", *last.pack_serial)
                                  : fmt::format("Pack of run {}", last.id);
  report.summary = {{"Result", std::string(ResultName(last.result))},
                    {"Runs", std::to_string(runs.size())},
                    {"Recipe", last.start.recipe_name},
                    {"Last run", fmt::format("{} on {}, {}", last.id, last.start.station,
                                             FormatLocal(last.start.started_at))}};
  for (const RunRecord& run : runs) report.runs.push_back(RunSection(run));
  return report;
}

std::string PackReportText(const PackReport& report) {
  std::string text = report.title + "\n";
  const auto fields = [&](const std::vector<ReportField>& list) {
    for (const ReportField& field : list)
      text += fmt::format("  {:<18} {}\n", field.label, field.value);
  };
  fields(report.summary);
  for (const ReportRun& run : report.runs) {
    text += fmt::format("\n{}\n", run.heading);
    fields(run.fields);
    text += fmt::format("\n  {:>3}  {:<10} {:>7}  {:<7} {:<22} {:>8}\n", "#", "step", "attempt",
                        "result", "cause", "duration");
    for (const ReportStep& step : run.steps) {
      text += fmt::format("  {:>3}  {:<10} {:>7}  {:<7} {:<22} {:>8}\n", step.index, step.step,
                          step.attempt, step.result, step.cause.empty() ? "-" : step.cause,
                          step.duration);
      for (const std::string& detail : step.details) text += fmt::format("       {}\n", detail);
    }
  }
  return text;
}

std::string PackReportHtml(const PackReport& report) {
  std::string page = fmt::format(
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>{}</title>\n<style>\n{}</style>\n</head>\n<body>\n<h1>{}</h1>\n",
      Escaped(report.title), kReportStyle, Escaped(report.title));
  HtmlFields(page, report.summary);
  for (const ReportRun& run : report.runs) {
    page += fmt::format("<h2>{}</h2>\n", Escaped(run.heading));
    HtmlFields(page, run.fields);
    page +=
        "<table cellspacing=\"0\" "
        "cellpadding=\"3\">\n<tr><th>#</th><th>Step</th><th>Attempt</th><th>Result</th><th>Cause</"
        "th>"
        "<th>Duration</th><th>Measurements</th></tr>\n";
    for (const ReportStep& step : run.steps) {
      std::string details;
      for (const std::string& detail : step.details) {
        // A value under its heading ("  Serial Number = 1000") keeps its indent.
        const bool indented = detail.starts_with("  ");
        details +=
            (details.empty() ? "" : "<br>") +
            std::string(indented ? "&nbsp;&nbsp;&nbsp;&nbsp;" : "") +
            Escaped(indented ? std::string_view(detail).substr(2) : std::string_view(detail));
      }
      page += fmt::format(
          "<tr{}><td>{}</td><td>{}</td><td>{}</td><td class=\"{}\">{}</td><td>{}</td><td>{}</td>"
          "<td>{}</td></tr>\n",
          step.failed ? " class=\"failed\"" : "", step.index, Escaped(step.step), step.attempt,
          Escaped(step.result), Escaped(step.result), Escaped(step.cause), Escaped(step.duration),
          details);
    }
    page += "</table>\n";
  }
  page += "</body>\n</html>\n";
  return page;
}

}  // namespace cw::production
