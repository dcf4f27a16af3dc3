#include "cli/json_output.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <utility>

#include "common/product_constants.h"
#include "dataflash/parameter_table.h"
#include "link/adapter_fault.h"
#include "monitor/register_table.h"
#include "monitor/status_block.h"
#include "monitor/value_conversion.h"

namespace cw::cli::json {
namespace {

template <typename Enum, std::size_t N>
std::string_view NameOf(const std::array<std::pair<Enum, std::string_view>, N>& names, Enum value) {
  for (const auto& [key, name] : names) {
    if (key == value) return name;
  }
  return "unknown";
}

using Step = link::NextStep::Kind;
constexpr std::array<std::pair<Step, std::string_view>, 12> kStepKinds = {{
    {Step::kReady, "ready"},
    {Step::kPlugIn, "plug_in"},
    {Step::kUsbUnavailable, "usb_unavailable"},
    {Step::kInstallRule, "install_rule"},
    {Step::kAddProductToRule, "add_product_to_rule"},
    {Step::kJoinGroup, "join_group"},
    {Step::kReloadRules, "reload_rules"},
    {Step::kUsePid, "use_pid"},
    {Step::kCheckSerial, "check_serial"},
    {Step::kCloseOtherProgram, "close_other_program"},
    {Step::kCannotOpen, "cannot_open"},
    {Step::kNoAdapterCollections, "no_adapter_collections"},
}};

using Problem = firmware::FsProblemKind;
constexpr std::array<std::pair<Problem, std::string_view>, 19> kProblemKinds = {{
    {Problem::kEmpty, "empty"},
    {Problem::kBinary, "binary"},
    {Problem::kTooLarge, "too_large"},
    {Problem::kNoSteps, "no_steps"},
    {Problem::kUnknownKind, "unknown_kind"},
    {Problem::kNotHexByte, "not_hex_byte"},
    {Problem::kTooShort, "too_short"},
    {Problem::kNotGaugeAddress, "not_gauge_address"},
    {Problem::kWritePec, "write_pec"},
    {Problem::kComparePec, "compare_pec"},
    {Problem::kCountMismatch, "count_mismatch"},
    {Problem::kBlockLength, "block_length"},
    {Problem::kWordLength, "word_length"},
    {Problem::kTransferTooLong, "transfer_too_long"},
    {Problem::kNothingToCompare, "nothing_to_compare"},
    {Problem::kWaitMissing, "wait_missing"},
    {Problem::kWaitNotNumber, "wait_not_number"},
    {Problem::kWaitNegative, "wait_negative"},
    {Problem::kWaitTooLong, "wait_too_long"},
}};

// `text` read whole as a Number; the extra argument is the base of an integer.
template <typename Number, typename... Base>
std::optional<Number> WholeText(std::string_view text, Base... base) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base...);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A value text as the number it shows, read in its printf format: hex for %X, else a whole or a
// decimal number. A string row's text, and a text that is no number (a date), stay text.
Json NumberOrText(std::string_view format, std::string_view text) {
  if (format.ends_with('s')) return text;
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (format.ends_with('X') || format.ends_with('x')) {
    if (const auto hex = WholeText<std::uint64_t>(text, 16)) return *hex;
    return text;
  }
  if (const auto whole = WholeText<std::int64_t>(text)) return *whole;
  if (const auto decimal = WholeText<double>(text)) return *decimal;
  return text;
}

// A text that is there, or null.
Json TextOrNull(std::string_view text) { return text.empty() ? Json(nullptr) : Json(text); }

Json FaultOrNull(const link::AdapterFault& fault) {
  return fault ? Json(link::DescribeFault(fault)) : Json(nullptr);
}

Json Candidate(const link::AdapterSeen& candidate) {
  Json collections = Json::array();
  for (const auto& info : candidate.collections) {
    collections.push_back({{"usage_page", info.usage_page}, {"usage", info.usage}});
  }
  const link::NodeAccess& access = candidate.access;
  return {
      {"transport", link::TransportWord(candidate.transport)},
      {"node", candidate.node},
      {"vendor_id", candidate.vendor_id},
      {"product_id", candidate.product_id},
      {"serial", candidate.serial},
      {"product_matches", candidate.product_matches},
      {"serial_matches", candidate.serial_matches},
      {"collections", collections},
      {"adapter_collections", candidate.adapter_collections},
      {"access",
       {{"exists", access.exists},
        {"mode", access.mode},
        {"owner", access.owner},
        {"group", access.group},
        {"read_write", access.read_write}}},
      {"opened", candidate.opened},
      {"open_error", FaultOrNull(candidate.open_fault)},
      {"kernel_driver", candidate.kernel_driver},
      {"claimed", candidate.claimed ? Json(*candidate.claimed) : Json(nullptr)},
      {"claim_error", FaultOrNull(candidate.claim_fault)},
      {"usable", candidate.usable},
  };
}

}  // namespace

