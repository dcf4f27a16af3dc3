#pragma once

#include <array>
#include <cstdint>

namespace cw::sim {

// What the gauge measures and estimates, the one source of every SBS word and status block that
// describes the cells. These defaults are the pack at power-up (a 4-cell Li-ion pack under a
// light load); the battery model moves them on with the clock.
struct PackMeasurements {
  std::array<std::uint16_t, 4> cell_mv = {3801, 3799, 3800, 3800};
  std::int16_t current_ma = -250;  // negative while discharging
  std::int16_t average_current_ma = -248;
  std::array<std::uint16_t, 4> sensor_dk = {2981, 2983, 2979, 2985};  // TS1-TS4, 0.1 K
  std::uint16_t cell_temperature_dk = 2982;
  std::uint16_t fet_temperature_dk = 2991;
  std::uint8_t relative_soc = 76;
  std::uint8_t absolute_soc = 71;
  std::uint8_t max_error = 2;
  std::uint8_t state_of_health = 94;
  std::uint16_t remaining_capacity_mah = 3420;
  std::uint16_t full_charge_capacity_mah = 4500;
  std::uint16_t cycle_count = 0;          // the gauge reports the one its data flash keeps
  std::uint16_t battery_status = 0x00C0;  // INIT and DSG: initialised, discharging
  std::uint16_t charging_current_ma = 2000;
  std::uint16_t charging_voltage_mv = 16800;
  std::uint8_t temp_range = 0x08;          // RT: room temperature
  std::uint16_t charging_status = 0x0004;  // MV: mid voltage range

  std::uint16_t PackVoltage() const {
    return static_cast<std::uint16_t>(cell_mv[0] + cell_mv[1] + cell_mv[2] + cell_mv[3]);
  }
  bool operator==(const PackMeasurements&) const = default;
};

}  // namespace cw::sim
