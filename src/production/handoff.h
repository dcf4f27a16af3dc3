#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "production/recipe.h"
#include "production/records.h"

// The hand-off to a factory's own systems (an MES, a label printer's spooler): each finished run
// becomes one JSON document in the recipe's hand-off folder, the run as `records show --json`
// gives it, and a passed pack a label filled from the recipe's template beside it. Every file is
// written whole under a hidden temporary name and then renamed, so that a program watching the
// folder never reads half of one.
namespace cw::production {

// The fields a label template may hold, each written in braces: "{serial}".
inline constexpr std::string_view kLabelFields[] = {
    "serial", "run",  "station", "operator",    "recipe",
    "result", "date", "time",    "device_type", "firmware_version"};

// The names in braces that are no label field, in the order they stand.
std::vector<std::string> UnknownLabelFields(std::string_view label_template);
// The template with each field replaced by the run's value.
std::string FillLabel(std::string_view label_template, const RunRecord& run);

// The file name of a run's hand-off, without extension: "line-1-run42" (the station's name kept
// to letters, digits, '.', '_' and '-').
std::string HandoffName(const RunRecord& run);

struct HandoffWritten {
  std::filesystem::path document;
  std::filesystem::path label;  // empty: no label written
};

// Whether the folder takes files: made when missing, and a file written into it and removed.
std::expected<void, std::string> CheckHandoffFolder(const Handoff& handoff);

// Writes the run's document, and its label when it passed and `label_template` is not empty (the
// label takes the template file's extension). The folder is made when missing. The error says
// which file could not be written and why.
std::expected<HandoffWritten, std::string> WriteHandoff(const Handoff& handoff,
                                                        std::string_view label_template,
                                                        const RunRecord& run);

}  // namespace cw::production
