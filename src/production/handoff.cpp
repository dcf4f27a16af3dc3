#include "production/handoff.h"

#include <fmt/format.h>

#include <algorithm>
#include <system_error>

#include "common/file_error.h"
#include "common/file_output.h"
#include "production/messages.h"
#include "production/records_export.h"
#include "production/records_time.h"

namespace cw::production {
namespace {

bool IsFieldCharacter(char c) { return (c >= 'a' && c <= 'z') || c == '_'; }

// Calls `field(name)` for each "{name}" of the template and `text(part)` for what lies between.
template <typename Text, typename Field>
void ForEachPart(std::string_view label_template, Text&& text, Field&& field) {
  std::size_t done = 0;
  for (std::size_t open = label_template.find('{'); open != std::string_view::npos;
       open = label_template.find('{', open + 1)) {
    const std::size_t close = label_template.find('}', open);
    if (close == std::string_view::npos) break;
    const std::string_view name = label_template.substr(open + 1, close - open - 1);
    if (name.empty() || !std::ranges::all_of(name, IsFieldCharacter)) continue;
    text(label_template.substr(done, open - done));
    field(name);
    done = close + 1;
    open = close;
  }
  text(label_template.substr(done));
}

std::string FieldValue(std::string_view name, const RunRecord& run) {
  const TimePoint at = run.ended_at.value_or(run.start.started_at);
  const std::string local = FormatLocal(at);  // "2024-05-17 12:02:03 +02:00"
  if (name == "serial") return run.pack_serial ? std::to_string(*run.pack_serial) : "";
  if (name == "run") return std::to_string(run.id);
  if (name == "station") return run.start.station;
  if (name == "operator") return run.start.operator_name;
  if (name == "recipe") return run.start.recipe_name;
  if (name == "result") return std::string(ResultName(run.result));
  if (name == "date") return local.substr(0, 10);
  if (name == "time") return local.substr(11, 8);
  if (name == "device_type") return HexWord(run.device_type);
  if (name == "firmware_version") return HexWord(run.firmware_version);
  return fmt::format("{{{}}}", name);
}

std::expected<void, std::string> MakeFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    return std::unexpected(
        fmt::format(messages::kHandoffUnwritten, folder.string(), error.message()));
  }
  return {};
}

std::expected<void, std::string> Write(const std::filesystem::path& path, std::string_view text) {
  if (auto written = common::WriteFileAtomically(path, text); !written) {
    return std::unexpected(fmt::format(messages::kHandoffUnwritten, path.string(),
                                       common::DescribeFileError(written.error())));
  }
  return {};
}

}  // namespace

std::expected<void, std::string> CheckHandoffFolder(const Handoff& handoff) {
  if (auto made = MakeFolder(handoff.resolved); !made) return made;
  // Hidden, as the temporary files are: a program watching the folder passes it by.
  const std::filesystem::path probe = handoff.resolved / ".cellwarden-check";
  if (auto written = Write(probe, "a station checked that it can write here\n"); !written) {
    return written;
  }
  std::error_code ignored;
  std::filesystem::remove(probe, ignored);
  return {};
}

std::vector<std::string> UnknownLabelFields(std::string_view label_template) {
  std::vector<std::string> unknown;
  ForEachPart(
      label_template, [](std::string_view) {},
      [&](std::string_view name) {
        if (std::ranges::find(kLabelFields, name) == std::end(kLabelFields)) {
          unknown.emplace_back(name);
        }
      });
  return unknown;
}

std::string FillLabel(std::string_view label_template, const RunRecord& run) {
  std::string label;
  ForEachPart(
      label_template, [&](std::string_view text) { label += text; },
      [&](std::string_view name) { label += FieldValue(name, run); });
  return label;
}

std::string HandoffName(const RunRecord& run) {
  std::string station = run.start.station;
  std::ranges::replace_if(
      station,
      [](char c) {
        return !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '.' || c == '_' || c == '-');
      },
      '_');
  return fmt::format("{}-run{}", station, run.id);
}

std::expected<HandoffWritten, std::string> WriteHandoff(const Handoff& handoff,
                                                        std::string_view label_template,
                                                        const RunRecord& run) {
  if (auto made = MakeFolder(handoff.resolved); !made) return std::unexpected(made.error());
  HandoffWritten written;
  const std::string name = HandoffName(run);
  written.document = handoff.resolved / (name + ".json");
  if (auto done = Write(written.document, RunJson(run) + "\n"); !done) {
    return std::unexpected(done.error());
  }
  if (run.result == RunResult::kPass && !label_template.empty() && handoff.label) {
    std::string extension = handoff.label->path.extension().string();
    if (extension.empty()) extension = ".txt";
    written.label = handoff.resolved / (name + extension);
    if (auto done = Write(written.label, FillLabel(label_template, run)); !done) {
      return std::unexpected(done.error());
    }
  }
  return written;
}

}  // namespace cw::production
