#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A production recipe: which gauge the line expects and what each pack goes through, read from a
// TOML file. Once read it is a value: the station check and the station runner take it as it is
// and never look at the recipe file again.
namespace cw::production {

// The steps a recipe may name, in the order a station runs them. Each is optional.
enum class StepKind { kFirmware, kConstants, kCalibrate, kSerial, kDate, kVerify, kCheck, kSeal };
inline constexpr std::array<std::string_view, 8> kStepNames = {
    "firmware", "constants", "calibrate", "serial", "date", "verify", "check", "seal"};
inline constexpr std::string_view StepName(StepKind kind) {
  return kStepNames[static_cast<std::size_t>(kind)];
}

// Something wrong with a recipe, at its line in the recipe file (0: the file as a whole).
struct RecipeProblem {
  int line = 0;
  std::string text;
  bool operator==(const RecipeProblem&) const = default;
};
using RecipeProblems = std::vector<RecipeProblem>;

// A file the recipe uses and the SHA-256 the recipe holds for it.
struct RecipeFile {
  std::string key;             // where the recipe names it: "steps.firmware.image"
  std::filesystem::path path;  // as the recipe writes it, relative to the recipe's folder
  std::filesystem::path resolved;
  std::string sha256;  // 64 lower-case hex digits
  int line = 0;
};

// What every step has besides its own settings.
struct StepCommon {
  int retries = 0;  // further attempts after a failed one
  int line = 0;     // of the step's table
};

struct FirmwareStep : StepCommon {
  RecipeFile file;
  bool script = false;  // an update FS script; otherwise a firmware image
};

struct ConstantsStep : StepCommon {
  RecipeFile file;
  bool script = false;  // a constants FS script; otherwise a golden .afi
};

// A reference of the fixture: a value in the recipe, or asked for each pack (the operator or
// the fixture gives it when the pack is on the station).
struct Reference {
  std::optional<double> value;  // nothing: asked for each pack
  bool asked() const { return !value; }
  bool operator==(const Reference&) const = default;
};

// How far the gauge's readings may lie from the references once it is calibrated.
struct CalibrationTolerance {
  double cell_mv = 10;
  double pack_mv = 50;
  double current_ma = 25;
  double temperature_c = 2;
};

struct CalibrateStep : StepCommon {
  bool board_offset = false;
  std::vector<Reference> cells_mv;  // cells 1..n; empty: the cells are not calibrated
  // The gauge has no pack-voltage calibration: the reference is what its Pack Voltage must read
  // once the cells are calibrated.
  std::optional<Reference> pack_mv;
  std::optional<Reference> current_ma;                     // a discharge: negative
  std::array<std::optional<Reference>, 4> temperatures_c;  // TS1..TS4
  CalibrationTolerance tolerance;
  // How far one cell's correction (its reference less its reading before calibration) may lie
  // from the median correction of the cells. A gauge measures its cells alike, so a cell that
  // needs a much larger correction than the others has a wrong reference or a bad contact.
  double max_cell_skew_mv = 100;
};

struct SerialStep : StepCommon {
  std::string parameter = "Serial Number";
  std::int64_t start = 0;
  std::int64_t end = 0;
  std::int64_t step = 1;
};

struct CalendarDate {
  int year = 0;
  int month = 0;
  int day = 0;
  bool operator==(const CalendarDate&) const = default;
};

struct DateStep : StepCommon {
  std::optional<CalendarDate> date;  // nothing: the day the pack is made
};

// Groups of parameters that are meant to differ from the golden file once a pack is made.
enum class VerifyMask { kCalibration, kSerial, kDate, kLifetime };
inline constexpr std::array<std::string_view, 4> kVerifyMaskNames = {"calibration", "serial",
                                                                     "date", "lifetime"};

struct VerifyStep : StepCommon {
  // The golden .afi: the recipe's own, or the constants step's when that is an .afi.
  std::optional<RecipeFile> golden;
  std::vector<VerifyMask> masks;
};

// An SBS reading that must lie within limits, in the units the SBS page shows it in.
struct ReadingLimit {
  std::string register_name;
  std::optional<double> minimum;
  std::optional<double> maximum;
  int line = 0;
};

struct CheckStep : StepCommon {
  std::vector<ReadingLimit> limits;
  // Status registers that must read zero: no safety or permanent-failure flag set.
  std::vector<std::string> clear;
};

struct SealStep : StepCommon {};

// The gauge a pack must carry before anything is written to it.
struct GaugeExpectation {
  std::uint16_t device_type = 0;
  std::optional<std::uint16_t> firmware_min;
  std::optional<std::uint16_t> firmware_max;
};

// Where each finished run is handed to the factory's own systems: one JSON document per run in
// `folder`, and for a passed pack a label made from the template, beside it.
struct Handoff {
  std::filesystem::path folder;    // as the recipe writes it
  std::filesystem::path resolved;  // relative paths start at the recipe's folder
  std::optional<RecipeFile> label;
  int line = 0;
};

struct Recipe {
  std::string name;
  std::filesystem::path path;
  std::string sha256;  // of the recipe file as read: the recipe's version
  GaugeExpectation gauge;
  std::optional<FirmwareStep> firmware;
  std::optional<ConstantsStep> constants;
  std::optional<CalibrateStep> calibrate;
  std::optional<SerialStep> serial;
  std::optional<DateStep> date;
  std::optional<VerifyStep> verify;
  std::optional<CheckStep> check;
  std::optional<SealStep> seal;
  std::optional<Handoff> handoff;

  // The steps the recipe names, in running order.
  std::vector<StepKind> Steps() const;
  // The retries and line of a step the recipe names.
  const StepCommon& Common(StepKind kind) const;
  // Every file the recipe uses, in running order (a file named twice is listed twice).
  std::vector<const RecipeFile*> Files() const;
};

// The largest recipe file read: far beyond any hand-written one.
inline constexpr std::size_t kMaxRecipeFileSize = std::size_t{1} << 20;

// Reads a recipe from its text. `folder` is where its relative paths start. Every problem is
// reported with its line: TOML syntax, an unknown key or step, a value of the wrong type or out
// of range. The files are not opened (see PrepareRecipe).
std::expected<Recipe, RecipeProblems> ParseRecipe(std::string_view text,
                                                  const std::filesystem::path& folder);
// The same for a file; the recipe's SHA-256 is taken from the bytes read.
std::expected<Recipe, RecipeProblems> LoadRecipe(const std::filesystem::path& path);

}  // namespace cw::production
