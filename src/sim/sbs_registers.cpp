#include "sim/sbs_registers.h"

#include <algorithm>
#include <string_view>

namespace cw::sim {
namespace {

constexpr std::uint8_t kIdentitySubclass = 0x30;
constexpr std::uint16_t kUnknownTime = 0xFFFF;
constexpr std::uint16_t kCapacityInEnergy = 0x8000;  // Battery Mode CapM

std::uint16_t DataFlashWord(const GaugeState& state, std::size_t offset) {
  const auto bytes = state.memory.ReadSubclass(*FindSubclassPlace(kIdentitySubclass), offset, 2);
  return static_cast<std::uint16_t>(((*bytes)[0] << 8) | (*bytes)[1]);
}

common::Bytes DataFlashText(const GaugeState& state, std::size_t offset, std::size_t max_length) {
  const auto place = *FindSubclassPlace(kIdentitySubclass);
  const auto length = state.memory.ReadSubclass(place, offset, 1);
  const std::size_t count = std::min<std::size_t>((*length)[0], max_length);
  return *state.memory.ReadSubclass(place, offset + 1, count);
}

// Minutes until `capacity_mah` is used up (or filled) at `current_ma`; unknown when not moving.
std::uint16_t Minutes(int capacity_mah, int current_ma) {
  if (current_ma <= 0) return kUnknownTime;
  return static_cast<std::uint16_t>(std::min(capacity_mah * 60 / current_ma, 65534));
}

}  // namespace

std::optional<std::uint16_t> SbsWord(std::uint8_t command, const GaugeState& state,
                                     const PackMeasurements& m) {
  const SbsSettings& settings = state.settings;
  const std::uint16_t design_voltage = DataFlashWord(state, 10);
  // Battery Mode CapM reports capacities in 10 mWh units at the design voltage.
  const auto capacity = [&](int mah) -> std::uint16_t {
    if ((settings.battery_mode & kCapacityInEnergy) == 0) return static_cast<std::uint16_t>(mah);
    return static_cast<std::uint16_t>(mah * design_voltage / 10000);
  };
  const int to_full = m.full_charge_capacity_mah - m.remaining_capacity_mah;
  const auto at_rate = static_cast<std::int16_t>(settings.at_rate);
  switch (command) {
    case 0x00:
      return state.manufacturer_access_reply;
    case 0x01:
      return settings.remaining_capacity_alarm;
    case 0x02:
      return settings.remaining_time_alarm;
    case 0x03:
      return settings.battery_mode;
    case 0x04:
      return settings.at_rate;
    case 0x05:
      return Minutes(to_full, at_rate);
    case 0x06:
      return Minutes(m.remaining_capacity_mah, -at_rate);
    case 0x07:
      return 1;
    case 0x08:
      return m.cell_temperature_dk;
    case 0x09:
      return m.PackVoltage();
    case 0x0A:
      return static_cast<std::uint16_t>(m.current_ma);
    case 0x0B:
      return static_cast<std::uint16_t>(m.average_current_ma);
    case 0x0C:
      return m.max_error;
    case 0x0D:
      return m.relative_soc;
    case 0x0E:
      return m.absolute_soc;
    case 0x0F:
      return capacity(m.remaining_capacity_mah);
    case 0x10:
      return capacity(m.full_charge_capacity_mah);
    case 0x11:
      return Minutes(m.remaining_capacity_mah, -m.current_ma);
    case 0x12:
      return Minutes(m.remaining_capacity_mah, -m.average_current_ma);
    case 0x13:
      return Minutes(to_full, m.average_current_ma);
    case 0x14:
      return m.charging_current_ma;
    case 0x15:
      return m.charging_voltage_mv;
    case 0x16:
      return m.battery_status;
    case 0x17:
      return m.cycle_count;
    case 0x18:
      return capacity(DataFlashWord(state, 22));
    case 0x19:
      return design_voltage;
    case 0x1A:
      return DataFlashWord(state, 12);
    case 0x1B:
      return DataFlashWord(state, 14);
    case 0x1C:
      return DataFlashWord(state, 16);
    // Unfiltered capacities: the filtered ones lag them by a few mAh.
    case 0x1D:
      return capacity(m.remaining_capacity_mah + 6);
    case 0x1E:
      return capacity(m.full_charge_capacity_mah + 4);
    case 0x1F:
      return 0;
    case 0x4F:
      return m.state_of_health;
    default:
      return std::nullopt;
  }
}

std::optional<common::Bytes> SbsBlock(std::uint8_t command, const GaugeState& state) {
  switch (command) {
    case 0x20:
      return DataFlashText(state, 31, 20);
    case 0x21:
      return DataFlashText(state, 52, 20);
    case 0x22:
      return DataFlashText(state, 26, 4);
    case 0x23: {
      constexpr std::string_view kLotCode = "LOT2305A17-4S1P";
      return common::Bytes(kLotCode.begin(), kLotCode.end());
    }
    default:
      return std::nullopt;
  }
}

bool IsWritableSbsWord(std::uint8_t command) { return command >= 0x01 && command <= 0x04; }

void WriteSbsWord(std::uint8_t command, std::uint16_t value, SbsSettings& settings) {
  switch (command) {
    case 0x01:
      settings.remaining_capacity_alarm = value;
      break;
    case 0x02:
      settings.remaining_time_alarm = value;
      break;
    case 0x03:
      settings.battery_mode = value;
      break;
    case 0x04:
      settings.at_rate = value;
      break;
    default:
      break;
  }
}

}  // namespace cw::sim
