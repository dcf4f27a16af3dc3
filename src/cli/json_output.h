#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/about_text.h"
#include "app/adapter_list.h"
#include "cli/command_output.h"
#include "common/bytes.h"
#include "dataflash/data_flash_view.h"
#include "firmware/fs_script_reader.h"
#include "link/adapter_connection.h"
#include "link/adapter_survey.h"
#include "monitor/run_log_summary.h"
#include "monitor/sbs_register_def.h"
#include "monitor/sbs_session.h"

// The JSON documents of the commands that read, one function per result, built from the core's
// own results. docs/json.md describes each document and docs/json/ holds its schema: a field
// changed here is changed there. Field names are snake_case; a value that is a number is a
// number, and its unit is named beside it.
namespace cw::cli::json {

using Json = nlohmann::ordered_json;

// {"error": {"kind", "message"}}
Json Error(ErrorKind kind, std::string_view message);

// One register reading, the same wherever a register appears: name, command, raw value, the
// value as a number (a text row: its text), the value text as the lists show it, and the unit.
// A row not `current` (read before the adapter was lost) has no value.
Json Register(const monitor::SbsRegisterDef& row, bool current = true);
// One data flash parameter: name, subclass, offset, value, value text, unit.
Json Parameter(const dataflash::ParamDef& def, const dataflash::ParamValue& value);
// The adapter: transport, firmware version and date.
Json Adapter(link::Transport transport, const link::AdapterVersion& version);

// The row a word read of `command` fills on the SBS page (a nameless hex word when the table has
// none), with `raw` applied as the scan applies it. `battery_mode` picks the capacity unit.
monitor::SbsRegisterDef WordRegister(std::uint8_t command, std::uint16_t raw,
                                     std::int32_t battery_mode = monitor::kNotRead);
// The word's unit follows Battery Mode: read it first to name the unit right.
bool UnitFollowsBatteryMode(std::uint8_t command);

// The steps of a checked script by kind: the text summary says the same.
struct FsStepCounts {
  int writes = 0;
  int compares = 0;
  int waits = 0;
};
FsStepCounts CountFsSteps(const firmware::FsScript& script);

// --- one document per command ---
Json Probe(link::Transport transport, const link::AdapterVersion& version);
Json WordReading(const monitor::SbsRegisterDef& row);
Json ManufacturerBlock(std::uint8_t subcommand, common::ByteView reply);
Json Scan(const monitor::ScanReport& report);
Json ParameterReading(std::size_t row, const dataflash::ParamValue& value);
Json DataFlashDump(const dataflash::DataFlashView& view);
Json ConstantsDiff(const std::filesystem::path& file,
                   const std::optional<std::filesystem::path>& other,
                   const std::vector<dataflash::KeyDifference>& differences);
Json GoldenLint(const std::filesystem::path& file,
                const std::vector<dataflash::LintFinding>& findings);
// The about box with the adapter's answer (a command without one is an error).
Json About(const app::AboutText& about, link::Transport transport,
           const link::AdapterVersion& adapter);
// `steps` are the texts of survey.steps, in order.
Json Doctor(const link::SurveySettings& settings, const link::AdapterSurvey& survey,
            std::span<const std::string> steps);
Json FsCheck(const std::string& path, const firmware::FsCheckReport& report);
Json AuthDigest(std::string_view digest);
// A data log at a glance (`log summary`).
Json LogSummary(const monitor::RunLog& log, const monitor::LogSummary& summary);
// Every attached adapter: how it is reached, whether it opens, and what selects it.
Json Adapters(const app::AdapterList& list);

}  // namespace cw::cli::json
