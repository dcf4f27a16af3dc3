#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/front_end.h"
#include "link/gauge_link.h"

namespace cw::monitor {
class ScanEngine;
}

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

// The reference fields as typed, before they are numbers.
struct CalibrationEntries {
  bool calibrate_voltage = false;
  std::array<std::string, 4> cells;  // mV
  std::array<bool, 4> calibrate_ts{};
  std::array<std::string, 4> temperatures;  // °C
  bool calibrate_current = false;
  std::string current;  // mA
};

// The entries as numbers. An empty cell or current reads 0, as the page always read it. Whatever
// is not a value a pack can have stays one, so that the range check refuses it with its message:
// a number past what the field holds is held at that end, a temperature that is no number is no
// temperature at all, and a cell or current that is no number is out of every range.
CalibrationInput ReadCalibrationEntries(const CalibrationEntries& entries);

// The sequence a calibration puts on the bus, worked out from the fields before anything is
// sent. Either `error` is set, or the payloads, flags and the time the gauge needs.
struct CalibrationPlan {
  std::optional<std::string> error;
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
// Reference values a pack can physically have. A value outside them (or no number at all) is a
// typing error and is refused before the gauge hears anything: a cell voltage past 16 bits would
// wrap, and the gauge would apply offsets of volts.
inline constexpr std::uint32_t kMaxCellMv = 5000;
inline constexpr float kMinReferenceCelsius = -40.0f;
inline constexpr float kMaxReferenceCelsius = 130.0f;
inline constexpr std::int32_t kMinCurrentMa = -32768;

// Plans a voltage/temperature/current calibration. `operation_cfg_a` is read only when the
// voltage is calibrated; nullopt from it is the read failure.
CalibrationPlan PlanCalibration(
    const CalibrationInput& input,
    const std::function<std::optional<std::uint16_t>()>& operation_cfg_a);

// Measured values beside the reference fields, from the scan's raw register values; a value
// the scan has not read (its row not ticked for Scan, or its read failed) reads "not read",
// never a number.
struct CalibrationReadings {
  std::array<std::string, 4> cells;
  std::array<std::string, 4> temperatures;
  std::string current;
};
using RawReading = std::optional<std::int64_t>;
CalibrationReadings ReadingsText(const std::array<RawReading, 4>& cell_raw,
                                 const std::array<RawReading, 4>& ts_raw, RawReading current_raw);

// A board at rest reads a few mA of its own: that is the offset the calibration takes away.
// More than this flows through the sense resistor only under a load or a charger, and an
// offset taken then is wrong by that current.
inline constexpr int kBoardAtRestMaxMa = 50;
// What to ask before a board offset calibration when the current last read shows a load;
// nothing when it shows none or was not read (the page's hint asks for no load either way).
std::optional<std::string> BoardOffsetLoadQuestion(RawReading current_raw);

// The calibration page's state at one moment.
struct CalibrationView {
  bool busy = false;  // CalibrationBusy
  // FlashTransferBusy: no calibration starts while a data flash transfer runs.
  bool flash_transfer_busy = false;
  // The measured values beside the reference fields, as the scan last read them.
  CalibrationReadings readings;
  // Asked before the board offset calibration starts (see BoardOffsetLoadQuestion).
  std::optional<std::string> offset_load_question;
};

// The calibration page's session: its two buttons and the readings beside its fields. Each
// calibration runs on the caller's thread (a front end with a
// window runs it on a worker) with the scan stopped and the bus lock held for the whole
// sequence; the bars advance through the ProgressSink, and the listeners hear when a
// calibration starts and ends (CalibrationBusy).
class Calibration {
 public:
  // `flash_transfer_busy` is the data flash page's FlashTransferBusy: no calibration while a
  // transfer runs. `scan` is stopped around a calibration and restarted after it.
  Calibration(link::GaugeLink& link, common::MessageSink& messages, common::ProgressSink& progress,
              std::atomic<bool>& calibration_busy, const std::atomic<bool>& flash_transfer_busy,
              monitor::ScanEngine& scan)
      : link_(link),
        messages_(messages),
        progress_(progress),
        calibration_busy_(calibration_busy),
        flash_transfer_busy_(flash_transfer_busy),
        scan_(scan) {}

  // Done when the gauge took every write. Otherwise the message says what the gauge measures
  // now.
  common::Outcome CalibrateBoardOffset();
  common::Outcome Calibrate(const CalibrationInput& input);
  // The same from the fields as typed (see ReadCalibrationEntries).
  common::Outcome CalibrateFromEntries(const CalibrationEntries& entries);
  CalibrationView View() const;

  common::Observers<>& changes() { return changes_; }

 private:
  // Runs `procedure` in the common frame; its messages are shown once the bus lock is released.
  common::Outcome RunFramed(
      const std::function<common::Verdict(common::OutcomeBuilder& outcome)>& procedure);
  void AdvanceBar(common::TaskKind bar, int duration_ms);
  // "Operation Cfg A" from the gauge's data flash (unlocked: calibration holds the lock).
  std::optional<std::uint16_t> ReadOperationCfgA();
  // After writes the gauge did not all acknowledge: what it measures now for what was
  // calibrated (cells, sensors, current), so the user knows where the pack stands.
  void ShowReadingsAfterFailure(bool cells, std::uint16_t sensors, bool current,
                                common::OutcomeBuilder& outcome);

  link::GaugeLink& link_;
  common::MessageSink& messages_;
  common::ProgressSink& progress_;
  std::atomic<bool>& calibration_busy_;
  const std::atomic<bool>& flash_transfer_busy_;
  monitor::ScanEngine& scan_;
  common::Observers<> changes_;
};

}  // namespace cw::app
