#pragma once

#include <expected>
#include <nlohmann/json.hpp>
#include <string>

#include "sim/gauge_state.h"

// The pack's state as a JSON document: everything a powered pack keeps between two commands, so
// that one run of the tool sees what the previous one did.
namespace cw::sim {

nlohmann::json GaugeStateToJson(const GaugeState& state);
// The reason names the first field that is missing or wrong.
std::expected<GaugeState, std::string> GaugeStateFromJson(const nlohmann::json& json);

// A missing file is not an error: the result is then nullopt.
std::expected<std::optional<GaugeState>, std::string> LoadGaugeState(const std::string& path);
// Writes a sibling file and renames it over `path`, so a crash never leaves half a state.
std::expected<void, std::string> SaveGaugeState(const std::string& path, const GaugeState& state);

}  // namespace cw::sim
