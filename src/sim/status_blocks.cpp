#include "sim/status_blocks.h"

#include <fmt/format.h>

#include <algorithm>

namespace cw::sim {
namespace {

class BlockWriter {
 public:
  BlockWriter& Word(int value) {
    const auto raw = static_cast<std::uint16_t>(value);
    bytes_.push_back(static_cast<std::uint8_t>(raw & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(raw >> 8));
    return *this;
  }
  BlockWriter& Long(std::uint32_t value) {
    return Word(static_cast<int>(value & 0xFFFF)).Word(static_cast<int>(value >> 16));
  }
  BlockWriter& Byte(int value) {
    bytes_.push_back(static_cast<std::uint8_t>(value));
    return *this;
  }
  // Pads (or cuts) to exactly `length` bytes.
  common::Bytes Finish(std::size_t length) {
    bytes_.resize(length, 0);
    return std::move(bytes_);
  }

 private:
  common::Bytes bytes_;
};

// Big-endian word of a data-flash subclass (status blocks report some stored values).
int FlashWord(const GaugeState& state, std::uint8_t id, std::size_t offset) {
  const auto bytes = state.memory.ReadSubclass(*FindSubclassPlace(id), offset, 2);
  return static_cast<std::int16_t>(((*bytes)[0] << 8) | (*bytes)[1]);
}
int FlashByte(const GaugeState& state, std::uint8_t id, std::size_t offset) {
  return (*state.memory.ReadSubclass(*FindSubclassPlace(id), offset, 1))[0];
}
common::Bytes FlashBytes(const GaugeState& state, std::uint8_t id, std::size_t offset,
                         std::size_t count) {
  return *state.memory.ReadSubclass(*FindSubclassPlace(id), offset, count);
}

// A 16-bit sum over the given subclass rows: the "signature" a production line compares.
int Signature(const GaugeState& state, std::size_t first_row, std::size_t end_row) {
  std::uint16_t sum = 0;
  for (std::size_t row = first_row; row < end_row; ++row) {
    const SubclassPlace& place = kSubclassPlaces[row];
    for (std::uint8_t byte : FlashBytes(state, place.id, 0, place.length)) {
      sum = static_cast<std::uint16_t>(sum + byte);
    }
  }
  return sum;
}

common::Bytes CellVoltages(const PackMeasurements& m) {
  BlockWriter block;
  for (std::uint16_t cell : m.cell_mv) block.Word(cell);
  return block.Word(m.PackVoltage() - 12).Word(m.PackVoltage()).Word(m.current_ma).Finish(14);
}

common::Bytes Temperatures(const PackMeasurements& m) {
  BlockWriter block;
  for (std::uint16_t sensor : m.sensor_dk) block.Word(sensor);
  return block.Word(m.cell_temperature_dk).Word(m.fet_temperature_dk).Finish(12);
}

common::Bytes GaugingStatus(const PackMeasurements& m) {
  BlockWriter block;
  block.Word(0x0003).Word(0x000E).Word(m.cell_temperature_dk - 2731).Word(m.average_current_ma);
  for (int cell = 0; cell < 4; ++cell) block.Word(1000 + 3 * cell);
  for (int cell = 0; cell < 4; ++cell) block.Word(9800 + 10 * cell);
  for (int cell = 0; cell < 4; ++cell) block.Word(300 - 5 * cell);
  return block.Finish(32);
}

common::Bytes RunData(const PackMeasurements& m, common::Millis run_time) {
  const auto seconds = run_time.count() / 1000;
  BlockWriter block;
  block.Word(0).Word(0).Word(static_cast<int>(seconds / 3600));
  block.Word(static_cast<int>(seconds % 65536));
  const int passed_charge = m.full_charge_capacity_mah - m.remaining_capacity_mah;
  block.Word(-passed_charge).Word(-passed_charge * 148 / 100).Word(4480).Word(6630);
  for (int cell = 0; cell < 4; ++cell) block.Word(9950 - 7 * cell);
  return block.Word(m.remaining_capacity_mah).Word(12).Finish(32);
}

common::Bytes ModelData(const GaugeState& state) {
  BlockWriter block;
  for (std::size_t cell = 0; cell < 4; ++cell) block.Word(FlashWord(state, 0x52, 2 * cell));
  block.Byte(FlashByte(state, 0x52, 8)).Byte(0x01).Word(120).Word(FlashWord(state, 0x54, 0));
  for (std::size_t cell = 0; cell < 4; ++cell) block.Word(FlashWord(state, 0x54, 2 + 2 * cell));
  block.Word(FlashWord(state, 0x54, 10)).Word(FlashWord(state, 0x54, 14));
  block.Word(FlashWord(state, 0x54, 16));
  for (int cell = 0; cell < 4; ++cell) block.Byte(0x11);
  return block.Finish(32);
}

common::Bytes CapacityData(const PackMeasurements& m) {
  const int rc = m.remaining_capacity_mah;
  const int fcc = m.full_charge_capacity_mah;
  const auto energy = [&](int mah) { return mah * m.PackVoltage() / 10000; };
  BlockWriter block;
  block.Word(rc).Word(fcc).Word(energy(rc)).Word(energy(fcc));
  block.Word(rc - 20).Word(fcc - 20).Word(energy(rc - 20)).Word(energy(fcc - 20));
  block.Word(rc + 6).Word(fcc + 4).Word(energy(rc + 6)).Word(energy(fcc + 4));
  return block.Word(fcc * m.state_of_health / 100)
      .Word(energy(fcc) * m.state_of_health / 100)
      .Finish(32);
}

common::Bytes DebugText(const PackMeasurements& m) {
  std::string text =
      fmt::format("SIM RSOC{:3d}% {:5d}mV {:+5d}mA", m.relative_soc, m.PackVoltage(), m.current_ma);
  text.resize(32, ' ');
  return common::Bytes(text.begin(), text.end());
}

common::Bytes ManufacturerInfo(const GaugeState& state) {
  const std::size_t length = std::min(FlashByte(state, 0x3A, 0), 32);
  return FlashBytes(state, 0x3A, 1, length);
}

}  // namespace

common::Bytes SubcommandData(std::uint16_t code, const GaugeState& state, const PackMeasurements& m,
                             common::Millis run_time) {
  switch (code) {
    case 0x0001:
      return BlockWriter().Word(0x0714).Finish(2);  // device type
    case 0x0002:
      return BlockWriter().Word(0x0102).Finish(2);  // firmware version
    case 0x0003:
      return BlockWriter().Word(0x00A2).Finish(2);  // hardware version
    case 0x0004:
      return BlockWriter().Word(0x0017).Finish(2);  // firmware build
    case 0x0005:
      return BlockWriter().Word(0x0001).Finish(2);  // data-flash layout version
    case 0x0006:
      return BlockWriter().Word(0x0361).Finish(2);  // chemistry id
    case 0x0008:
      return BlockWriter().Word(Signature(state, 0, 29)).Finish(2);
    case 0x0009:
      return BlockWriter().Word(Signature(state, 0, 40)).Finish(2);
    case 0x0035:
      // The keys themselves: only a fully opened gauge tells them.
      if (state.seal != SealState::kFullAccess) return {};
      return BlockWriter().Long(state.unseal_key).Long(state.full_access_key).Finish(8);
    case 0x0051:
      return BlockWriter().Long(state.safety_status).Finish(4);
    case 0x0053:
      return BlockWriter().Long(state.pf_status).Finish(4);
    case 0x0054:
      return BlockWriter().Word(OperationStatus(state)).Finish(2);
    case 0x0055:
      return BlockWriter().Byte(m.temp_range).Word(m.charging_status).Finish(3);
    case 0x0057:
      return BlockWriter().Word(state.manufacturing_status).Finish(2);
    case 0x0058: {
      BlockWriter block;
      for (std::size_t cell = 0; cell < 4; ++cell) block.Word(FlashWord(state, 0x34, 8 + 2 * cell));
      return block.Byte(FlashByte(state, 0x34, 34))
          .Byte(FlashByte(state, 0x34, 35))
          .Byte(FlashByte(state, 0x34, 37))
          .Finish(11);
    }
    case 0x0060:
      return FlashBytes(state, 0x34, 0, 30);
    case 0x0061:
      return FlashBytes(state, 0x34, 30, 32);
    case 0x0062:
      return FlashBytes(state, 0x34, 62, 20);
    case 0x0070:
      return ManufacturerInfo(state);
    case 0x0071:
      return CellVoltages(m);
    case 0x0072:
      return Temperatures(m);
    case 0x0073:
      return GaugingStatus(m);
    case 0x0074:
      return RunData(m, run_time);
    case 0x0075:
      return ModelData(state);
    case 0x0078:
      return CapacityData(m);
    case 0x0079:
      return DebugText(m);
    default:
      return {};
  }
}

std::optional<common::Bytes> DirectStatusBlock(std::uint8_t command, const GaugeState& state,
                                               const PackMeasurements& m, common::Millis run_time) {
  switch (command) {
    case 0x51:
    case 0x53:
    case 0x54:
    case 0x55:
    case 0x57:
    case 0x58:
    case 0x60:
    case 0x61:
    case 0x62:
    case 0x70:
    case 0x71:
    case 0x72:
    case 0x73:
    case 0x74:
    case 0x75:
      return SubcommandData(command, state, m, run_time);
    default:
      return std::nullopt;
  }
}

}  // namespace cw::sim
