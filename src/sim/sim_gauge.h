#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "common/bytes.h"
#include "common/clock.h"
#include "common/product_constants.h"
#include "link/smbus_target.h"
#include "sim/battery_model.h"
#include "sim/boot_loader.h"
#include "sim/fault_config.h"
#include "sim/gauge_state.h"
#include "sim/key_entry.h"
#include "sim/pack_measurements.h"

namespace cw::sim {

// The simulated KT580714 at 0x16/0x17. It checks the PEC of every write that carries one, sends
// a PEC after every word and block it returns, and keeps its state in one GaugeState that the
// state file stores. Thread-safe: every call takes the gauge's own lock.
//
// Rules of its own (beyond what the host tools rely on):
// - Sealed, the gauge refuses (NACK) data-flash page writes, 0x70 writes, flash read-out
//   selectors on 0x4A, authentication key changes, and answers a boot-loader entry (0xF100)
//   with UpdateStatus 0x8000; reads of data-flash pages stay allowed. Of the write-type
//   subcommands only SHUTDOWN, IATA_SHUTDOWN, SEAL and RESET act while sealed.
// - A subclass select (0x77) of an id the gauge does not have is refused and the previous
//   selection stays; a word read of 0x77 returns the selection, 0xFFFF when there is none.
// - While the boot loader runs, only 0x47 and 0x48 are answered.
// - A calibration command (0x40 flags) makes the measured values equal the references sent
//   before it with 0x41 (cells), 0x42 (sensors) and 0x43 (current).
class SimGauge final : public link::SmbusTarget {
 public:
  static constexpr std::uint8_t kWriteAddress = 0x16;
  static constexpr std::uint8_t kReadAddress = 0x17;

  SimGauge(common::Clock& clock, common::ProductConstants constants);

  bool Write(std::span<const std::uint8_t> bytes) override;
  std::optional<std::vector<std::uint8_t>> Read(std::uint8_t command, std::size_t count) override;

  GaugeState State() const;
  // Replaces the whole state (state file load); key entries in progress are forgotten.
  void Restore(GaugeState state);

  SealState seal_state() const;
  void SetSealState(SealState seal);
  std::uint16_t OperationStatusWord() const;
  BootLoaderState BootLoader() const;
  std::vector<CalibrationRecord> CalibrationRecords() const;
  // What the battery model measures at the clock's present time (calibration applied).
  PackMeasurements Measurements() const;
  // The model starts again from these values at the present time.
  void SetMeasurements(const PackMeasurements& measurements);
  BatteryModel::Phase BatteryPhase() const;
  // Fault injection: the protection trips with these Safety Status bits set. The FETs open (no
  // current flows) until PF_CLEAR.
  void RaiseSafetyAlarm(std::uint32_t safety_bits);
  // How many RESET (0x0041) subcommands the gauge has carried out.
  int resets() const;
  // How long the boot loader stays busy after each firmware record, on the gauge's clock.
  void SetBootTiming(const boot::BootTiming& timing);
  // The gauge applies the reply faults (PEC corruption, short and oversized block counts, a
  // boot loader that never leaves); NACKs and drops belong to the bus.
  void SetFaults(const FaultConfig& faults);

 private:
  struct Reply {
    common::Bytes bytes;  // as driven on the bus: data (count first for a block), then PEC
    bool block = false;
  };

  bool Sealed() const { return state_.seal == SealState::kSealed; }
  std::optional<Reply> ReplyFor(std::uint8_t command);
  Reply WordReply(std::uint8_t command, std::uint16_t value) const;
  Reply BlockReply(std::uint8_t command, common::ByteView data) const;
  std::optional<Reply> FlashBlockReply();
  void ApplyReplyFaults(std::uint8_t command, std::size_t count, Reply& reply);

  bool WriteWord(std::uint8_t command, std::uint16_t value);
  bool WriteBlock(std::uint8_t command, common::ByteView data);
  bool ManufacturerAccess(std::uint16_t word);
  void RunSubcommand(std::uint16_t code);
  bool Authenticate(common::ByteView data);
  // --- data-flash pages (sim_gauge_flash_pages.cpp) ---
  std::optional<Reply> PageReply(std::uint8_t command);
  bool WritePage(std::uint8_t command, common::ByteView data);
  // --- end of data-flash pages ---
  bool WriteManufacturerInfo(common::ByteView data);
  void RecordCalibration(std::uint8_t command, common::ByteView data);
  void ApplyCalibration(std::uint16_t flags);
  // Brings the battery model to the clock's present time and the measurements with it.
  void UpdateMeasurements() const;
  // Keeps in the data flash what the model has done since it was last asked: cycles counted, and
  // after a full charge the capacities learned.
  void Learn();
  bool BootBusy() const { return boot::Running(state_.boot) && clock_.Now() < boot_busy_until_; }
  // The boot loader's state with the busy time it has left from now.
  BootLoaderState BootLoaderNow() const;

  mutable std::mutex mutex_;
  common::Clock& clock_;
  const common::ProductConstants constants_;
  const common::Millis start_time_;
  GaugeState state_;
  // The model moves on whenever someone looks, also from const inspection calls.
  mutable BatteryModel model_;
  mutable PackMeasurements measurements_;
  // How much of the model's cycles and full charges the data flash already holds.
  std::uint32_t cycles_kept_ = 0;
  std::uint32_t full_charges_kept_ = 0;
  // Calibration moves a measurement by the difference between its reference and the value
  // measured at that moment.
  boot::BootTiming boot_timing_;
  // Clock time until which the boot loader is busy with its last record; state_.boot.busy_left
  // stays zero while the gauge runs (State() fills it in).
  common::Millis boot_busy_until_{0};
  FaultConfig faults_;
  int pec_replies_ = 0;
  // Between two commands only: not kept in the state file.
  KeyEntry key_entry_;
  bool key_change_armed_ = false;
  int resets_ = 0;
};

}  // namespace cw::sim
