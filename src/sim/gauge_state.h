#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "common/bytes.h"
#include "common/clock.h"
#include "sim/authenticator.h"
#include "sim/gauge_memory.h"

namespace cw::sim {

enum class SealState { kSealed, kUnsealed, kFullAccess };

enum class BootMode {
  kNormal,     // the firmware runs and answers every command
  kHandshake,  // 0xF100 seen: the boot loader runs, waiting for 0xF200
  kUpdate,     // ready for firmware records
};

struct BootLoaderState {
  BootMode mode = BootMode::kNormal;
  std::uint16_t status = 0;         // UpdateStatus without the busy bit
  std::uint16_t next_sequence = 0;  // sequence number the next record must carry
  // How long the loader was still busy with its last record when this state was taken: status
  // reads report busy until that much time has passed on the clock of the gauge it is restored
  // into. Counted from the moment of taking, so that a state file means the same to any process.
  common::Millis busy_left{0};

  bool operator==(const BootLoaderState&) const = default;
};

// One calibration command as the gauge received it (blocks without their count byte).
struct CalibrationRecord {
  std::uint8_t command = 0;
  common::Bytes data;
  std::int64_t time_ms = 0;  // clock time of arrival

  bool operator==(const CalibrationRecord&) const = default;
};

// The SBS registers a host may write.
struct SbsSettings {
  std::uint16_t remaining_capacity_alarm = 300;
  std::uint16_t remaining_time_alarm = 10;
  std::uint16_t battery_mode = 0x6001;
  std::uint16_t at_rate = 0;

  bool operator==(const SbsSettings&) const = default;
};

inline constexpr std::uint32_t kDefaultUnsealKey = 0x3B9E61D4;
inline constexpr std::uint32_t kDefaultFullAccessKey = 0xA7C2058F;

// Operation Status bits the pack drives itself (the rest come from the seal state).
inline constexpr std::uint16_t kOpPres = 0x0001;
inline constexpr std::uint16_t kOpDsg = 0x0002;
inline constexpr std::uint16_t kOpChg = 0x0004;
inline constexpr std::uint16_t kOpPchg = 0x0008;
inline constexpr std::uint16_t kOpXchg = 0x0010;
inline constexpr std::uint16_t kOpXdsg = 0x0020;
inline constexpr std::uint16_t kOpSdm = 0x1000;
inline constexpr std::uint16_t kOpPf = 0x2000;
// Security bits. Sealed sets FAS, SS and bit 8; unsealed keeps only FAS; full access clears all
// three. That one set satisfies every reader of the word: the data-flash page and UNSEAL look
// at SS (0x4000), UNSEAL TO FA at a high byte of 0x40 or more, the firmware export at bit 8.
inline constexpr std::uint16_t kOpFas = 0x8000;
inline constexpr std::uint16_t kOpSs = 0x4000;
inline constexpr std::uint16_t kOpSealedExport = 0x0100;

// Manufacturing Status bits toggled by subcommands.
inline constexpr std::uint16_t kMfgFetEn = 0x0010;
inline constexpr std::uint16_t kMfgLfEn = 0x0020;
inline constexpr std::uint16_t kMfgPfEn = 0x0040;
inline constexpr std::uint16_t kMfgFuseEn = 0x0100;

// Everything a powered pack keeps from one command to the next; the state file stores it whole.
struct GaugeState {
  GaugeMemory memory;
  // Unsealed out of the box so that a first look at the data flash works; SEAL is one click.
  SealState seal = SealState::kUnsealed;
  std::uint32_t unseal_key = kDefaultUnsealKey;
  std::uint32_t full_access_key = kDefaultFullAccessKey;
  AuthKey auth_key = kDefaultAuthKey;
  std::optional<std::uint8_t> selected_subclass;  // 0x77
  std::optional<std::uint16_t> flash_selector;    // 0x4A
  std::optional<std::uint16_t> block_subcommand;  // last subcommand written to 0x44
  std::uint16_t manufacturer_access_reply = 0;    // what a word read of 0x00 returns
  std::optional<AuthDigest> auth_response;        // next 0x2F read, wire order
  BootLoaderState boot;
  std::vector<CalibrationRecord> calibrations;
  SbsSettings settings;
  std::uint16_t operation_flags = kOpPres | kOpDsg | kOpChg;
  std::uint16_t manufacturing_status = kMfgFetEn | kMfgLfEn | kMfgPfEn;
  std::uint32_t safety_status = 0;
  std::uint32_t pf_status = 0;
  // Calibration references the last 0x41, 0x42 and 0x43 commands carried, applied by 0x40.
  std::array<std::uint16_t, 4> calibration_cells_mv = {};
  std::array<std::uint16_t, 4> calibration_sensors_dk = {};
  std::int16_t calibration_current_ma = 0;
  // What the calibrations so far added to the measured values; kept in the gauge's flash.
  std::array<std::int16_t, 4> cell_offset_mv = {};
  std::array<std::int16_t, 4> sensor_offset_dk = {};
  std::int16_t current_offset_ma = 0;
  // What the board's own offset adds to the current while it is not calibrated; the board
  // offset calibration (0x0020) measures and removes it.
  std::int16_t board_offset_ma = 0;

  bool operator==(const GaugeState&) const = default;
};

std::uint16_t OperationStatus(const GaugeState& state);

}  // namespace cw::sim