Json Error(ErrorKind kind, std::string_view message) {
  return {{"error", {{"kind", common::ErrorKindName(kind)}, {"message", message}}}};
}

namespace {

// Whether the row's last read left a value in it.
bool HoldsValue(const monitor::SbsRegisterDef& row) {
  if (row.is_text()) return !row.value_text.empty();
  // The debug block keeps its length in raw_value; its bytes are its value.
  if (row.command == monitor::kDebugInfoBlock.subcommand) return !row.DisplayText().empty();
  return row.raw_value != monitor::kNotRead;
}

}  // namespace

Json Register(const monitor::SbsRegisterDef& row, bool current) {
  // Text rows and the debug block keep a length in raw_value, not a value.
  const bool has_raw = !row.is_text() && row.format != "%s" && row.raw_value != monitor::kNotRead;
  return {
      {"name", TextOrNull(row.name)},
      {"command", row.command},
      {"raw", has_raw ? Json(static_cast<std::uint32_t>(row.raw_value)) : Json(nullptr)},
      {"value",
       current && HoldsValue(row) ? NumberOrText(row.format, row.ShownText()) : Json(nullptr)},
      {"text", current ? row.ShownText() : std::string_view()},
      {"unit", row.unit},
  };
}

Json Parameter(const dataflash::ParamDef& def, const dataflash::ParamValue& value) {
  return {
      {"name", def.name},     {"subclass", def.subclass},
      {"offset", def.offset}, {"value", NumberOrText(def.format, value.text)},
      {"text", value.text},   {"unit", def.unit},
  };
}

Json Adapter(link::Transport transport, const link::AdapterVersion& version) {
  return {
      {"transport", link::TransportWord(transport)},
      {"version", version.text},
      {"date", app::AdapterDateText(version)},
  };
}

monitor::SbsRegisterDef WordRegister(std::uint8_t command, std::uint16_t raw,
                                     std::int32_t battery_mode) {
  static constexpr monitor::SbsRegisterInfo kUnknownWord{"", 0, "%04X", "hex"};
  std::optional<monitor::SbsRegisterDef> found;
  const monitor::RegisterTable table;
  for (monitor::TableId id : monitor::kAllTables) {
    for (const monitor::SbsRegisterDef& row : table.rows(id)) {
      // Rows of a status block take their value from a block reply, not from a word read.
      const bool word = !row.is_text() && !monitor::CachedBlockIndex(row.command) &&
                        row.command != monitor::kDebugInfoBlock.subcommand;
      if (word && row.command == command && !found) found = row;
    }
  }
  monitor::SbsRegisterDef row = found.value_or(monitor::SbsRegisterDef(kUnknownWord));
  row.command = command;
  monitor::ApplyRead(row, raw, battery_mode);
  return row;
}

bool UnitFollowsBatteryMode(std::uint8_t command) {
  constexpr std::int32_t kCapacityInEnergy = 0x8000;
  return WordRegister(command, 0, 0).unit != WordRegister(command, 0, kCapacityInEnergy).unit;
}

Json Probe(link::Transport transport, const link::AdapterVersion& version) {
  return {{"adapter", Adapter(transport, version)}};
}

Json WordReading(const monitor::SbsRegisterDef& row) { return {{"register", Register(row)}}; }

