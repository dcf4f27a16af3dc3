#include "cli/station_references.h"

#include <fmt/format.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>

#include "common/parse.h"
#include "production/recipe_values.h"

namespace cw::cli {
namespace {

// How often a question waiting for the operator looks whether a stop was asked.
constexpr int kStopLookMilliseconds = 200;

std::vector<std::string> Names(const std::vector<AskedReference>& asked) {
  std::vector<std::string> names;
  for (const auto& reference : asked) names.push_back(reference.name);
  return names;
}

// Where a named reference goes in what the station reads.
void Store(production::AskedReferences& references, const std::string& name, double value) {
  const auto index = [&name](std::size_t prefix) {
    return static_cast<std::size_t>(name[prefix] - '1');
  };
  if (name.starts_with("cell")) {
    if (references.cells_mv.size() <= index(4)) references.cells_mv.resize(index(4) + 1);
    references.cells_mv[index(4)] = value;
  } else if (name == "pack") {
    references.pack_mv = value;
  } else if (name == "current") {
    references.current_ma = value;
  } else if (name.starts_with("ts")) {
    references.temperatures_c[index(2)] = value;
  }
}

// What is wrong with the references `values` (by name) once in the recipe's calibration step:
// a reference given for each pack is held to what the recipe's own values are.
std::optional<std::string> ReferenceProblem(const production::CalibrateStep& recipe_step,
                                            const ReferenceValues& values) {
  production::CalibrateStep step = recipe_step;
  for (const auto& [name, value] : values) {
    const auto index = [&name](std::size_t prefix) {
      return static_cast<std::size_t>(name[prefix] - '1');
    };
    if (name.starts_with("cell") && index(4) < step.cells_mv.size()) {
      step.cells_mv[index(4)].value = value;
    } else if (name == "pack" && step.pack_mv) {
      step.pack_mv->value = value;
    } else if (name == "current" && step.current_ma) {
      step.current_ma->value = value;
    } else if (name.starts_with("ts") && index(2) < step.temperatures_c.size() &&
               step.temperatures_c[index(2)]) {
      step.temperatures_c[index(2)]->value = value;
    }
  }
  production::RecipeProblems problems;
  production::CheckCalibrate(step, problems);
  if (problems.empty()) return std::nullopt;
  return problems.front().text;
}

// One line typed on the terminal, or nothing once a stop is asked or the input ends.
std::optional<std::string> ReadLine(std::stop_token stop) {
  std::string line;
  while (!stop.stop_requested()) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&input, 1, kStopLookMilliseconds);
    if (ready < 0 && errno != EINTR) return std::nullopt;
    if (ready <= 0) continue;
    char c = 0;
    if (::read(STDIN_FILENO, &c, 1) != 1) return std::nullopt;
    if (c == '\n') return line;
    line += c;
  }
  return std::nullopt;
}

}  // namespace

std::vector<AskedReference> AskedReferencesOf(const production::Recipe& recipe) {
  std::vector<AskedReference> asked;
  if (!recipe.calibrate) return asked;
  const production::CalibrateStep& calibrate = *recipe.calibrate;
  for (std::size_t cell = 0; cell < calibrate.cells_mv.size(); ++cell) {
    if (calibrate.cells_mv[cell].asked()) asked.push_back({fmt::format("cell{}", cell + 1), "mV"});
  }
  if (calibrate.pack_mv && calibrate.pack_mv->asked()) asked.push_back({"pack", "mV"});
  if (calibrate.current_ma && calibrate.current_ma->asked()) asked.push_back({"current", "mA"});
  for (std::size_t ts = 0; ts < calibrate.temperatures_c.size(); ++ts) {
    const auto& reference = calibrate.temperatures_c[ts];
    if (reference && reference->asked()) asked.push_back({fmt::format("ts{}", ts + 1), "°C"});
  }
  return asked;
}

std::expected<ReferenceValues, std::string> ParseReferences(const std::vector<std::string>& given,
                                                            const production::Recipe& recipe) {
  const auto asked = Names(AskedReferencesOf(recipe));
  ReferenceValues values;
  for (const std::string& item : given) {
    const auto equals = item.find('=');
    if (equals == std::string::npos)
      return std::unexpected(
          fmt::format("--reference \"{}\": give NAME=VALUE, e.g. cell4=3700 (mV), current=-2000 "
                      "(mA), ts1=25 (°C)",
                      item));
    const std::string name = item.substr(0, equals);
    if (std::ranges::find(asked, name) == asked.end()) {
      return std::unexpected(
          asked.empty()
              ? fmt::format("--reference {}: the recipe asks for no reference", name)
              : fmt::format("--reference {}: the recipe does not ask for it (it asks for: {})",
                            name, fmt::join(asked, ", ")));
    }
    const auto value = common::ParseWholeDecimal(item.substr(equals + 1));
    if (!value)
      return std::unexpected(fmt::format("--reference \"{}\": the value is no number", item));
    if (!values.emplace(name, *value).second) {
      return std::unexpected(fmt::format("--reference {} is given twice", name));
    }
  }
  if (recipe.calibrate) {
    if (const auto problem = ReferenceProblem(*recipe.calibrate, values)) {
      return std::unexpected(fmt::format("--reference: {}", *problem));
    }
  }
  return values;
}

std::string MissingReferences(const ReferenceValues& values, const production::Recipe& recipe) {
  std::vector<std::string> missing;
  for (const auto& name : Names(AskedReferencesOf(recipe))) {
    if (!values.contains(name)) missing.push_back(name);
  }
  return fmt::format("{}", fmt::join(missing, ", "));
}

std::function<std::optional<production::AskedReferences>(const production::LaneView&)>
ReferenceSource(const production::Recipe& recipe, ReferenceValues given, std::stop_token stop,
                ConsoleGuard console) {
  // Lanes ask on their own threads; the terminal takes one question at a time.
  auto asking = std::make_shared<std::mutex>();
  return
      [asked = AskedReferencesOf(recipe), given = std::move(given), stop,
       step = recipe.calibrate.value_or(production::CalibrateStep{}), console = std::move(console),
       asking](const production::LaneView& lane) -> std::optional<production::AskedReferences> {
        production::AskedReferences references;
        std::vector<const AskedReference*> missing;
        for (const auto& reference : asked) {
          if (const auto value = given.find(reference.name); value != given.end()) {
            Store(references, reference.name, value->second);
          } else {
            missing.push_back(&reference);
          }
        }
        if (missing.empty()) return references;
        std::lock_guard one_at_a_time(*asking);
        bool answered = true;
        console([&] {
          fmt::print("{}\n",
                     fmt::format("References for the pack on adapter {}:", lane.adapter_serial));
          for (const AskedReference* reference : missing) {
            for (;;) {
              fmt::print("{}", fmt::format("  {} ({}): ", reference->name, reference->unit));
              std::fflush(stdout);
              const auto line = ReadLine(stop);
              if (!line) {
                answered = false;
                return;
              }
              const auto value = common::ParseWholeDecimal(common::TrimBlanks(*line));
              if (!value) {
                fmt::print("{}\n", fmt::format("  \"{}\" is no number; again:", *line));
                continue;
              }
              if (const auto problem = ReferenceProblem(step, {{reference->name, *value}})) {
                fmt::print("{}\n", *problem);
                continue;
              }
              Store(references, reference->name, *value);
              break;
            }
          }
        });
        if (!answered) return std::nullopt;
        return references;
      };
}

}  // namespace cw::cli
