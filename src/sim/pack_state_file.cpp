#include "sim/pack_state_file.h"

#include <fmt/format.h>

#include <limits>
#include <memory>

#include "common/bytes.h"
#include "common/file_input.h"
#include "common/file_output.h"
#include "sim/boot_loader.h"

namespace cw::sim {
namespace {

using Json = nlohmann::json;

constexpr std::string_view kFormat = "cellwarden-sim-pack";
constexpr int kVersion = 1;
// No boot loader stays busy for anything like this; more is a damaged file.
constexpr std::uint64_t kMaxBusyMs = 60000;

std::string SealName(SealState seal) {
  switch (seal) {
    case SealState::kSealed:
      return "sealed";
    case SealState::kUnsealed:
      return "unsealed";
    case SealState::kFullAccess:
      return "full-access";
  }
  return "sealed";
}

std::string ModeName(BootMode mode) {
  switch (mode) {
    case BootMode::kNormal:
      return "normal";
    case BootMode::kHandshake:
      return "handshake";
    case BootMode::kUpdate:
      return "update";
  }
  return "normal";
}

template <typename T>
Json OptionalNumber(const std::optional<T>& value) {
  return value ? Json(*value) : Json(nullptr);
}

// Reads fields of one JSON object, remembering the first problem with its path.
class FieldReader {
 public:
  FieldReader(const Json& object, std::string path) : object_(object), path_(std::move(path)) {}

  bool Has(std::string_view key) const {
    return object_.is_object() && object_.contains(std::string(key));
  }

  const Json* Field(std::string_view key) {
    if (!object_.is_object())
      return Fail(path_.empty() ? "the document" : path_, "is not an object");
    const auto found = object_.find(std::string(key));
    if (found == object_.end()) return Fail(Path(key), "is missing");
    return &*found;
  }

  template <typename T>
  void Number(std::string_view key, std::uint64_t max, T& out) {
    const Json* field = Field(key);
    if (field == nullptr) return;
    if (!field->is_number_unsigned() || field->get<std::uint64_t>() > max) {
      Fail(Path(key), fmt::format("is not a whole number from 0 to {}", max));
      return;
    }
    out = static_cast<T>(field->get<std::uint64_t>());
  }

  template <typename T>
  void Signed(std::string_view key, std::int64_t min, std::int64_t max, T& out) {
    const Json* field = Field(key);
    if (field == nullptr) return;
    if (!field->is_number_integer() || field->get<std::int64_t>() < min ||
        field->get<std::int64_t>() > max) {
      Fail(Path(key), fmt::format("is not a whole number from {} to {}", min, max));
      return;
    }
    out = static_cast<T>(field->get<std::int64_t>());
  }

  template <typename T>
  void OptionalNumber(std::string_view key, std::uint64_t max, std::optional<T>& out) {
    const Json* field = Field(key);
    if (field == nullptr) return;
    if (field->is_null()) {
      out.reset();
      return;
    }
    T value{};
    Number(key, max, value);
    out = value;
  }

  void Hex(std::string_view key, std::size_t length, common::Bytes& out) {
    const Json* field = Field(key);
    if (field == nullptr) return;
    std::optional<common::Bytes> bytes;
    if (field->is_string()) bytes = common::ParseExactHexField(field->get<std::string>(), length);
    if (!bytes) {
      Fail(Path(key), fmt::format("is not {} bytes written as {} hex digits", length, 2 * length));
      return;
    }
    out = std::move(*bytes);
  }

  template <std::size_t N>
  void HexArray(std::string_view key, std::array<std::uint8_t, N>& out) {
    common::Bytes bytes;
    Hex(key, N, bytes);
    if (bytes.size() == N) std::copy(bytes.begin(), bytes.end(), out.begin());
  }

  void Key(std::string_view key, std::uint32_t& out) {
    common::Bytes bytes;
    Hex(key, 4, bytes);
    if (bytes.size() == 4) {
      out = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
            (std::uint32_t{bytes[2]} << 8) | bytes[3];
    }
  }