Json ManufacturerBlock(std::uint8_t subcommand, common::ByteView reply) {
  // The reply: count, subcommand low and high, the data, the gauge's PEC.
  constexpr std::size_t kHead = 3;
  Json data = Json::array();
  for (std::size_t i = kHead; i + 1 < reply.size(); ++i) data.push_back(reply[i]);
  return {
      {"subcommand", subcommand},
      {"count", reply.empty() ? Json(nullptr) : Json(reply.front())},
      {"data", data},
      {"pec", reply.size() > kHead ? Json(reply.back()) : Json(nullptr)},
  };
}

Json Scan(const monitor::ScanReport& report) {
  Json registers = Json::array();
  for (monitor::TableId id : monitor::kAllTables) {
    for (const monitor::SbsRegisterDef& row : report.table.rows(id)) {
      registers.push_back(Register(row, report.table.Current(row)));
    }
  }
  return {{"rows", report.rows}, {"unread", report.unread}, {"registers", registers}};
}

Json ParameterReading(std::size_t row, const dataflash::ParamValue& value) {
  return {{"parameter", Parameter(dataflash::kParams[row], value)}};
}

Json DataFlashDump(const dataflash::DataFlashView& view) {
  Json parameters = Json::array();
  for (std::size_t row = 0; row < dataflash::kParams.size(); ++row) {
    parameters.push_back(Parameter(dataflash::kParams[row], view.values[row]));
  }
  return {{"parameters", parameters}};
}

Json ConstantsDiff(const std::filesystem::path& file,
                   const std::optional<std::filesystem::path>& other,
                   const std::vector<dataflash::KeyDifference>& differences) {
  Json keys = Json::array();
  for (const dataflash::KeyDifference& key : differences) {
    // A parameter's value is read in its format; an AlgorithmData value is a plain number.
    const auto param = dataflash::FindParam(key.key);
    const std::string_view format = param ? dataflash::kParams[*param].format : "";
    const auto value = [format](const std::optional<std::string>& text) {
      return text ? NumberOrText(format, *text) : Json(nullptr);
    };
    keys.push_back({
        {"key", key.key},
        {"file_value", value(key.file_value)},
        {"other_value", value(key.other_value)},
        {"unit", key.unit},
    });
  }
  return {
      {"file", file.string()},
      {"other", other ? Json(other->string()) : Json(nullptr)},
      {"equal", differences.empty()},
      {"differences", keys},
  };
}

Json GoldenLint(const std::filesystem::path& file,
                const std::vector<dataflash::LintFinding>& findings) {
  Json found = Json::array();
  for (const dataflash::LintFinding& finding : findings) {
    const dataflash::ParamDef& row = dataflash::kParams[finding.row];
    found.push_back({
        {"parameter", row.name},
        {"group", dataflash::PackGroupName(finding.group)},
        {"value", NumberOrText(row.format, finding.value)},
        {"fresh", NumberOrText(row.format, finding.fresh)},
        {"unit", row.unit},
    });
  }
  return {{"file", file.string()}, {"clean", findings.empty()}, {"findings", found}};
}

Json About(const app::AboutText& about, link::Transport transport,
           const link::AdapterVersion& adapter) {
  return {
      {"program", {{"version", about.program_version}, {"date", about.program_date}}},
      {"adapter", Adapter(transport, adapter)},
  };
}

Json Doctor(const link::SurveySettings& settings, const link::AdapterSurvey& survey,
            std::span<const std::string> steps) {
  Json candidates = Json::array();
  for (const auto& candidate : survey.candidates) candidates.push_back(Candidate(candidate));
  Json searched = Json::array();
  for (const auto& directory : survey.rule.searched) searched.push_back(directory.string());
  Json next = Json::array();
  for (std::size_t i = 0; i < survey.steps.size() && i < steps.size(); ++i) {
    next.push_back({{"kind", NameOf(kStepKinds, survey.steps[i].kind)}, {"text", steps[i]}});
  }
  return {
      {"ids",
       {{"vendor_id", settings.vendor_id},
        {"hid_product_id", settings.hid_product_id},
        {"bulk_product_id", settings.bulk_product_id},
        {"bulk_serial", settings.serial_prefix + common::kSerialSuffix}}},
      {"usable", survey.usable()},
      {"usb_error", FaultOrNull(survey.usb_fault)},
      {"candidates", candidates},
      {"udev_rule",
       {{"path", TextOrNull(survey.rule.path.string())},
        {"searched", searched},
        {"names_vendor", survey.rule.names_vendor},
        {"products", survey.rule.products}}},
      {"group",
       {{"name", survey.group.name},
        {"exists", survey.group.exists},
        {"member", survey.group.member}}},
      {"steps", next},
  };
}

