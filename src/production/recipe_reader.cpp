// Reads a recipe file into a Recipe: the TOML layout, key by key, and the values that need no
// file to be judged (see recipe_values.cpp).
#include <fmt/format.h>
#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "common/file_error.h"
#include "common/file_input.h"
#include "common/parse.h"
#include "common/sha256.h"
#include "common/text.h"
#include "production/messages.h"
#include "production/recipe.h"
#include "production/recipe_values.h"
#include "production/toml_table_reader.h"

namespace cw::production {
namespace {

constexpr std::int64_t kMaxRetries = 10;

std::string Joined(std::span<const std::string_view> names) {
  return fmt::format("{}", fmt::join(names, ", "));
}

void ReadCommon(TomlTableReader& reader, StepCommon& common) {
  common.line = reader.line();
  common.retries = static_cast<int>(
      reader.Integer("retries", false, 0, kMaxRetries, "a whole number from 0 to 10").value_or(0));
}

bool IsSha256(std::string_view text) {
  return text.size() == 64 && std::ranges::all_of(text, [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

// A file key and the "sha256" beside it, in the table `table` ("steps.firmware").
std::optional<RecipeFile> ReadFile(TomlTableReader& reader, std::string_view key,
                                   std::string_view table, const std::filesystem::path& folder) {
  const toml::node* node = reader.Take(key);
  if (node == nullptr) return std::nullopt;
  RecipeFile file;
  file.key = fmt::format("{}.{}", table, key);
  file.line = LineOf(*node);
  if (!node->is_string()) {
    reader.WrongType(*node, key, messages::kTypeText);
    return std::nullopt;
  }
  if (node->as_string()->get().empty()) {
    reader.Problem(file.line, fmt::format(messages::kEmptyPath, key, reader.name()));
    return std::nullopt;
  }
  file.path = node->as_string()->get();
  file.resolved = (folder / file.path).lexically_normal();
  const toml::node* hash = reader.Require("sha256");
  if (hash == nullptr) return std::nullopt;
  if (!hash->is_string() || !IsSha256(hash->as_string()->get())) {
    reader.WrongType(*hash, "sha256", "64 hex digits (the file's SHA-256)");
    return std::nullopt;
  }
  file.sha256 = hash->as_string()->get();
  std::ranges::transform(file.sha256, file.sha256.begin(), common::LowerAscii);
  return file;
}

// One of two file keys, for steps that take an image or a script.
std::optional<std::pair<RecipeFile, bool>> ReadFileOrScript(TomlTableReader& reader,
                                                            std::string_view file_key,
                                                            std::string_view step,
                                                            const std::filesystem::path& folder) {
  const bool has_file = reader.table().contains(file_key);
  const bool has_script = reader.table().contains("script");
  if (has_file && has_script) {
    reader.Take(file_key);
    reader.Take("script");
    reader.Take("sha256");
    reader.Problem(reader.line(), fmt::format("{} takes either \"{}\" or \"{}\", not both",
                                              reader.name(), file_key, "script"));
    return std::nullopt;
  }
  if (!has_file && !has_script) {
    reader.Problem(reader.line(),
                   fmt::format("{} needs \"{}\" or \"{}\"", reader.name(), file_key, "script"));
    return std::nullopt;
  }
  auto file =
      ReadFile(reader, has_script ? "script" : file_key, fmt::format("steps.{}", step), folder);
  if (!file) return std::nullopt;
  return std::pair{std::move(*file), has_script};
}

// A step that plays one file. Its retries are read even when the file's keys are wrong, so that
// they are never reported as unknown besides.
template <typename Step>
void ReadFileStep(TomlTableReader& reader, std::string_view file_key, std::string_view step,
                  const std::filesystem::path& folder, std::optional<Step>& into) {
  Step read;
  ReadCommon(reader, read);
  auto file = ReadFileOrScript(reader, file_key, step, folder);
  if (!file) return;
  read.file = std::move(file->first);
  read.script = file->second;
  into = std::move(read);
}

std::optional<Reference> ReadReference(const toml::node& node) {
  if (node.is_integer()) return Reference{static_cast<double>(node.as_integer()->get())};
  if (node.is_floating_point() && std::isfinite(node.as_floating_point()->get())) {
    return Reference{node.as_floating_point()->get()};
  }
  if (node.is_string() && node.as_string()->get() == "ask") return Reference{};
  return std::nullopt;
}

std::optional<Reference> TakeReference(TomlTableReader& reader, std::string_view key) {
  const toml::node* node = reader.Take(key);
  if (node == nullptr) return std::nullopt;
  auto reference = ReadReference(*node);
  if (!reference) reader.WrongType(*node, key, "a number or \"ask\"");
  return reference;
}

void ReadTolerance(TomlTableReader& step, CalibrationTolerance& tolerance) {
  const toml::table* table = step.Table("tolerance");
  if (table == nullptr) return;
  TomlTableReader reader(*table, step.name() + " tolerance", *step.problems());
  const auto take = [&](std::string_view key, double& into) {
    const toml::node* node = reader.table().get(key);
    if (const auto value = reader.Number(key, false)) {
      if (*value > 0) {
        into = *value;
      } else {
        reader.WrongType(*node, key, messages::kTypeTolerance);
      }
    }
  };
  take("cell_mv", tolerance.cell_mv);
  take("pack_mv", tolerance.pack_mv);
  take("current_ma", tolerance.current_ma);
  take("temperature_c", tolerance.temperature_c);
}

CalibrateStep ReadCalibrate(TomlTableReader& reader) {
  CalibrateStep step;
  ReadCommon(reader, step);
  step.board_offset = reader.Bool("board_offset").value_or(false);
  if (const toml::array* cells = reader.Array("cells_mv", messages::kTypeReferenceList)) {
    bool usable = cells->size() >= 2 && cells->size() <= 4;
    for (const toml::node& cell : *cells) {
      const auto reference = ReadReference(cell);
      usable = usable && reference.has_value();
      if (reference) step.cells_mv.push_back(*reference);
    }
    if (!usable) {
      step.cells_mv.clear();
      reader.WrongType(*reader.table().get("cells_mv"), "cells_mv", messages::kTypeReferenceList);
    }
  }
  step.pack_mv = TakeReference(reader, "pack_mv");
  step.current_ma = TakeReference(reader, "current_ma");
  if (const toml::table* sensors = reader.Table("temperatures_c")) {
    TomlTableReader sensor_reader(*sensors, reader.name() + " temperatures_c", *reader.problems());
    for (std::size_t i = 0; i < step.temperatures_c.size(); ++i) {
      step.temperatures_c[i] = TakeReference(sensor_reader, fmt::format("ts{}", i + 1));
    }
  }
  ReadTolerance(reader, step.tolerance);
  if (const auto skew = reader.Number("max_cell_skew_mv", false)) {
    if (*skew > 0) {
      step.max_cell_skew_mv = *skew;
    } else {
      reader.WrongType(*reader.table().get("max_cell_skew_mv"), "max_cell_skew_mv",
                       messages::kTypeTolerance);
    }
  }
  return step;
}

// "2024-05-17": four digits, then one or two and one or two, between dashes.
std::optional<CalendarDate> ReadDateText(std::string_view text) {
  std::array<int, 3> parts{};
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::size_t dash = text.find('-');
    if ((dash == std::string_view::npos) != (i + 1 == parts.size())) return std::nullopt;
    const std::string_view item = text.substr(0, dash);
    const std::size_t width = item.size();
    if ((i == 0 && width != 4) || (i > 0 && (width < 1 || width > 2)) ||
        !std::ranges::all_of(item, [](char c) { return c >= '0' && c <= '9'; })) {
      return std::nullopt;
    }
    parts[i] = static_cast<int>(common::ParseWholeInteger(item).value_or(0));
    text.remove_prefix(dash == std::string_view::npos ? text.size() : dash + 1);
  }
  return CalendarDate{parts[0], parts[1], parts[2]};
}

DateStep ReadDate(TomlTableReader& reader) {
  DateStep step;
  ReadCommon(reader, step);
  const toml::node* node = reader.Take("value");
  if (node == nullptr) return step;
  if (node->is_date()) {
    const toml::date date = node->as_date()->get();
    step.date = CalendarDate{date.year, date.month, date.day};
  } else if (node->is_string() && node->as_string()->get() != "today") {
    step.date = ReadDateText(node->as_string()->get());
    if (!step.date) reader.WrongType(*node, "value", messages::kTypeDate);
  } else if (!node->is_string()) {
    reader.WrongType(*node, "value", messages::kTypeDate);
  }
  return step;
}

std::vector<std::string> ReadTextList(TomlTableReader& reader, std::string_view key) {
  std::vector<std::string> texts;
  const toml::array* array = reader.Array(key, messages::kTypeTextList);
  if (array == nullptr) return texts;
  for (const toml::node& item : *array) {
    if (!item.is_string()) {
      reader.WrongType(item, key, messages::kTypeTextList);
      return {};
    }
    texts.push_back(item.as_string()->get());
  }
  return texts;
}

VerifyStep ReadVerify(TomlTableReader& reader, const std::filesystem::path& folder) {
  VerifyStep step;
  ReadCommon(reader, step);
  step.golden = ReadFile(reader, "golden", "steps.verify", folder);
  const int masks_line =
      reader.table().contains("masks") ? LineOf(*reader.table().get("masks")) : reader.line();
  for (const std::string& name : ReadTextList(reader, "masks")) {
    const auto found = std::ranges::find(kVerifyMaskNames, name);
    if (found == kVerifyMaskNames.end()) {
      reader.Problem(masks_line, fmt::format("unknown mask \"{}\" (the masks are: {})", name,
                                             Joined(kVerifyMaskNames)));
      continue;
    }
    const auto mask = static_cast<VerifyMask>(found - kVerifyMaskNames.begin());
    if (std::ranges::find(step.masks, mask) != step.masks.end()) {
      reader.Problem(masks_line, fmt::format("the mask \"{}\" is named twice", name));
      continue;
    }
    step.masks.push_back(mask);
  }
  return step;
}

CheckStep ReadCheck(TomlTableReader& reader) {
  CheckStep step;
  ReadCommon(reader, step);
  if (const toml::array* limits = reader.Array("limits", messages::kTypeLimitList)) {
    for (const toml::node& item : *limits) {
      if (!item.is_table()) {
        reader.WrongType(item, "limits", messages::kTypeLimitList);
        continue;
      }
      TomlTableReader limit_reader(*item.as_table(), reader.name() + " limits", *reader.problems());
      ReadingLimit limit;
      limit.line = LineOf(item);
      limit.register_name = limit_reader.Text("register", true).value_or("");
      limit.minimum = limit_reader.Number("min", false);
      limit.maximum = limit_reader.Number("max", false);
      if (!limit.register_name.empty()) step.limits.push_back(std::move(limit));
    }
  }
  step.clear = ReadTextList(reader, "clear");
  return step;
}

// The [steps] table: each known step read into its place, every other key an unknown step.
void ReadSteps(const toml::table& steps, Recipe& recipe, const std::filesystem::path& folder,
               RecipeProblems& problems) {
  for (const auto& [key, node] : steps) {
    const auto found = std::ranges::find(kStepNames, key.str());
    const int key_line = static_cast<int>(key.source().begin.line);
    if (found == kStepNames.end()) {
      problems.push_back({key_line, fmt::format("unknown step \"{}\" (the steps are: {})",
                                                key.str(), Joined(kStepNames))});
      continue;
    }
    if (!node.is_table()) {
      problems.push_back({key_line, fmt::format(messages::kWrongType, key.str(), "[steps]",
                                                messages::kTypeTable)});
      continue;
    }
    TomlTableReader reader(*node.as_table(), fmt::format("[steps.{}]", key.str()), problems);
    switch (static_cast<StepKind>(found - kStepNames.begin())) {
      case StepKind::kFirmware:
        ReadFileStep(reader, "image", key.str(), folder, recipe.firmware);
        break;
      case StepKind::kConstants:
        ReadFileStep(reader, "afi", key.str(), folder, recipe.constants);
        break;
      case StepKind::kCalibrate:
        recipe.calibrate = ReadCalibrate(reader);
        break;
      case StepKind::kSerial: {
        SerialStep& step = recipe.serial.emplace();
        ReadCommon(reader, step);
        step.parameter = reader.Text("parameter", false).value_or(step.parameter);
        const auto number = [&](std::string_view name, bool required) {
          return reader.Integer(name, required, INT64_MIN, INT64_MAX, "a whole number");
        };
        step.start = number("start", true).value_or(0);
        step.end = number("end", true).value_or(0);
        step.step = number("step", false).value_or(1);
        break;
      }
      case StepKind::kDate:
        recipe.date = ReadDate(reader);
        break;
      case StepKind::kVerify:
        recipe.verify = ReadVerify(reader, folder);
        break;
      case StepKind::kCheck:
        recipe.check = ReadCheck(reader);
        break;
      case StepKind::kSeal:
        ReadCommon(reader, recipe.seal.emplace());
        break;
    }
  }
}

void ReadGauge(TomlTableReader& root, Recipe& recipe) {
  const toml::node* node = root.Require("gauge");
  if (node == nullptr) return;
  if (!node->is_table()) {
    root.WrongType(*node, "gauge", messages::kTypeTable);
    return;
  }
  TomlTableReader gauge(*node->as_table(), "[gauge]", *root.problems());
  recipe.gauge.device_type = static_cast<std::uint16_t>(
      gauge.Integer("device_type", true, 0, 0xFFFF, messages::kTypeWord).value_or(0));
  if (const toml::table* range = gauge.Table("firmware_version")) {
    TomlTableReader versions(*range, "[gauge] firmware_version", *root.problems());
    const auto bound = [&](std::string_view key) -> std::optional<std::uint16_t> {
      const auto value = versions.Integer(key, false, 0, 0xFFFF, messages::kTypeWord);
      if (!value) return std::nullopt;
      return static_cast<std::uint16_t>(*value);
    };
    recipe.gauge.firmware_min = bound("min");
    recipe.gauge.firmware_max = bound("max");
  }
}

std::optional<Handoff> ReadHandoff(TomlTableReader& root, const std::filesystem::path& folder) {
  const toml::table* table = root.Table("handoff");
  if (table == nullptr) return std::nullopt;
  TomlTableReader reader(*table, "[handoff]", *root.problems());
  Handoff handoff;
  handoff.line = reader.line();
  const auto path = reader.Text("folder", true);
  if (!path) return std::nullopt;
  if (path->empty()) {
    reader.Problem(handoff.line, fmt::format(messages::kEmptyPath, "folder", reader.name()));
    return std::nullopt;
  }
  handoff.folder = *path;
  handoff.resolved = (folder / handoff.folder).lexically_normal();
  handoff.label = ReadFile(reader, "label", "handoff", folder);
  return handoff;
}

}  // namespace

std::expected<Recipe, RecipeProblems> ParseRecipe(std::string_view text,
                                                  const std::filesystem::path& folder) {
  toml::table document;
  try {
    document = toml::parse(text);
  } catch (const toml::parse_error& error) {
    return std::unexpected(RecipeProblems{{static_cast<int>(error.source().begin.line),
                                           fmt::format("not TOML: {}", error.description())}});
  }
  Recipe recipe;
  RecipeProblems problems;
  {
    TomlTableReader root(document, "the recipe", problems);
    recipe.name = root.Text("name", false).value_or("");
    ReadGauge(root, recipe);
    const toml::table* steps = root.Table("steps");
    if (steps != nullptr) ReadSteps(*steps, recipe, folder, problems);
    recipe.handoff = ReadHandoff(root, folder);
  }
  if (problems.empty()) CheckRecipeValues(recipe, problems);
  if (!problems.empty()) {
    std::ranges::stable_sort(problems, {}, &RecipeProblem::line);
    return std::unexpected(std::move(problems));
  }
  return recipe;
}

std::expected<Recipe, RecipeProblems> LoadRecipe(const std::filesystem::path& path) {
  const auto bytes = common::ReadRegularFile(path, kMaxRecipeFileSize);
  if (!bytes) {
    return std::unexpected(
        RecipeProblems{{0, fmt::format("the recipe cannot be read: {}",
                                       common::DescribeFileError(bytes.error()))}});
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  auto recipe = ParseRecipe(text, path.parent_path());
  if (!recipe) return recipe;
  const auto hash = common::Sha256Hex(*bytes);
  if (!hash) return std::unexpected(RecipeProblems{{0, std::string(messages::kNoSha256)}});
  recipe->path = path;
  recipe->sha256 = *hash;
  if (recipe->name.empty()) recipe->name = path.stem().string();
  return recipe;
}

}  // namespace cw::production
