#include "sim/battery_model.h"

#include <algorithm>
#include <cmath>

namespace cw::sim {
namespace {

// Open-circuit voltage of one Li-ion cell by state of charge (percent, mV).
struct OcvPoint {
  double soc;
  double mv;
};
constexpr OcvPoint kOcv[] = {{0, 3000},  {5, 3450},  {10, 3550}, {20, 3620}, {40, 3700},
                             {60, 3780}, {80, 3900}, {90, 4020}, {100, 4180}};

constexpr double kCellResistanceOhm = 0.05;
// Cells warm by this many 0.1 K per A^2 in steady state, with this time constant.
constexpr double kHeatPerAmpSquared = 8.0;
constexpr double kHeatTimeConstantS = 600.0;
constexpr double kFetHeatFactor = 1.5;
constexpr double kAverageTimeConstantS = 60.0;
// Charging tapers at constant voltage once a cell reaches this, and ends below the taper end.
constexpr double kConstantVoltageCellMv = 4180;
constexpr double kTaperEndMa = 150;
constexpr double kTaperTimeConstantS = 900;
// A slow ripple on the load so that the values keep moving like a real pack's.
constexpr double kRippleMa = 6;
constexpr double kRipplePeriodS = 44;
constexpr double kPi = 3.14159265358979323846;

// Battery Status bits.
constexpr std::uint16_t kTca = 0x4000;
constexpr std::uint16_t kTda = 0x0800;
constexpr std::uint16_t kRca = 0x0200;
constexpr std::uint16_t kRta = 0x0100;
constexpr std::uint16_t kInit = 0x0080;
constexpr std::uint16_t kDsg = 0x0040;
constexpr std::uint16_t kFc = 0x0020;
constexpr std::uint16_t kFd = 0x0010;
// Charging Status bits.
constexpr std::uint16_t kChargeInProgress = 0x0010;
constexpr std::uint16_t kHighVoltage = 0x0008;
constexpr std::uint16_t kMidVoltage = 0x0004;
constexpr std::uint16_t kLowVoltage = 0x0002;
constexpr std::uint16_t kPreChargeVoltage = 0x0001;

double Ocv(double soc) {
  soc = std::clamp(soc, 0.0, 100.0);
  for (std::size_t i = 1; i < std::size(kOcv); ++i) {
    if (soc <= kOcv[i].soc) {
      const double t = (soc - kOcv[i - 1].soc) / (kOcv[i].soc - kOcv[i - 1].soc);
      return kOcv[i - 1].mv + t * (kOcv[i].mv - kOcv[i - 1].mv);
    }
  }
  return kOcv[std::size(kOcv) - 1].mv;
}

double HeatFor(double current_ma) {
  const double amps = current_ma / 1000.0;
  return kHeatPerAmpSquared * amps * amps;
}

std::uint8_t TempRange(double celsius) {
  if (celsius < 0) return 0x01;   // UT
  if (celsius < 5) return 0x02;   // LT
  if (celsius < 10) return 0x04;  // STL
  if (celsius < 45) return 0x08;  // RT
  if (celsius < 50) return 0x10;  // STH
  if (celsius < 55) return 0x20;  // HT
  return 0x40;                    // OT
}

}  // namespace

BatteryModel::BatteryModel(const PackMeasurements& start, common::Millis now) { Reset(start, now); }

void BatteryModel::Reset(const PackMeasurements& start, common::Millis now) {
  start_ = start;
  measurements_ = start;
  time_ = now;
  phase_start_ = now;
  phase_ = Phase::kLightLoad;
  remaining_mah_ = start.remaining_capacity_mah;
  current_ma_ = start.current_ma;
  average_ma_ = start.average_current_ma;
  start_heat_dk_ = HeatFor(start.current_ma);
  heat_dk_ = start_heat_dk_;
  start_voltage_mv_ =
      CellVoltage(100.0 * remaining_mah_ / start.full_charge_capacity_mah, start.current_ma);
  discharged_mah_ = 0;
  full_ = false;
  empty_ = false;
  constant_voltage_ = false;
  cycles_counted_ = 0;
  full_charges_ = 0;
}

double BatteryModel::CellVoltage(double soc_percent, double current_ma) const {
  return Ocv(soc_percent) + current_ma * kCellResistanceOhm;
}

double BatteryModel::PhaseCurrent(const BatteryConditions& conditions) const {
  const double seconds = static_cast<double>((time_ - phase_start_).count()) / 1000.0;
  double current = 0;
  switch (phase_) {
    case Phase::kLightLoad:
      current = kLightLoadMa;
      break;
    case Phase::kDischarge:
      current = kDischargeMa;
      break;
    case Phase::kCharge:
      // Constant current until the cells reach their limit, then an exponential taper.
      if (!constant_voltage_) {
        current = kChargeMa;
      } else {
        const double taper_s = static_cast<double>((time_ - taper_start_).count()) / 1000.0;
        current = kChargeMa * std::exp(-taper_s / kTaperTimeConstantS);
      }
      break;
    case Phase::kRestAfterDischarge:
    case Phase::kRestAfterCharge:
      return 0;
  }
  if (current < 0 && !conditions.discharge_allowed) return 0;
  if (current > 0 && !conditions.charge_allowed) return 0;
  return current + kRippleMa * std::sin(2 * kPi * seconds / kRipplePeriodS);
}

void BatteryModel::NextPhase(const BatteryConditions&) {
  const double soc = 100.0 * remaining_mah_ / start_.full_charge_capacity_mah;
  const common::Millis in_phase = time_ - phase_start_;
  Phase next = phase_;
  switch (phase_) {
    case Phase::kLightLoad:
      if (in_phase >= kLightLoadTime) next = Phase::kDischarge;
      break;
    case Phase::kDischarge:
      if (soc <= kEmptyPercent) next = Phase::kRestAfterDischarge;
      break;
    case Phase::kRestAfterDischarge:
      if (in_phase >= kRestTime) next = Phase::kCharge;
      break;
    case Phase::kCharge:
      if (constant_voltage_ && current_ma_ < kTaperEndMa) {
        next = Phase::kRestAfterCharge;
        remaining_mah_ = start_.full_charge_capacity_mah;
        full_ = true;
        ++full_charges_;
      }
      break;
    case Phase::kRestAfterCharge:
      if (in_phase >= kRestTime) next = Phase::kDischarge;
      break;
  }
  if (next != phase_) {
    constant_voltage_ = false;
    phase_ = next;
    phase_start_ = time_;
  }
}

void BatteryModel::Step(double seconds, const BatteryConditions& conditions) {
  current_ma_ = PhaseCurrent(conditions);
  const double fcc = start_.full_charge_capacity_mah;
  const double delta_mah = current_ma_ * seconds / 3600.0;
  remaining_mah_ = std::clamp(remaining_mah_ + delta_mah, 0.0, fcc);
  if (delta_mah < 0) {
    discharged_mah_ -= delta_mah;
    if (discharged_mah_ >= fcc) {
      discharged_mah_ -= fcc;
      ++measurements_.cycle_count;
      ++cycles_counted_;
    }
  }
  const double average_weight = std::min(1.0, seconds / kAverageTimeConstantS);
  average_ma_ += (current_ma_ - average_ma_) * average_weight;
  const double heat_weight = std::min(1.0, seconds / kHeatTimeConstantS);
  heat_dk_ += (HeatFor(current_ma_) - heat_dk_) * heat_weight;
  const double soc = 100.0 * remaining_mah_ / fcc;
  if (phase_ == Phase::kCharge && !constant_voltage_ &&
      CellVoltage(soc, current_ma_) >= kConstantVoltageCellMv) {
    constant_voltage_ = true;
    taper_start_ = time_;
  }
  if (soc < 90) full_ = false;
  if (soc <= kEmptyPercent) empty_ = true;
  if (soc >= 20) empty_ = false;
  NextPhase(conditions);
}

void BatteryModel::AdvanceTo(common::Millis now, const BatteryConditions& conditions) {
  if (now <= time_) {
    Publish(conditions);
    return;
  }
  // One-second steps; a very long jump takes larger ones so that it stays cheap.
  const common::Millis total = now - time_;
  const common::Millis step = std::max(common::Millis{1000}, total / 100000);
  while (time_ < now) {
    const common::Millis this_step = std::min(step, now - time_);
    time_ += this_step;
    Step(static_cast<double>(this_step.count()) / 1000.0, conditions);
  }
  Publish(conditions);
}

void BatteryModel::Publish(const BatteryConditions& conditions) {
  PackMeasurements& m = measurements_;
  const double fcc = start_.full_charge_capacity_mah;
  const double soc = 100.0 * remaining_mah_ / fcc;
  const auto current = static_cast<std::int16_t>(std::lround(current_ma_));
  // The cells keep their own offsets from one another; the model moves them together.
  const double voltage_change = CellVoltage(soc, current_ma_) - start_voltage_mv_;
  for (std::size_t cell = 0; cell < m.cell_mv.size(); ++cell) {
    m.cell_mv[cell] = static_cast<std::uint16_t>(
        std::clamp(std::lround(start_.cell_mv[cell] + voltage_change), 2500L, 4300L));
  }
  // Before the clock moves the start values stay exactly as given.
  if (time_ == phase_start_ && phase_ == Phase::kLightLoad) {
    m.current_ma = start_.current_ma;
    m.average_current_ma = start_.average_current_ma;
  } else {
    m.current_ma = current;
    m.average_current_ma = static_cast<std::int16_t>(std::lround(average_ma_));
  }
  const double heat_change = heat_dk_ - start_heat_dk_;
  for (std::size_t sensor = 0; sensor < m.sensor_dk.size(); ++sensor) {
    m.sensor_dk[sensor] =
        static_cast<std::uint16_t>(std::lround(start_.sensor_dk[sensor] + heat_change));
  }
  m.cell_temperature_dk =
      static_cast<std::uint16_t>(std::lround(start_.cell_temperature_dk + heat_change));
  m.fet_temperature_dk = static_cast<std::uint16_t>(
      std::lround(start_.fet_temperature_dk + kFetHeatFactor * heat_change));

  m.remaining_capacity_mah = static_cast<std::uint16_t>(std::lround(remaining_mah_));
  m.full_charge_capacity_mah = start_.full_charge_capacity_mah;
  m.relative_soc = static_cast<std::uint8_t>(std::lround(soc));
  m.absolute_soc = static_cast<std::uint8_t>(
      std::min(100L, std::lround(std::floor(100.0 * remaining_mah_ / kDesignCapacityMah))));

  const bool charging = m.current_ma > 0;
  std::uint16_t status = kInit;
  if (!charging) status |= kDsg;
  if (full_) status |= kFc | kTca;
  if (empty_) status |= kFd | kTda;
  if (m.remaining_capacity_mah < conditions.remaining_capacity_alarm_mah) status |= kRca;
  if (m.current_ma < 0 && conditions.remaining_time_alarm_min > 0 &&
      m.remaining_capacity_mah * 60 / -m.current_ma < conditions.remaining_time_alarm_min) {
    status |= kRta;
  }
  m.battery_status = status;

  const bool may_charge = conditions.charge_allowed && !full_;
  m.charging_current_ma = may_charge ? static_cast<std::uint16_t>(kChargeMa) : 0;
  m.charging_voltage_mv = conditions.charge_allowed ? kChargeVoltageMv : 0;
  const std::uint16_t lowest = *std::min_element(m.cell_mv.begin(), m.cell_mv.end());
  std::uint16_t charging_status = 0;
  if (lowest < 3000) {
    charging_status = kPreChargeVoltage;
  } else if (lowest < 3600) {
    charging_status = kLowVoltage;
  } else if (lowest < 4000) {
    charging_status = kMidVoltage;
  } else {
    charging_status = kHighVoltage;
  }
  if (charging) charging_status |= kChargeInProgress;
  m.charging_status = charging_status;
  m.temp_range = TempRange((m.cell_temperature_dk - 2731) / 10.0);
}

}  // namespace cw::sim