FsStepCounts CountFsSteps(const firmware::FsScript& script) {
  FsStepCounts counts;
  for (const firmware::FsStep& step : script.steps) {
    switch (step.kind) {
      case firmware::FsLineKind::kWrite:
        ++counts.writes;
        break;
      case firmware::FsLineKind::kCompare:
        ++counts.compares;
        break;
      case firmware::FsLineKind::kWait:
        ++counts.waits;
        break;
    }
  }
  return counts;
}

Json FsCheck(const std::string& path, const firmware::FsCheckReport& report) {
  Json problems = Json::array();
  for (const firmware::FsProblem& problem : report.problems) {
    problems.push_back({
        {"line", problem.line > 0 ? Json(problem.line) : Json(nullptr)},
        {"kind", NameOf(kProblemKinds, problem.kind)},
        {"message", problem.text},
    });
  }
  const FsStepCounts counts = CountFsSteps(report.script);
  return {
      {"file", path},
      {"clean", report.clean()},
      {"lines", report.script.line_count},
      {"writes", counts.writes},
      {"compares", counts.compares},
      {"waits", counts.waits},
      {"problems", problems},
      {"more_problems", report.more_problems},
  };
}

Json AuthDigest(std::string_view digest) { return {{"digest", digest}}; }

Json Adapters(const app::AdapterList& list) {
  Json adapters = Json::array();
  for (const auto& adapter : list.adapters) {
    const std::string problem = adapter.Problem();
    adapters.push_back({
        {"transport", link::TransportWord(adapter.transport)},
        {"serial", TextOrNull(adapter.serial)},
        {"node", adapter.node},
        {"can_open", problem.empty()},
        {"problem", TextOrNull(problem)},
        {"select", list.Select(adapter)},
        {"simulated", list.simulated},
    });
  }
  return {{"adapters", adapters}};
}

namespace {

Json Optional(const std::optional<double>& value) { return value ? Json(*value) : Json(nullptr); }

std::string_view KindName(monitor::LogColumnKind kind) {
  switch (kind) {
    case monitor::LogColumnKind::kHex:
      return "hex";
    case monitor::LogColumnKind::kBytes:
      return "bytes";
    case monitor::LogColumnKind::kNumber:
      break;
  }
  return "number";
}

}  // namespace

Json LogSummary(const monitor::RunLog& log, const monitor::LogSummary& summary) {
  const bool rows = summary.samples > 0;
  Json static_data = Json::array();
  for (const auto& [name, value] : log.static_data) {
    static_data.push_back({{"name", name}, {"value", value}});
  }
  Json columns = Json::array();
  for (const monitor::LogColumnSummary& column : summary.columns) {
    columns.push_back(
        {{"name", column.name},
         {"unit", column.unit},
         {"kind", KindName(column.kind)},
         {"read", column.read},
         {"unread", column.unread},
         {"min", Optional(column.min)},
         {"max", Optional(column.max)},
         {"mean", Optional(column.mean)},
         {"last", Optional(column.last)},
         {"last_text", column.last_text.empty() ? Json(nullptr) : Json(column.last_text)}});
  }
  return {{"file", log.path.string()},
          {"format", log.format == monitor::LogFormat::kCsv ? "csv" : "log"},
          {"start", rows ? Json(monitor::LogClockText(summary.start)) : Json(nullptr)},
          {"end", rows ? Json(monitor::LogClockText(summary.end)) : Json(nullptr)},
          {"duration_s", summary.duration_seconds},
          {"samples", summary.samples},
          {"mean_interval_s", Optional(summary.mean_interval_seconds)},
          {"largest_gap_s", Optional(summary.largest_gap_seconds)},
          {"largest_gap_at", summary.largest_gap_at
                                 ? Json(monitor::LogClockText(*summary.largest_gap_at))
                                 : Json(nullptr)},
          {"unread", summary.unread},
          {"incomplete_last_line", summary.incomplete_last_line},
          {"static_data", static_data},
          {"columns", columns}};
}

}  // namespace cw::cli::json
