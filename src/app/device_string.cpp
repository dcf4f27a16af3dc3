#include "app/device_string.h"

#include <fmt/format.h>

#include "common/parse.h"
#include "sim/sim_pack_set.h"

namespace cw::app {

namespace {

constexpr std::string_view kAdapterKey = "adapter=";

std::expected<void, std::string> Fail(std::string text) { return std::unexpected(std::move(text)); }

// "hid:KEY", "bulk:KEY", "hid" or "bulk" alone (the one adapter of that kind), and in a simulated
// set's "adapter=" also a bare KEY (either transport).
std::expected<link::AdapterChoice, std::string> ChoiceOf(std::string_view text) {
  const std::size_t colon = text.find(':');
  const std::string_view word = text.substr(0, colon);
  const auto transport = link::TransportOfWord(word);
  if (!transport) return link::AdapterChoice{std::nullopt, std::string(text)};
  if (colon == std::string_view::npos) return link::AdapterChoice{transport, {}};
  const std::string_view key = text.substr(colon + 1);
  if (key.empty())
    return std::unexpected(fmt::format(
        "device \"{}\" needs the adapter's serial number or node after the colon ({}:888800000001)",
        text, word));
  return link::AdapterChoice{transport, std::string(key)};
}

std::expected<void, std::string> ApplySimKey(std::string_view key, std::string_view value,
                                             DeviceSelection& selection) {
  if (key == "transport") {
    const auto adapters = sim::SimAdaptersNamed(value);
    if (!adapters)
      return Fail(fmt::format("transport \"{}\" is not one of hid, bulk, both", value));
    selection.transport = *adapters;
  } else if (key == "state") {
    selection.state_file = std::string(value);
  } else if (key == "faults") {
    // The fault keys never hold an '@', so the last one marks the pack.
    const std::size_t at = value.rfind('@');
    if (at == std::string_view::npos) {
      selection.faults = std::string(value);
      return {};
    }
    const auto pack = common::ParseWholeInteger(value.substr(at + 1));
    if (!pack || *pack < 1 || *pack > sim::kMaxPacks) {
      return Fail(fmt::format(
          "faults=\"{}\": after the @ comes the number of the pack they are for (from 1)", value));
    }
    selection.pack_faults.push_back({static_cast<int>(*pack), std::string(value.substr(0, at))});
  } else if (key == "clock") {
    if (value != "virtual" && value != "system") {
      return Fail(fmt::format("clock \"{}\" is not one of virtual, system", value));
    }
    selection.virtual_clock = value == "virtual";
  } else if (key == "packs") {
    const auto packs = common::ParseWholeInteger(value);
    if (!packs || *packs < 1 || *packs > sim::kMaxPacks) {
      return Fail(fmt::format("packs=\"{}\" is not a whole number of packs from 1 to {}", value,
                              sim::kMaxPacks));
    }
    selection.packs = static_cast<int>(*packs);
  } else {
    return Fail(fmt::format(
        "unknown device option \"{}\" (known: transport, state, faults, clock, packs, adapter)",
        key));
  }
  return {};
}

}  // namespace

std::expected<DeviceSelection, std::string> ParseDeviceString(std::string_view text) {
  DeviceSelection selection;
  if (text == "auto" || text.empty()) return selection;
  if (text == "hid" || text == "bulk" || text.starts_with("hid:") || text.starts_with("bulk:")) {
    auto choice = ChoiceOf(text);
    if (!choice) return std::unexpected(choice.error());
    selection.adapter = std::move(*choice);
    return selection;
  }
  if (text != "sim" && !text.starts_with("sim:")) {
    return std::unexpected(
        fmt::format("unknown device \"{}\": use auto, hid, bulk, hid:SERIAL, bulk:SERIAL, sim or "
                    "sim:key=value:...",
                    text));
  }
  selection.simulated = true;
  std::string_view rest = text.substr(3);
  while (!rest.empty()) {
    rest.remove_prefix(1);  // the ':' before each key
    // The adapter's name may hold colons of its own (hid:KEY, the node sim:hid1), so it is the
    // last key and takes the rest of the string.
    if (rest.starts_with(kAdapterKey) && rest.size() > kAdapterKey.size()) {
      auto choice = ChoiceOf(rest.substr(kAdapterKey.size()));
      if (!choice) return std::unexpected(choice.error());
      selection.adapter = std::move(*choice);
      break;
    }
    const std::size_t end = rest.find(':');
    const std::string_view item = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
    const std::size_t equals = item.find('=');
    const std::string_view key = item.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view{} : item.substr(equals + 1);
    if (equals == std::string_view::npos || value.empty()) {
      return std::unexpected(fmt::format("device option \"{}\" needs a value (key=value)", item));
    }
    if (auto applied = ApplySimKey(key, value, selection); !applied) {
      return std::unexpected(applied.error());
    }
  }
  return selection;
}

std::expected<DeviceSelection, std::string> SelectDevice(std::string_view device, bool sim,
                                                         std::string_view sim_state) {
  std::string_view text = device.empty() ? "auto" : device;
  if ((sim || !sim_state.empty()) && text == "auto") text = "sim";
  auto selection = ParseDeviceString(text);
  if (!selection || sim_state.empty()) return selection;
  // The state file is a name as the user typed it: it is never read as device options, so a
  // ':' or '=' in it cannot select a transport or inject a fault.
  if (!selection->simulated)
    return std::unexpected(std::string("--sim-state needs the simulated pack"));
  if (!selection->state_file.empty() && selection->state_file != sim_state) {
    return std::unexpected(fmt::format(
        "the device names the state file \"{}\" and --sim-state names \"{}\": give one of them",
        selection->state_file, sim_state));
  }
  selection->state_file = std::string(sim_state);
  return selection;
}

}  // namespace cw::app
