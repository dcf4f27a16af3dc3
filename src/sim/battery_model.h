#pragma once

#include <array>
#include <cstdint>

#include "common/clock.h"
#include "sim/pack_measurements.h"

namespace cw::sim {

// What the pack's protection and the host allow the current to do at the moment.
struct BatteryConditions {
  bool discharge_allowed = true;  // discharge FET on, no safety fault, not shut down
  bool charge_allowed = true;
  std::uint16_t remaining_capacity_alarm_mah = 300;
  std::uint16_t remaining_time_alarm_min = 10;
};

// The simulated pack's cells: a repeating charge / rest / discharge profile whose current is
// integrated into the remaining capacity, with cell voltages from an open-circuit curve plus the
// cells' resistance, temperatures that warm with the current, a cycle counter and the status
// bits that follow from all that. It starts exactly at the measurements it is given and moves
// only when the clock does, so a test can run an hour of discharge in no time.
class BatteryModel {
 public:
  enum class Phase { kLightLoad, kDischarge, kRestAfterDischarge, kCharge, kRestAfterCharge };

  static constexpr std::int16_t kLightLoadMa = -250;
  static constexpr std::int16_t kDischargeMa = -1800;
  static constexpr std::int16_t kChargeMa = 2000;
  static constexpr std::uint16_t kChargeVoltageMv = 16800;
  static constexpr std::uint16_t kDesignCapacityMah = 4800;
  static constexpr common::Millis kLightLoadTime{10 * 60 * 1000};
  static constexpr common::Millis kRestTime{20 * 60 * 1000};
  // The discharge ends here (below the remaining-capacity alarm).
  static constexpr int kEmptyPercent = 5;

  explicit BatteryModel(const PackMeasurements& start, common::Millis now = common::Millis{0});

  // Starts again from `start` at `now`, in the light-load phase.
  void Reset(const PackMeasurements& start, common::Millis now);
  // Moves the model to `now`; earlier times are ignored.
  void AdvanceTo(common::Millis now, const BatteryConditions& conditions);

  const PackMeasurements& measurements() const { return measurements_; }
  Phase phase() const { return phase_; }
  // Cycles counted and full charges reached since the last Reset, for the gauge to keep.
  std::uint32_t cycles_counted() const { return cycles_counted_; }
  std::uint32_t full_charges() const { return full_charges_; }
  double remaining_mah() const { return remaining_mah_; }

 private:
  void Step(double seconds, const BatteryConditions& conditions);
  double PhaseCurrent(const BatteryConditions& conditions) const;
  void NextPhase(const BatteryConditions& conditions);
  double CellVoltage(double soc_percent, double current_ma) const;
  void Publish(const BatteryConditions& conditions);

  PackMeasurements start_;
  PackMeasurements measurements_;
  common::Millis time_{0};
  common::Millis phase_start_{0};
  Phase phase_ = Phase::kLightLoad;
  double remaining_mah_ = 0;
  double current_ma_ = 0;
  double average_ma_ = 0;
  double heat_dk_ = 0;        // temperature rise of the cells over their start, 0.1 K
  double start_heat_dk_ = 0;  // rise that the start temperatures already include
  double start_voltage_mv_ = 0;
  double discharged_mah_ = 0;      // towards the next cycle count
  bool constant_voltage_ = false;  // charging has reached the taper
  common::Millis taper_start_{0};
  bool full_ = false;
  bool empty_ = false;
  std::uint32_t cycles_counted_ = 0;
  std::uint32_t full_charges_ = 0;
};

}  // namespace cw::sim
