#include "app/calibration.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "app/link_failure.h"
#include "app/messages.h"
#include "common/parse.h"
#include "dataflash/flash_transfer.h"
#include "dataflash/parameter_table.h"
#include "link/command_codes.h"
#include "monitor/register_table.h"
#include "monitor/scan_engine.h"

namespace cw::app {
namespace {

using common::Millis;

using link::kCalibrationCellsCommand;
using link::kCalibrationCurrentCommand;
using link::kCalibrationFlagsCommand;
using link::kCalibrationModeSubcommand;
using link::kCalibrationTemperaturesCommand;
constexpr std::uint16_t kVoltageFlag = 0x10;
constexpr std::uint16_t kBoardOffsetFlag = 0x20;
constexpr std::uint16_t kCurrentFlag = 0x40;
constexpr std::uint16_t kSensorFlags = 0x0F;
constexpr std::uint16_t kCellCountBits = 0x0300;
constexpr Millis kAfterScanStop{100};
constexpr Millis kBetweenLockWaits{200};
constexpr Millis kBetweenOffsetWrites{2};
constexpr int kOffsetStepMs = 180;
constexpr int kBarSteps = 10;

// Where the gauge's measurements are read back: the cells and sensors status blocks and the
// Current word.
using link::kCellsBlock;
using link::kCellsBlockLength;
using link::kCurrentCommand;
using link::kSensorsBlock;
using link::kSensorsBlockLength;

// The registers the readings beside the reference fields come from.
constexpr std::array<std::string_view, 4> kCellRows = {"Cell Voltage 1", "Cell Voltage 2",
                                                       "Cell Voltage 3", "Cell Voltage 4"};
constexpr std::array<std::string_view, 4> kTsRows = {"TS1 Temperature", "TS2 Temperature",
                                                     "TS3 Temperature", "TS4 Temperature"};
constexpr std::string_view kCurrentRow = "Current";

// A whole number typed in a field, within [low, high]: an empty field reads 0, a number past
// either end is held there, and `not_a_number` stands for any other text.
template <typename Number>
Number ReadWholeNumber(const std::string& text, Number not_a_number) {
  constexpr auto kLow = std::numeric_limits<Number>::min();
  constexpr auto kHigh = std::numeric_limits<Number>::max();
  const std::string_view trimmed = common::TrimBlanks(text);
  if (trimmed.empty()) return 0;
  const auto value = common::ParseWholeInteger(trimmed);
  if (value) return static_cast<Number>(std::clamp<std::int64_t>(*value, kLow, kHigh));
  if (value.error() == common::NumberError::kNotANumber) return not_a_number;
  return trimmed.front() == '-' ? kLow : kHigh;
}

void PutWord(std::array<std::uint8_t, 8>& payload, std::size_t index, std::uint16_t value) {
  payload[2 * index] = common::LowByte(value);
  payload[2 * index + 1] = common::HighByte(value);
}

// The first input outside what a pack can have, as the message that refuses it.
std::optional<std::string> OutOfRange(const CalibrationInput& input) {
  if (input.calibrate_voltage) {
    for (std::size_t cell = 0; cell < input.cell_mv.size(); ++cell) {
      if (input.cell_mv[cell] > kMaxCellMv) {
        return fmt::format("Cell Voltage {} must be between 0 and {} mV, please reenter!", cell + 1,
                           kMaxCellMv);
      }
    }
  }
  for (std::size_t sensor = 0; sensor < input.calibrate_ts.size(); ++sensor) {
    const float celsius = input.ts_celsius[sensor];
    // Written so that NaN fails it too.
    if (input.calibrate_ts[sensor] &&
        !(celsius >= kMinReferenceCelsius && celsius <= kMaxReferenceCelsius)) {
      return fmt::format(
          "TS{} Temperature must be a number between {:.1f} and {:.1f} ℃, please reenter!",
          sensor + 1, kMinReferenceCelsius, kMaxReferenceCelsius);
    }
  }
  if (input.calibrate_current && input.current_ma < kMinCurrentMa) {
    return fmt::format("The Enter Actual Current must not be below {} mA, please reenter!",
                       kMinCurrentMa);
  }
  return std::nullopt;
}

}  // namespace

CalibrationInput ReadCalibrationEntries(const CalibrationEntries& entries) {
  constexpr std::uint32_t kNoCell = std::numeric_limits<std::uint32_t>::max();
  CalibrationInput input;
  input.calibrate_voltage = entries.calibrate_voltage;
  for (std::size_t i = 0; i < 4; ++i) {
    // A cell voltage is never negative: one typed so is refused as too large.
    const std::string_view cell = common::TrimBlanks(entries.cells[i]);
    input.cell_mv[i] =
        cell.starts_with('-') ? kNoCell : ReadWholeNumber<std::uint32_t>(entries.cells[i], kNoCell);
    input.calibrate_ts[i] = entries.calibrate_ts[i];
    const std::string_view typed = common::TrimBlanks(entries.temperatures[i]);
    const auto celsius = common::ParseWholeDecimal(typed);
    if (celsius) {
      // Past what a float holds is still past every limit, and stays finite.
      input.ts_celsius[i] = static_cast<float>(std::clamp(*celsius, -1e30, 1e30));
    } else if (celsius.error() == common::NumberError::kOutOfRange) {
      input.ts_celsius[i] = typed.front() == '-' ? -std::numeric_limits<float>::infinity()
                                                 : std::numeric_limits<float>::infinity();
    } else {
      input.ts_celsius[i] = std::numeric_limits<float>::quiet_NaN();
    }
  }
  input.calibrate_current = entries.calibrate_current;
  input.current_ma =
      ReadWholeNumber<std::int32_t>(entries.current, std::numeric_limits<std::int32_t>::min());
  return input;
}

std::uint16_t CelsiusToDeciKelvin(float celsius) {
  return static_cast<std::uint16_t>(static_cast<std::int32_t>((celsius + 273.15f) * 10.0f));
}

CalibrationPlan PlanCalibration(
    const CalibrationInput& input,
    const std::function<std::optional<std::uint16_t>()>& operation_cfg_a) {
  CalibrationPlan plan;
  plan.error = OutOfRange(input);
  if (plan.error) return plan;
  if (input.calibrate_voltage) {
    const auto& cells = input.cell_mv;
    if (cells[0] == 0 || cells[1] == 0) {
      plan.error = messages::kCellVoltageError;
      return plan;
    }
    if (std::uint64_t{cells[0]} + cells[1] + cells[2] + cells[3] <= 5000) {
      plan.error = messages::kCellVoltageSumTooLow;
      return plan;
    }
    const auto cfg = operation_cfg_a();
    if (!cfg) {
      plan.error = messages::kUsbTransferErrorDot;
      return plan;
    }
    PutWord(plan.voltage_payload, 0, static_cast<std::uint16_t>(cells[0]));
    PutWord(plan.voltage_payload, 1, static_cast<std::uint16_t>(cells[1]));
    switch (*cfg & kCellCountBits) {
      case 0x0300:
        if (cells[2] == 0 || cells[3] == 0) {
          plan.error = messages::kCellVoltageError;
          return plan;
        }
        PutWord(plan.voltage_payload, 2, static_cast<std::uint16_t>(cells[2]));
        PutWord(plan.voltage_payload, 3, static_cast<std::uint16_t>(cells[3]));
        plan.duration_ms = 1880;
        break;
      case 0x0200:
        if (cells[2] == 0) {
          plan.error = messages::kCellVoltageError;
          return plan;
        }
        PutWord(plan.voltage_payload, 2, static_cast<std::uint16_t>(cells[2]));
        plan.duration_ms = 1400;
        break;
      default:
        plan.duration_ms = 1000;
    }
    plan.voltage = true;
    plan.flags |= kVoltageFlag;
  }
  for (bool ticked : input.calibrate_ts) plan.temperature = plan.temperature || ticked;
  if (plan.temperature) {
    plan.duration_ms += 512;
    for (std::size_t sensor = 0; sensor < input.calibrate_ts.size(); ++sensor) {
      if (!input.calibrate_ts[sensor]) continue;
      PutWord(plan.temperature_payload, sensor, CelsiusToDeciKelvin(input.ts_celsius[sensor]));
      plan.flags |= static_cast<std::uint16_t>(1u << sensor);
      plan.duration_ms += 64;
    }
  }
  if (input.calibrate_current) {
    if (input.current_ma >= 0) {
      plan.error = messages::kCurrentMustBeNegative;
      return plan;
    }
    plan.current = true;
    plan.current_word = static_cast<std::uint16_t>(input.current_ma & 0xFFFF);
    plan.flags |= kCurrentFlag;
    plan.duration_ms = 500;  // the current step sets the time the gauge needs
  }
  return plan;
}

CalibrationReadings ReadingsText(const std::array<RawReading, 4>& cell_raw,
                                 const std::array<RawReading, 4>& ts_raw, RawReading current_raw) {
  const auto text = [](const RawReading& raw, auto format) {
    return raw ? format(*raw) : std::string("not read");
  };
  CalibrationReadings readings;
  for (std::size_t i = 0; i < 4; ++i) {
    readings.cells[i] = text(cell_raw[i], [](std::int64_t raw) {
      return fmt::format("{}", static_cast<std::int32_t>(raw));
    });
    readings.temperatures[i] = text(ts_raw[i], [](std::int64_t raw) {
      return fmt::format("{:.1f}", static_cast<std::int32_t>(raw) * 0.1 - 273.1);
    });
  }
  readings.current = text(current_raw, [](std::int64_t raw) {
    return fmt::format("{}", static_cast<std::int16_t>(raw & 0xFFFF));
  });
  return readings;
}

std::optional<std::string> BoardOffsetLoadQuestion(RawReading current_raw) {
  if (!current_raw) return std::nullopt;
  const auto current_ma = static_cast<std::int16_t>(*current_raw & 0xFFFF);
  if (std::abs(current_ma) <= kBoardAtRestMaxMa) return std::nullopt;
  return fmt::format(
      "{} mA flow through the pack. The board offset is what the gauge reads with no current at "
      "all: taken now, it would be wrong by this load. Remove the load or charger (or open the "
      "FETs), wait for the current to read 0, then calibrate.\n\nCalibrate now anyway?",
      current_ma);
}

CalibrationView Calibration::View() const {
  CalibrationView view;
  view.busy = calibration_busy_;
  view.flash_transfer_busy = flash_transfer_busy_;
  const monitor::RegisterTable table = scan_.Snapshot();
  const auto raw = [&table](std::string_view name) -> RawReading {
    const monitor::SbsRegisterDef* row = table.FindRow(name);
    if (row == nullptr || !table.Current(*row)) return std::nullopt;
    return row->raw_value;
  };
  std::array<RawReading, 4> cells{};
  std::array<RawReading, 4> sensors{};
  for (std::size_t i = 0; i < 4; ++i) {
    cells[i] = raw(kCellRows[i]);
    sensors[i] = raw(kTsRows[i]);
  }
  const RawReading current = raw(kCurrentRow);
  view.readings = ReadingsText(cells, sensors, current);
  view.offset_load_question = BoardOffsetLoadQuestion(current);
  return view;
}

common::Outcome Calibration::CalibrateFromEntries(const CalibrationEntries& entries) {
  return Calibrate(ReadCalibrationEntries(entries));
}

void Calibration::AdvanceBar(common::TaskKind bar, int duration_ms) {
  for (int step = 1; step <= kBarSteps; ++step) {
    link_.clock().SleepFor(Millis{duration_ms / kBarSteps});
    progress_.TaskProgress(bar, 100, step * 10);
  }
  progress_.TaskProgress(bar, 100, 100);
}

common::Outcome Calibration::RunFramed(
    const std::function<common::Verdict(common::OutcomeBuilder& outcome)>& procedure) {
  // First: its messages are shown when it goes out of scope, after the bus lock and the frame.
  common::OutcomeBuilder outcome(messages_);
  if (flash_transfer_busy_) {
    outcome.Show("Calibration forbidden. Flash Operation Running!", common::MessageIcon::kError);
    return outcome.Refused();
  }
  calibration_busy_ = true;
  changes_.Notify();
  const bool scan_was_running = scan_.scan_enabled();
  if (scan_was_running) scan_.SetScanEnabled(false);
  link_.clock().SleepFor(kAfterScanStop);
  common::Verdict verdict = common::Verdict::kFailed;
  {
    link::BusLockGuard bus(link_.bus_lock());
    if (!bus.owns()) {
      link_.clock().SleepFor(kBetweenLockWaits);
      bus.Retry();
    }
    if (bus.owns()) {
      verdict = procedure(outcome);
    } else {
      outcome.Show("System Busy");
    }
  }
  if (scan_was_running) scan_.SetScanEnabled(true);
  calibration_busy_ = false;
  changes_.Notify();
  return outcome.Finish(verdict);
}

common::Outcome Calibration::CalibrateBoardOffset() {
  return RunFramed([&](common::OutcomeBuilder& outcome) {
    progress_.TaskProgress(common::TaskKind::kOffsetCalibration, 100, 0);
    outcome.GaugeChanged();
    const bool mode =
        link_.WriteWordUnlocked(link::kManufacturerAccess, kCalibrationModeSubcommand);
    link_.clock().SleepFor(kBetweenOffsetWrites);
    const bool flags = link_.WriteWordUnlocked(kCalibrationFlagsCommand, kBoardOffsetFlag);
    if (!mode || !flags) {
      progress_.TaskProgress(common::TaskKind::kOffsetCalibration, 100, 100);
      ShowReadingsAfterFailure(/*cells=*/false, /*sensors=*/0, /*current=*/true, outcome);
      return common::Verdict::kFailed;
    }
    AdvanceBar(common::TaskKind::kOffsetCalibration, kOffsetStepMs * kBarSteps);
    outcome.Show("Offset Calibration OK!");
    return common::Verdict::kDone;
  });
}

common::Outcome Calibration::Calibrate(const CalibrationInput& input) {
  return RunFramed([&](common::OutcomeBuilder& outcome) {
    const CalibrationPlan plan = PlanCalibration(input, [this] { return ReadOperationCfgA(); });
    if (plan.error) {
      outcome.Show(*plan.error);
      return common::Verdict::kRefused;
    }
    if (plan.flags == 0) return common::Verdict::kRefused;
    progress_.TaskProgress(common::TaskKind::kCalibration, 100, 0);
    outcome.GaugeChanged();
    // Every selected write is sent even after one failed: the gauge takes them as a set.
    bool ok = link_.WriteWordUnlocked(link::kManufacturerAccess, kCalibrationModeSubcommand);
    if (plan.voltage) ok = link_.WriteBlock(kCalibrationCellsCommand, plan.voltage_payload) && ok;
    if (plan.temperature) {
      ok = link_.WriteBlock(kCalibrationTemperaturesCommand, plan.temperature_payload) && ok;
    }
    if (plan.current) {
      ok = link_.WriteWordUnlocked(kCalibrationCurrentCommand, plan.current_word) && ok;
    }
    ok = link_.WriteWordUnlocked(kCalibrationFlagsCommand, plan.flags) && ok;
    if (plan.duration_ms > 0) AdvanceBar(common::TaskKind::kCalibration, plan.duration_ms);
    if (!ok) {
      ShowReadingsAfterFailure(plan.voltage, plan.flags & kSensorFlags, plan.current, outcome);
      return common::Verdict::kFailed;
    }
    outcome.Show("Calibration OK.");
    return common::Verdict::kDone;
  });
}

void Calibration::ShowReadingsAfterFailure(bool cells, std::uint16_t sensors, bool current,
                                           common::OutcomeBuilder& outcome) {
  // Why the writes failed is known only until the read-back runs its own transactions.
  const std::string why(LinkFailureText(link_));
  std::vector<std::string> readings;
  bool unread = false;
  // The block's data bytes, copied out of the reply that goes away with the call.
  const auto words = [&](std::uint8_t block, std::uint8_t length) -> std::optional<common::Bytes> {
    common::Bytes reply;
    const bool read = link_.ReadManufacturerBlock(block, length, reply);
    const auto data = read ? link::ManufacturerBlockData(reply, block, length) : std::nullopt;
    if (!data) {
      unread = true;
      return std::nullopt;
    }
    return common::Bytes(data->begin(), data->end());
  };
  if (cells) {
    if (const auto data = words(kCellsBlock, kCellsBlockLength)) {
      std::vector<std::string> mv;
      for (std::size_t cell = 0; cell < 4; ++cell) {
        mv.push_back(
            fmt::format("{}", common::LittleEndianWord((*data)[2 * cell], (*data)[2 * cell + 1])));
      }
      readings.push_back(fmt::format("cells {} mV", fmt::join(mv, ", ")));
    }
  }
  if (sensors != 0) {
    if (const auto data = words(kSensorsBlock, kSensorsBlockLength)) {
      for (std::size_t sensor = 0; sensor < 4; ++sensor) {
        if ((sensors & (1u << sensor)) == 0) continue;
        const std::uint16_t raw =
            common::LittleEndianWord((*data)[2 * sensor], (*data)[2 * sensor + 1]);
        readings.push_back(fmt::format("TS{} {:.1f} ℃", sensor + 1, raw * 0.1 - 273.1));
      }
    }
  }
  if (current) {
    std::uint16_t word = 0;
    if (link_.ReadWord(kCurrentCommand, word)) {
      readings.push_back(fmt::format("current {} mA", static_cast<std::int16_t>(word)));
    } else {
      unread = true;
    }
  }
  if (readings.empty()) {
    outcome.Show(fmt::format(
        "The gauge did not confirm the calibration ({}), and its readings could not be read back: "
        "what it applied is unknown.",
        why));
    return;
  }
  std::string text =
      fmt::format("The gauge did not confirm the calibration ({}). It now reads: {}.", why,
                  fmt::join(readings, "; "));
  if (unread) text += " Some readings could not be read back.";
  outcome.Show(text);
}

std::optional<std::uint16_t> Calibration::ReadOperationCfgA() {
  static constexpr std::string_view kOperationCfgA = "Operation Cfg A";
  const auto index = dataflash::FindParam(kOperationCfgA);
  if (!index) return std::nullopt;
  const link::FlashParamLocation location = dataflash::LocationOf(dataflash::kParams[*index]);
  const auto pages = link_.ReadFlashParameterBlock(location);
  const std::size_t at = location.offset % link::kFlashPageSize;
  if (!pages || pages->bytes.size() < at + 2) return std::nullopt;
  return static_cast<std::uint16_t>((pages->bytes[at] << 8) | pages->bytes[at + 1]);
}

}  // namespace cw::app
