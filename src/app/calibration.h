#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/message_sink.h"
#include "common/progress_sink.h"
#include "link/gauge_link.h"

namespace cw::app {

// What the page's fields hold when a Calibrate button is pressed.
struct CalibrationInput {
  bool calibrate_voltage = false;
  std::array<std::uint32_t, 4> cell_mv{};  // actual cell voltages
  std::array<bool, 4> calibrate_ts{};      // TS1..TS4 ticked
  std::array<float, 4> ts_celsius{};       // actual temperatures
  bool calibrate_current = false;
  std::int32_t current_ma = 0;  // actual current
};

// The sequence a calibration puts on the bus, worked out from the fields before anything is
// sent. Either `error` is set, or the payloads, flags and the time the gauge needs.
struct CalibrationPlan {
  std::optional<std::string_view> error;
  bool voltage = false;
  bool temperature = false;
  bool current = false;
  std::array<std::uint8_t, 8> voltage_payload{};
  std::array<std::uint8_t, 8> temperature_payload{};
  std::uint16_t current_word = 0;
  std::uint16_t flags = 0;
  int duration_ms = 0;
};

// (°C + 273.15) x 10, truncated: the gauge's 0.1 K.
std::uint16_t CelsiusToDeciKelvin(float celsius);
// Plans a voltage/temperature/current calibration. `operation_cfg_a` is read only when the
// voltage is calibrated; nullopt from it is the read failure.
CalibrationPlan PlanCalibration(
    const CalibrationInput& input,
    const std::function<std::optional<std::uint16_t>()>& operation_cfg_a);

// Measured values beside the reference fields, from the scan's raw register values
// (-1: not read).
struct CalibrationReadings {
  std::array<std::string, 4> cells;
  std::array<std::string, 4> temperatures;
  std::string current;
};
CalibrationReadings ReadingsText(const std::array<std::int64_t, 4>& cell_raw,
                                 const std::array<std::int64_t, 4>& ts_raw,
                                 std::int64_t current_raw);

// What calibration needs from the rest of the workbench.
struct CalibrationHooks {
  std::function<bool()> flash_transfer_busy;
  std::function<bool()> scan_enabled;
  std::function<void(bool)> set_scan_enabled;
  // "Operation Cfg A" read from the gauge's data flash (unlocked: calibration holds the lock).
  std::function<std::optional<std::uint16_t>()> read_operation_cfg_a;
};

// The calibration page's two buttons. Each runs on the caller's thread with the scan stopped
// and the bus lock held for the whole sequence; the bars advance through the ProgressSink.
class Calibration {
 public:
  Calibration(link::GaugeLink& link, common::MessageSink& messages, common::ProgressSink& progress,
              std::atomic<bool>& calibration_busy, CalibrationHooks hooks)
      : link_(link),
        messages_(messages),
        progress_(progress),
        calibration_busy_(calibration_busy),
        hooks_(std::move(hooks)) {}

  // Each returns whether the gauge took every write.
  bool CalibrateBoardOffset();
  bool Calibrate(const CalibrationInput& input);

 private:
  bool RunFramed(const std::function<bool()>& procedure);
  void AdvanceBar(common::TaskKind bar, int duration_ms);

  link::GaugeLink& link_;
  common::MessageSink& messages_;
  common::ProgressSink& progress_;
  std::atomic<bool>& calibration_busy_;
  CalibrationHooks hooks_;
};

}  // namespace cw::app
