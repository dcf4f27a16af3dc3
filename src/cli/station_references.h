#pragma once

#include <expected>
#include <functional>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "production/recipe.h"
#include "production/station.h"

// The references a recipe leaves to each pack, on the command line: given once for the run with
// --reference NAME=VALUE (a fixture whose sources are set for the shift), or typed for each pack
// when a terminal runs the station. The names: cell1..cell4 (mV), pack (mV), current (mA), ts1..
// ts4 (°C).
namespace cw::cli {

struct AskedReference {
  std::string name;  // as --reference takes it: "cell4"
  std::string unit;  // "mV"
};

// What the recipe asks for each pack, in the recipe's order; empty when it asks nothing.
std::vector<AskedReference> AskedReferencesOf(const production::Recipe& recipe);

using ReferenceValues = std::map<std::string, double>;

// The --reference texts, each "NAME=VALUE", checked against what the recipe asks: a name it does
// not ask for, one given twice, or a value that is no number is refused with why.
std::expected<ReferenceValues, std::string> ParseReferences(const std::vector<std::string>& given,
                                                            const production::Recipe& recipe);

// The names the recipe asks that `values` lacks, comma-separated; empty when none.
std::string MissingReferences(const ReferenceValues& values, const production::Recipe& recipe);

// The station's ask_references: the values given, and for each one missing, a question on the
// terminal for the lane's pack (one question at a time, across lanes). `console` runs the
// question with the live view held back. A stop while it waits, or the end of the input, gives
// nothing: the run ends as stopped.
using ConsoleGuard = std::function<void(const std::function<void()>& ask)>;
std::function<std::optional<production::AskedReferences>(const production::LaneView&)>
ReferenceSource(const production::Recipe& recipe, ReferenceValues given, std::stop_token stop,
                ConsoleGuard console);

}  // namespace cw::cli
