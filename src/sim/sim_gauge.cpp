#include "sim/sim_gauge.h"

#include <algorithm>
#include <array>

#include "link/pec.h"
#include "sim/boot_loader.h"
#include "sim/sbs_registers.h"
#include "sim/status_blocks.h"

namespace cw::sim {
namespace {

// SMBus blocks carry at most 32 data bytes.
constexpr std::size_t kMaxBlock = 32;

// Where the gauge keeps what it learns (data-flash words are big-endian).
struct DataFlashWord {
  std::uint8_t subclass;
  std::size_t offset;
};
constexpr DataFlashWord kCycleCount = {0x30, 18};
constexpr DataFlashWord kQmaxCycleCount = {0x54, 0};
constexpr std::uint8_t kQmaxSubclass = 0x52;  // QCell0-3, then FG Status
constexpr std::size_t kFgStatusOffset = 8;
// FG Status once a full charge has updated the cells' capacities.
constexpr std::uint8_t kLearnedStatus = 0x0E;
// How far each cell's learned capacity lies from the pack's.
constexpr std::array<int, 4> kCellCapacitySpreadMah = {0, 10, -5, 5};

std::uint16_t ReadWordOf(const GaugeMemory& memory, DataFlashWord word) {
  const auto bytes = memory.ReadSubclass(*FindSubclassPlace(word.subclass), word.offset, 2);
  return bytes ? static_cast<std::uint16_t>((*bytes)[0] << 8 | (*bytes)[1]) : 0;
}

void WriteWordOf(GaugeMemory& memory, DataFlashWord word, int value) {
  const auto raw = static_cast<std::uint16_t>(value);
  memory.WriteSubclass(*FindSubclassPlace(word.subclass), word.offset,
                       common::Bytes{common::HighByte(raw), common::LowByte(raw)});
}
// No adapter reads this far (a bulk packet holds 54 bytes); longer reads are refused rather than
// buffered. 255 is different: it asks for as many bytes as the count byte says.
constexpr std::size_t kMaxReadCount = 254;

constexpr std::uint8_t kAuthCommand = 0x2F;
constexpr std::uint8_t kBlockAccess = 0x44;
constexpr std::uint8_t kIspStatus = 0x47;
constexpr std::uint8_t kIspData = 0x48;
constexpr std::uint8_t kFlashBlock = 0x4A;
constexpr std::uint8_t kManufacturerInfo = 0x70;
constexpr std::uint8_t kSubclassSelect = 0x77;
constexpr std::uint8_t kFirstPage = 0x78;
constexpr std::uint8_t kLastPage = 0x7F;
constexpr std::uint8_t kManufacturerInfoSubclass = 0x3A;

constexpr std::uint16_t kSubcommandKeyChange = 0x0037;
constexpr std::uint16_t kNoSubclass = 0xFFFF;

enum class Frame { kWord, kBlock };

std::optional<Frame> WriteFrame(std::uint8_t command) {
  switch (command) {
    case 0x00:
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x40:
    case 0x43:
    case kIspStatus:
    case kFlashBlock:
    case kSubclassSelect:
      return Frame::kWord;
    case kAuthCommand:
    case 0x41:
    case 0x42:
    case kBlockAccess:
    case kIspData:
    case kManufacturerInfo:
      return Frame::kBlock;
    default:
      if (command >= kFirstPage && command <= kLastPage) return Frame::kBlock;
      return std::nullopt;
  }
}

// Battery Status alarms that follow from tripped protections.
std::uint16_t SafetyAlarmBits(std::uint32_t safety) {
  constexpr std::uint32_t kOverTemperature = 0x3000 | 0x0001'0000;             // OTD, OTC, OTF
  constexpr std::uint32_t kChargeSide = 0x1000 | 0x0100 | 0x000C | 0x0002;     // OTC SCC OCC COV
  constexpr std::uint32_t kDischargeSide = 0x2000 | 0x0400 | 0x0070 | 0x0001;  // OTD SCD OCD CUV
  std::uint16_t bits = 0;
  if ((safety & kOverTemperature) != 0) bits |= 0x1000;      // OTA
  if ((safety & kChargeSide) != 0) bits |= 0x8000 | 0x4000;  // OCA, TCA
  if ((safety & kDischargeSide) != 0) bits |= 0x0800;        // TDA
  return bits;
}

std::uint8_t ReadPec(std::uint8_t command, common::ByteView bytes) {
  return link::Pec(bytes, link::Pec({SimGauge::kWriteAddress, command, SimGauge::kReadAddress}));
}

common::Bytes LittleEndian(std::uint16_t value) {
  return {common::LowByte(value), common::HighByte(value)};
}

}  // namespace

SimGauge::SimGauge(common::Clock& clock, common::ProductConstants constants)
    : clock_(clock),
      constants_(std::move(constants)),
      start_time_(clock.Now()),
      state_{.memory = DefaultGaugeMemory(constants_)},
      model_(PackMeasurements{}) {}

void SimGauge::UpdateMeasurements() const {
  constexpr std::uint16_t kFetsOff = kOpSdm;
  const bool protection_tripped = state_.safety_status != 0 || state_.pf_status != 0;
  const bool running = (state_.operation_flags & kFetsOff) == 0 && !protection_tripped;
  BatteryConditions conditions;
  conditions.discharge_allowed = running && (state_.operation_flags & kOpDsg) != 0;
  conditions.charge_allowed = running && (state_.operation_flags & kOpChg) != 0;
  conditions.remaining_capacity_alarm_mah = state_.settings.remaining_capacity_alarm;
  conditions.remaining_time_alarm_min = state_.settings.remaining_time_alarm;
  model_.AdvanceTo(clock_.Now() - start_time_, conditions);

  PackMeasurements m = model_.measurements();
  const auto shifted = [](int value, int offset, int low, int high) {
    return std::clamp(value + offset, low, high);
  };
  for (std::size_t i = 0; i < 4; ++i) {
    m.cell_mv[i] =
        static_cast<std::uint16_t>(shifted(m.cell_mv[i], state_.cell_offset_mv[i], 0, 65535));
    m.sensor_dk[i] =
        static_cast<std::uint16_t>(shifted(m.sensor_dk[i], state_.sensor_offset_dk[i], 0, 65535));
  }
  const int current_offset = state_.current_offset_ma + state_.board_offset_ma;
  m.current_ma = static_cast<std::int16_t>(shifted(m.current_ma, current_offset, -32768, 32767));
  m.average_current_ma =
      static_cast<std::int16_t>(shifted(m.average_current_ma, current_offset, -32768, 32767));
  m.battery_status |= SafetyAlarmBits(state_.safety_status);
  m.cycle_count = static_cast<std::uint16_t>(ReadWordOf(state_.memory, kCycleCount) +
                                             model_.cycles_counted() - cycles_kept_);
  measurements_ = m;
}

void SimGauge::Learn() {
  if (model_.cycles_counted() != cycles_kept_) {
    WriteWordOf(state_.memory, kCycleCount, measurements_.cycle_count);
    cycles_kept_ = model_.cycles_counted();
  }
  if (model_.full_charges() == full_charges_kept_) return;
  full_charges_kept_ = model_.full_charges();
  for (std::size_t cell = 0; cell < kCellCapacitySpreadMah.size(); ++cell) {
    WriteWordOf(state_.memory, {kQmaxSubclass, 2 * cell},
                measurements_.full_charge_capacity_mah + kCellCapacitySpreadMah[cell]);
  }
  state_.memory.WriteSubclass(*FindSubclassPlace(kQmaxSubclass), kFgStatusOffset,
                              common::Bytes{kLearnedStatus});
  WriteWordOf(state_.memory, kQmaxCycleCount, measurements_.cycle_count);
}

// ---- bus side -------------------------------------------------------------------------------

bool SimGauge::Write(std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  if (bytes.empty()) return false;
  const std::uint8_t command = bytes[0];
  const bool boot_running = boot::Running(state_.boot);
  if (boot_running && command != kIspStatus && command != kIspData) return false;
  const auto frame = WriteFrame(command);
  if (!frame) return false;

  const auto payload = bytes.subspan(1);
  std::size_t data_length = 2;
  if (*frame == Frame::kBlock) {
    if (payload.empty() || payload[0] > kMaxBlock) return false;
    data_length = 1 + payload[0];
  }
  if (payload.size() == data_length + 1) {
    const std::uint8_t pec = link::Pec(bytes.first(1 + data_length), link::Pec({kWriteAddress}));
    if (pec != payload[data_length]) {
      if (boot_running) state_.boot.status |= boot::kPecError;
      return false;
    }
  } else if (payload.size() != data_length) {
    return false;
  }
  const auto data = payload.first(data_length);
  if (*frame == Frame::kWord) return WriteWord(command, common::LittleEndianWord(data[0], data[1]));
  return WriteBlock(command, data.subspan(1));
}

std::optional<std::vector<std::uint8_t>> SimGauge::Read(std::uint8_t command, std::size_t count) {
  std::lock_guard lock(mutex_);
  if (count > kMaxReadCount && count != kReadToCountByte) return std::nullopt;
  auto reply = ReplyFor(command);
  if (!reply) return std::nullopt;
  ApplyReplyFaults(command, count, *reply);
  // The master clocks out as many bytes as it wants; past the reply the bus idles high.
  const std::size_t wanted = count == kReadToCountByte ? 1 + std::size_t{reply->bytes[0]} : count;
  std::vector<std::uint8_t> out(wanted, 0xFF);
  std::copy_n(reply->bytes.begin(), std::min(wanted, reply->bytes.size()), out.begin());
  return out;
}

SimGauge::Reply SimGauge::WordReply(std::uint8_t command, std::uint16_t value) const {
  Reply reply{LittleEndian(value), false};
  reply.bytes.push_back(ReadPec(command, reply.bytes));
  return reply;
}

SimGauge::Reply SimGauge::BlockReply(std::uint8_t command, common::ByteView data) const {
  Reply reply{{static_cast<std::uint8_t>(data.size())}, true};
  reply.bytes.insert(reply.bytes.end(), data.begin(), data.end());
  reply.bytes.push_back(ReadPec(command, reply.bytes));
  return reply;
}

std::optional<SimGauge::Reply> SimGauge::ReplyFor(std::uint8_t command) {
  if (command == kIspStatus) return WordReply(command, boot::PollStatus(state_.boot, BootBusy()));
  if (boot::Running(state_.boot)) return std::nullopt;
  UpdateMeasurements();
  Learn();

  const common::Millis run_time = clock_.Now() - start_time_;
  switch (command) {
    case kAuthCommand:
      if (!state_.auth_response) return std::nullopt;
      return BlockReply(command, *state_.auth_response);
    case kBlockAccess: {
      if (!state_.block_subcommand) return std::nullopt;
      common::Bytes data = LittleEndian(*state_.block_subcommand);
      const common::Bytes body =
          SubcommandData(*state_.block_subcommand, state_, measurements_, run_time);
      data.insert(data.end(), body.begin(), body.end());
      return BlockReply(command, data);
    }
    case kFlashBlock:
      return FlashBlockReply();
    case kSubclassSelect:
      return WordReply(command, state_.selected_subclass ? std::uint16_t{*state_.selected_subclass}
                                                         : kNoSubclass);
    default:
      break;
  }
  if (command >= kFirstPage && command <= kLastPage) return PageReply(command);
  if (auto word = SbsWord(command, state_, measurements_)) return WordReply(command, *word);
  if (auto block = SbsBlock(command, state_)) return BlockReply(command, *block);
  if (auto block = DirectStatusBlock(command, state_, measurements_, run_time)) {
    return BlockReply(command, *block);
  }
  return std::nullopt;
}

std::optional<SimGauge::Reply> SimGauge::FlashBlockReply() {
  if (Sealed() || !state_.flash_selector) return std::nullopt;
  const std::uint16_t selector = *state_.flash_selector;
  common::Bytes data(32);
  if (IsDataPageSelector(selector)) {
    const std::size_t first = (selector - kFirstDataPageSelector) * 32u;
    for (std::size_t i = 0; i < data.size(); ++i) {
      data[i] = HideDataFlashByte(state_.memory.data[first + i], constants_.read_back_mask);
    }
  } else if (IsCodePageSelector(selector)) {
    const std::uint32_t first = (selector - kFirstCodePageSelector) * 32u;
    for (std::size_t i = 0; i < data.size(); ++i) {
      const auto address = static_cast<std::uint32_t>(first + i);
      data[i] = HideCodeFlashByte(state_.memory.code[address], address, constants_.read_back_mask);
    }
  } else {
    return std::nullopt;
  }
  return BlockReply(kFlashBlock, data);
}

void SimGauge::ApplyReplyFaults(std::uint8_t command, std::size_t count, Reply& reply) {
  if (reply.block && (faults_.short_replies || faults_.oversized_replies)) {
    std::uint8_t& announced = reply.bytes[0];
    announced = faults_.oversized_replies
                    ? 0xFF
                    : static_cast<std::uint8_t>(std::max(announced, std::uint8_t{1}) - 1);
    // A consistent PEC, so that only a host that checks the count notices.
    reply.bytes.back() =
        ReadPec(command, common::ByteView(reply.bytes).first(reply.bytes.size() - 1));
  }
  const bool pec_read = count != kReadToCountByte && count >= reply.bytes.size();
  if (faults_.corrupt_pec_every > 0 && pec_read &&
      ++pec_replies_ % faults_.corrupt_pec_every == 0) {
    reply.bytes.back() ^= 0xFF;
  }
}

// ---- writes ---------------------------------------------------------------------------------

bool SimGauge::WriteWord(std::uint8_t command, std::uint16_t value) {
  switch (command) {
    case 0x00:
      return ManufacturerAccess(value);
    case 0x40:
      RecordCalibration(command, LittleEndian(value));
      ApplyCalibration(value);
      return true;
    case 0x43:
      RecordCalibration(command, LittleEndian(value));
      state_.calibration_current_ma = static_cast<std::int16_t>(value);
      return true;
    case kIspStatus:
      boot::Command(state_.boot, value, Sealed(), faults_.stuck_in_boot_loader);
      return true;
    case kFlashBlock: {
      if (Sealed() || (!IsDataPageSelector(value) && !IsCodePageSelector(value))) return false;
      state_.flash_selector = value;
      return true;
    }
    case kSubclassSelect:
      if (common::HighByte(value) != 0 || !FindSubclassPlace(common::LowByte(value))) return false;
      state_.selected_subclass = common::LowByte(value);
      return true;
    default:
      if (!IsWritableSbsWord(command)) return false;
      WriteSbsWord(command, value, state_.settings);
      return true;
  }
}

bool SimGauge::WriteBlock(std::uint8_t command, common::ByteView data) {
  switch (command) {
    case kAuthCommand:
      return Authenticate(data);
    case 0x41:
    case 0x42: {
      if (data.size() != 8) return false;
      RecordCalibration(command, data);
      auto& references =
          command == 0x41 ? state_.calibration_cells_mv : state_.calibration_sensors_dk;
      for (std::size_t i = 0; i < references.size(); ++i) {
        references[i] = common::LittleEndianWord(data[2 * i], data[2 * i + 1]);
      }
      return true;
    }
    case kBlockAccess: {
      if (data.size() < 2) return false;
      const std::uint16_t code = common::LittleEndianWord(data[0], data[1]);
      state_.block_subcommand = code;
      RunSubcommand(code);
      key_change_armed_ = code == kSubcommandKeyChange;
      return true;
    }
    case kIspData:
      if (!boot::Running(state_.boot)) return false;
      boot_busy_until_ = clock_.Now() + boot::Record(state_.boot, state_.memory, data,
                                                     constants_.record_mask, boot_timing_);
      return true;
    case kManufacturerInfo:
      return WriteManufacturerInfo(data);
    default:
      return WritePage(command, data);
  }
}

bool SimGauge::ManufacturerAccess(std::uint16_t word) {
  if (key_entry_.Offer(word, clock_.Now(), state_)) {
    key_change_armed_ = false;
    return true;
  }
  RunSubcommand(word);
  UpdateMeasurements();
  const common::Bytes reply =
      SubcommandData(word, state_, measurements_, clock_.Now() - start_time_);
  state_.manufacturer_access_reply =
      reply.size() >= 2 ? common::LittleEndianWord(reply[0], reply[1]) : 0;
  key_change_armed_ = word == kSubcommandKeyChange;
  return true;
}

void SimGauge::RunSubcommand(std::uint16_t code) {
  constexpr std::uint16_t kFets = kOpChg | kOpDsg | kOpPchg;
  switch (code) {
    case 0x0010:  // SHUTDOWN
    case 0x00F0:  // IATA_SHUTDOWN
      state_.operation_flags =
          static_cast<std::uint16_t>((state_.operation_flags & ~kFets) | kOpSdm);
      return;
    case 0x0030:  // SEAL
      state_.seal = SealState::kSealed;
      key_entry_.Reset();
      return;
    case 0x0041:  // RESET: out of shutdown, FETs on; security and flash stay as they are
      state_.operation_flags = kOpPres | kOpDsg | kOpChg;
      key_entry_.Reset();
      ++resets_;
      return;
    default:
      break;
  }
  if (Sealed()) return;
  switch (code) {
    case 0x001E:
      state_.operation_flags ^= kOpPchg;
      return;
    case 0x001F:
      state_.operation_flags ^= kOpChg;
      return;
    case 0x0020:
      state_.operation_flags ^= kOpDsg;
      return;
    case 0x0022:
      state_.manufacturing_status ^= kMfgFetEn;
      return;
    case 0x0023:
      state_.manufacturing_status ^= kMfgLfEn;
      return;
    case 0x0024:
      state_.manufacturing_status ^= kMfgPfEn;
      return;
    case 0x0026:
      state_.manufacturing_status ^= kMfgFuseEn;
      return;
    case 0x0028: {  // LT_RESET: the lifetime records start again from zero
      const SubclassPlace lifetime = *FindSubclassPlace(0x34);
      state_.memory.WriteSubclass(lifetime, 0, common::Bytes(lifetime.length, 0));
      return;
    }
    case 0x0029:  // PF_CLEAR
      state_.pf_status = 0;
      state_.safety_status = 0;
      return;
    default:
      return;
  }
}

bool SimGauge::Authenticate(common::ByteView data) {
  constexpr std::size_t kChallengeLength = 20;
  constexpr std::size_t kKeyLength = 16;
  const bool key_change = data.size() == kKeyLength && key_change_armed_;
  key_change_armed_ = false;
  if (data.size() == kChallengeLength) {
    auto response = GaugeAuthResponse(state_.auth_key, data);
    if (!response) return false;
    state_.auth_response = *response;
    return true;
  }
  if (!key_change || Sealed()) return false;
  const AuthKey key = KeyFromWire(data);
  // The answer to an all-zero challenge under the new key lets the host confirm the change.
  auto response = GaugeAuthResponse(key, common::Bytes(kChallengeLength, 0));
  if (!response) return false;
  state_.auth_key = key;
  state_.auth_response = *response;
  return true;
}

bool SimGauge::WriteManufacturerInfo(common::ByteView data) {
  if (Sealed() || data.empty()) return false;
  common::Bytes stored{static_cast<std::uint8_t>(data.size())};
  stored.insert(stored.end(), data.begin(), data.end());
  return state_.memory.WriteSubclass(*FindSubclassPlace(kManufacturerInfoSubclass), 0, stored);
}

void SimGauge::RecordCalibration(std::uint8_t command, common::ByteView data) {
  state_.calibrations.push_back(
      {command, common::Bytes(data.begin(), data.end()), clock_.Now().count()});
}

void SimGauge::ApplyCalibration(std::uint16_t flags) {
  constexpr std::uint16_t kCells = 0x10;
  constexpr std::uint16_t kBoardOffset = 0x20;
  constexpr std::uint16_t kCurrent = 0x40;
  UpdateMeasurements();
  for (std::size_t sensor = 0; sensor < 4; ++sensor) {
    if ((flags & (1u << sensor)) != 0 && state_.calibration_sensors_dk[sensor] != 0) {
      state_.sensor_offset_dk[sensor] = static_cast<std::int16_t>(
          state_.sensor_offset_dk[sensor] + state_.calibration_sensors_dk[sensor] -
          measurements_.sensor_dk[sensor]);
    }
  }
  if ((flags & kCells) != 0) {
    for (std::size_t cell = 0; cell < 4; ++cell) {
      if (state_.calibration_cells_mv[cell] != 0) {
        state_.cell_offset_mv[cell] = static_cast<std::int16_t>(state_.cell_offset_mv[cell] +
                                                                state_.calibration_cells_mv[cell] -
                                                                measurements_.cell_mv[cell]);
      }
    }
  }
  if ((flags & kBoardOffset) != 0) state_.board_offset_ma = 0;
  if ((flags & kCurrent) != 0) {
    state_.current_offset_ma = static_cast<std::int16_t>(
        state_.current_offset_ma + state_.calibration_current_ma - measurements_.current_ma);
  }
  UpdateMeasurements();
}

// ---- inspection -----------------------------------------------------------------------------

BootLoaderState SimGauge::BootLoaderNow() const {
  BootLoaderState boot = state_.boot;
  if (BootBusy()) boot.busy_left = boot_busy_until_ - clock_.Now();
  return boot;
}

GaugeState SimGauge::State() const {
  std::lock_guard lock(mutex_);
  GaugeState state = state_;
  state.boot = BootLoaderNow();
  return state;
}

void SimGauge::Restore(GaugeState state) {
  std::lock_guard lock(mutex_);
  state_ = std::move(state);
  boot_busy_until_ = clock_.Now() + state_.boot.busy_left;
  state_.boot.busy_left = common::Millis{0};
  key_entry_.Reset();
  key_change_armed_ = false;
}

SealState SimGauge::seal_state() const {
  std::lock_guard lock(mutex_);
  return state_.seal;
}

void SimGauge::SetSealState(SealState seal) {
  std::lock_guard lock(mutex_);
  state_.seal = seal;
  key_entry_.Reset();
}

std::uint16_t SimGauge::OperationStatusWord() const {
  std::lock_guard lock(mutex_);
  return OperationStatus(state_);
}

BootLoaderState SimGauge::BootLoader() const {
  std::lock_guard lock(mutex_);
  return BootLoaderNow();
}

std::vector<CalibrationRecord> SimGauge::CalibrationRecords() const {
  std::lock_guard lock(mutex_);
  return state_.calibrations;
}

PackMeasurements SimGauge::Measurements() const {
  std::lock_guard lock(mutex_);
  UpdateMeasurements();
  return measurements_;
}

void SimGauge::SetMeasurements(const PackMeasurements& measurements) {
  std::lock_guard lock(mutex_);
  model_.Reset(measurements, clock_.Now() - start_time_);
  cycles_kept_ = 0;
  full_charges_kept_ = 0;
  state_.cell_offset_mv = {};
  state_.sensor_offset_dk = {};
  state_.current_offset_ma = 0;
  state_.board_offset_ma = 0;
  UpdateMeasurements();
}

BatteryModel::Phase SimGauge::BatteryPhase() const {
  std::lock_guard lock(mutex_);
  UpdateMeasurements();
  return model_.phase();
}

void SimGauge::RaiseSafetyAlarm(std::uint32_t safety_bits) {
  std::lock_guard lock(mutex_);
  // The model runs up to now under the old conditions before the FETs open.
  UpdateMeasurements();
  state_.safety_status |= safety_bits;
  UpdateMeasurements();
}

int SimGauge::resets() const {
  std::lock_guard lock(mutex_);
  return resets_;
}

void SimGauge::SetBootTiming(const boot::BootTiming& timing) {
  std::lock_guard lock(mutex_);
  boot_timing_ = timing;
}

void SimGauge::SetFaults(const FaultConfig& faults) {
  std::lock_guard lock(mutex_);
  faults_ = faults;
  pec_replies_ = 0;
}

}  // namespace cw::sim