  template <typename T>
  void Choice(std::string_view key, std::initializer_list<std::pair<std::string_view, T>> choices,
              T& out) {
    const Json* field = Field(key);
    if (field == nullptr) return;
    if (field->is_string()) {
      for (const auto& [name, value] : choices) {
        if (field->get<std::string>() == name) {
          out = value;
          return;
        }
      }
    }
    Fail(Path(key), "is not one of the known values");
  }

  FieldReader Object(std::string_view key) {
    const Json* field = Field(key);
    return FieldReader(field != nullptr ? *field : kNull, Path(key), error_);
  }

  std::string Path(std::string_view key) const {
    return path_.empty() ? std::string(key) : fmt::format("{}.{}", path_, key);
  }
  const Json* Fail(const std::string& path, std::string_view problem) {
    if (error_->empty()) *error_ = fmt::format("\"{}\" {}", path, problem);
    return nullptr;
  }
  const std::string& error() const { return *error_; }

 private:
  FieldReader(const Json& object, std::string path, std::shared_ptr<std::string> error)
      : object_(object), path_(std::move(path)), error_(std::move(error)) {}

  inline static const Json kNull = nullptr;
  const Json& object_;
  std::string path_;
  std::shared_ptr<std::string> error_ = std::make_shared<std::string>();
};

}  // namespace

Json GaugeStateToJson(const GaugeState& state) {
  Json calibrations = Json::array();
  for (const CalibrationRecord& record : state.calibrations) {
    calibrations.push_back({{"command", record.command},
                            {"data", common::ToHex(record.data, "")},
                            {"time_ms", record.time_ms}});
  }
  return Json{
      {"format", kFormat},
      {"version", kVersion},
      {"seal_state", SealName(state.seal)},
      {"unseal_key", fmt::format("{:08X}", state.unseal_key)},
      {"full_access_key", fmt::format("{:08X}", state.full_access_key)},
      {"auth_key", common::ToHex(state.auth_key, "")},
      {"selected_subclass", OptionalNumber(state.selected_subclass)},
      {"flash_selector", OptionalNumber(state.flash_selector)},
      {"block_subcommand", OptionalNumber(state.block_subcommand)},
      {"manufacturer_access_reply", state.manufacturer_access_reply},
      {"auth_response",
       state.auth_response ? Json(common::ToHex(*state.auth_response, "")) : Json(nullptr)},
      {"boot_loader",
       {{"mode", ModeName(state.boot.mode)},
        {"status", state.boot.status},
        {"next_sequence", state.boot.next_sequence},
        {"busy_ms_left", state.boot.busy_left.count()},
        // Read by the releases that counted busy status reads instead of time.
        {"busy_polls_left", state.boot.busy_left.count() > 0 ? 1 : 0}}},
      {"calibrations", calibrations},
      {"calibration_references",
       {{"cells_mv", state.calibration_cells_mv},
        {"sensors_dk", state.calibration_sensors_dk},
        {"current_ma", state.calibration_current_ma}}},
      {"calibration_offsets",
       {{"cells_mv", state.cell_offset_mv},
        {"sensors_dk", state.sensor_offset_dk},
        {"current_ma", state.current_offset_ma},
        {"board_ma", state.board_offset_ma}}},
      {"sbs",
       {{"remaining_capacity_alarm", state.settings.remaining_capacity_alarm},
        {"remaining_time_alarm", state.settings.remaining_time_alarm},
        {"battery_mode", state.settings.battery_mode},
        {"at_rate", state.settings.at_rate}}},
      {"operation_flags", state.operation_flags},
      {"manufacturing_status", state.manufacturing_status},
      {"safety_status", state.safety_status},
      {"pf_status", state.pf_status},
      {"data_flash", common::ToHex(state.memory.data, "")},
      {"code_flash", common::ToHex(state.memory.code, "")},
  };
}

std::expected<GaugeState, std::string> GaugeStateFromJson(const Json& json) {
  GaugeState state;
  FieldReader root(json, "");
  const Json* format = root.Field("format");
  if (format != nullptr && (!format->is_string() || format->get<std::string>() != kFormat)) {
    root.Fail("format", fmt::format("is not \"{}\"", kFormat));
  }
  int version = 0;
  root.Number("version", 1000, version);
  if (root.error().empty() && version != kVersion) {
    root.Fail("version", fmt::format("is {}, this program reads version {}", version, kVersion));
  }
  root.Choice<SealState>("seal_state",
                         {{"sealed", SealState::kSealed},
                          {"unsealed", SealState::kUnsealed},
                          {"full-access", SealState::kFullAccess}},
                         state.seal);
  root.Key("unseal_key", state.unseal_key);
  root.Key("full_access_key", state.full_access_key);
  root.HexArray("auth_key", state.auth_key);
  root.OptionalNumber("selected_subclass", 0xFF, state.selected_subclass);
  if (state.selected_subclass && !FindSubclassPlace(*state.selected_subclass)) {
    root.Fail("selected_subclass", "is not a subclass of the gauge");
  }
  root.OptionalNumber("flash_selector", 0xFFFF, state.flash_selector);
  if (state.flash_selector && !IsDataPageSelector(*state.flash_selector) &&
      !IsCodePageSelector(*state.flash_selector)) {
    root.Fail("flash_selector", "is not a flash page of the gauge");
  }
  root.OptionalNumber("block_subcommand", 0xFFFF, state.block_subcommand);
  root.Number("manufacturer_access_reply", 0xFFFF, state.manufacturer_access_reply);
  if (const Json* response = root.Field("auth_response"); response != nullptr) {
    if (!response->is_null()) {
      AuthDigest digest{};
      root.HexArray("auth_response", digest);
      state.auth_response = digest;
    }
  }
  FieldReader boot = root.Object("boot_loader");
  boot.Choice<BootMode>("mode",
                        {{"normal", BootMode::kNormal},
                         {"handshake", BootMode::kHandshake},
                         {"update", BootMode::kUpdate}},
                        state.boot.mode);
  boot.Number("status", 0xFFFF, state.boot.status);
  boot.Number("next_sequence", 0xFFFF, state.boot.next_sequence);
  if (boot.Has("busy_ms_left")) {
    std::uint64_t busy_ms = 0;
    boot.Number("busy_ms_left", kMaxBusyMs, busy_ms);
    state.boot.busy_left = common::Millis(busy_ms);
  } else {
    // A file of the releases that counted busy status reads: a count left means a record had
    // just been sent, and its programming time is what that count stands for now.
    int busy_polls = 0;
    boot.Number("busy_polls_left", 1000000, busy_polls);
    if (busy_polls > 0) state.boot.busy_left = boot::BootTiming{}.record;
  }

  if (const Json* records = root.Field("calibrations"); records != nullptr) {
    if (!records->is_array()) root.Fail("calibrations", "is not a list");
    for (std::size_t i = 0; records->is_array() && i < records->size(); ++i) {
      FieldReader entry((*records)[i], fmt::format("calibrations[{}]", i));
      CalibrationRecord record;
      entry.Number("command", 0xFF, record.command);
      entry.Signed("time_ms", std::numeric_limits<std::int64_t>::min(),
                   std::numeric_limits<std::int64_t>::max(), record.time_ms);
      if (const Json* data = entry.Field("data"); data != nullptr) {
        std::optional<common::Bytes> bytes;
        if (data->is_string() && data->get<std::string>().size() % 2 == 0) {
          bytes = common::ParseExactHexField(data->get<std::string>(),
                                             data->get<std::string>().size() / 2);
        }
        if (!bytes) entry.Fail(entry.Path("data"), "is not hex bytes");
        record.data = bytes.value_or(common::Bytes{});
      }
      if (!entry.error().empty()) return std::unexpected(entry.error());
      state.calibrations.push_back(std::move(record));
    }
  }
  FieldReader references = root.Object("calibration_references");
  for (auto [key, values] : {std::pair{"cells_mv", &state.calibration_cells_mv},
                             std::pair{"sensors_dk", &state.calibration_sensors_dk}}) {
    const Json* list = references.Field(key);
    if (list == nullptr) continue;
    if (!list->is_array() || list->size() != values->size()) {
      references.Fail(references.Path(key), "is not a list of 4 numbers");
      continue;
    }
    const Json numbered = {
        {"0", (*list)[0]}, {"1", (*list)[1]}, {"2", (*list)[2]}, {"3", (*list)[3]}};
    FieldReader items(numbered, references.Path(key));
    for (std::size_t i = 0; i < values->size(); ++i) {
      items.Number(std::to_string(i), 0xFFFF, (*values)[i]);
    }
    if (!items.error().empty()) return std::unexpected(items.error());
  }
  references.Signed("current_ma", std::numeric_limits<std::int16_t>::min(),
                    std::numeric_limits<std::int16_t>::max(), state.calibration_current_ma);

  FieldReader offsets = root.Object("calibration_offsets");
  for (auto [key, values] : {std::pair{"cells_mv", &state.cell_offset_mv},
                             std::pair{"sensors_dk", &state.sensor_offset_dk}}) {
    const Json* list = offsets.Field(key);
    if (list == nullptr) continue;
    if (!list->is_array() || list->size() != values->size()) {
      offsets.Fail(offsets.Path(key), "is not a list of 4 numbers");
      continue;
    }
    const Json numbered = {
        {"0", (*list)[0]}, {"1", (*list)[1]}, {"2", (*list)[2]}, {"3", (*list)[3]}};
    FieldReader items(numbered, offsets.Path(key));
    for (std::size_t i = 0; i < values->size(); ++i) {
      items.Signed(std::to_string(i), std::numeric_limits<std::int16_t>::min(),
                   std::numeric_limits<std::int16_t>::max(), (*values)[i]);
    }
    if (!items.error().empty()) return std::unexpected(items.error());
  }
  offsets.Signed("current_ma", std::numeric_limits<std::int16_t>::min(),
                 std::numeric_limits<std::int16_t>::max(), state.current_offset_ma);
  offsets.Signed("board_ma", std::numeric_limits<std::int16_t>::min(),
                 std::numeric_limits<std::int16_t>::max(), state.board_offset_ma);

  FieldReader sbs = root.Object("sbs");
  sbs.Number("remaining_capacity_alarm", 0xFFFF, state.settings.remaining_capacity_alarm);
  sbs.Number("remaining_time_alarm", 0xFFFF, state.settings.remaining_time_alarm);
  sbs.Number("battery_mode", 0xFFFF, state.settings.battery_mode);
  sbs.Number("at_rate", 0xFFFF, state.settings.at_rate);
  root.Number("operation_flags", 0xFFFF, state.operation_flags);
  root.Number("manufacturing_status", 0xFFFF, state.manufacturing_status);
  root.Number("safety_status", 0xFFFFFFFF, state.safety_status);
  root.Number("pf_status", 0xFFFFFFFF, state.pf_status);
  root.Hex("data_flash", GaugeMemory::kDataSize, state.memory.data);
  root.Hex("code_flash", GaugeMemory::kCodeSize, state.memory.code);
  if (!root.error().empty()) return std::unexpected(root.error());
  return state;
}

namespace {

// A pack's state is a few hundred kilobytes of JSON; anything far larger is no state file.
constexpr std::size_t kMaxStateFileSize = 16 * 1024 * 1024;

}  // namespace

std::expected<std::optional<GaugeState>, std::string> LoadGaugeState(const std::string& path) {
  // Only a regular file holds a pack: a device would be read without end and a directory not at
  // all. A missing file is a new pack.
  const auto bytes = common::ReadRegularFile(path, kMaxStateFileSize);
  if (!bytes) {
    if (bytes.error().problem == common::FileProblem::kMissing) {
      return std::optional<GaugeState>();
    }
    return std::unexpected(common::DescribeFileError(bytes.error()));
  }
  Json json;
  try {
    json = Json::parse(bytes->begin(), bytes->end());
  } catch (const Json::parse_error& error) {
    return std::unexpected(
        fmt::format("The pack state file {} is not valid JSON: {}", path, error.what()));
  }
  auto state = GaugeStateFromJson(json);
  if (!state) {
    return std::unexpected(
        fmt::format("The pack state file {} is damaged: {}", path, state.error()));
  }
  return std::optional<GaugeState>(std::move(*state));
}

std::expected<void, std::string> SaveGaugeState(const std::string& path, const GaugeState& state) {
  // Whole or not at all, and never over a directory or a device.
  const auto written = common::WriteFileAtomically(path, GaugeStateToJson(state).dump(1) + "\n");
  if (!written) return std::unexpected(common::DescribeFileError(written.error()));
  return {};
}

}  // namespace cw::sim
