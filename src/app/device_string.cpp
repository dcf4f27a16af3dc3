#include "app/device_string.h"

#include <fmt/format.h>

#include "app/messages.h"

namespace cw::app {

std::expected<DeviceSelection, std::string> ParseDeviceString(std::string_view text) {
  DeviceSelection selection;
  if (text == "auto" || text.empty()) return selection;
  if (text != "sim" && !text.starts_with("sim:")) {
    return std::unexpected(
        fmt::format("unknown device \"{}\": use auto, sim or sim:key=value:...", text));
  }
  selection.simulated = true;
  std::string_view rest = text.substr(3);
  while (!rest.empty()) {
    rest.remove_prefix(1);  // the ':' before each key
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
    if (key == "transport") {
      if (value == "hid") {
        selection.transport = SimTransport::kHid;
      } else if (value == "bulk") {
        selection.transport = SimTransport::kBulk;
      } else if (value == "both") {
        selection.transport = SimTransport::kBoth;
      } else {
        return std::unexpected(
            fmt::format("transport \"{}\" is not one of hid, bulk, both", value));
      }
    } else if (key == "state") {
      selection.state_file = std::string(value);
    } else if (key == "faults") {
      selection.faults = std::string(value);
    } else if (key == "clock") {
      if (value != "virtual" && value != "system") {
        return std::unexpected(fmt::format("clock \"{}\" is not one of virtual, system", value));
      }
      selection.virtual_clock = value == "virtual";
    } else {
      return std::unexpected(fmt::format(
          "unknown device option \"{}\" (known: transport, state, faults, clock)", key));
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
  if (!selection->simulated) return std::unexpected(std::string(messages::kSimStateNeedsSim));
  if (!selection->state_file.empty() && selection->state_file != sim_state) {
    return std::unexpected(
        fmt::format(fmt::runtime(messages::kTwoStateFiles), selection->state_file, sim_state));
  }
  selection->state_file = std::string(sim_state);
  return selection;
}

}  // namespace cw::app
