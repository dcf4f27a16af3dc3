// Contents of a freshly programmed simulated pack: a 4-cell Li-ion configuration of about
// 4800 mAh, and a firmware image. The values are what a pack maker would plausibly ship; nothing
// in the tool depends on them except where a comment says so. What each pack gets of its own
// (lifetime, learned values, calibration, serial number, date) is what the product's fresh-pack
// table (dataflash/fresh_pack.h) says a fresh pack holds: the examples' golden file is read
// from this pack and lints clean.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "sim/gauge_memory.h"

namespace cw::sim {
namespace {

// Temperatures in the data flash are tenths of a kelvin.
constexpr std::uint16_t Celsius(double degrees) {
  return static_cast<std::uint16_t>((degrees + 273.15) * 10.0);
}

class Filler {
 public:
  explicit Filler(GaugeMemory& memory) : memory_(memory) {}

  // Data-flash values are big-endian.
  void U8(std::uint8_t id, std::size_t offset, std::uint8_t value) { Put(id, offset, {value}); }
  void U16(std::uint8_t id, std::size_t offset, int value) {
    const auto raw = static_cast<std::uint16_t>(value);
    Put(id, offset, {static_cast<std::uint8_t>(raw >> 8), static_cast<std::uint8_t>(raw)});
  }
  void Words(std::uint8_t id, std::size_t offset, std::initializer_list<int> values) {
    for (int value : values) {
      U16(id, offset, value);
      offset += 2;
    }
  }
  void F32(std::uint8_t id, std::size_t offset, float value) {
    std::uint32_t raw = 0;
    std::memcpy(&raw, &value, sizeof raw);
    Put(id, offset,
        {static_cast<std::uint8_t>(raw >> 24), static_cast<std::uint8_t>(raw >> 16),
         static_cast<std::uint8_t>(raw >> 8), static_cast<std::uint8_t>(raw)});
  }
  // Counted string: length byte, then the characters.
  void Text(std::uint8_t id, std::size_t offset, std::string_view text) {
    common::Bytes bytes{static_cast<std::uint8_t>(text.size())};
    bytes.insert(bytes.end(), text.begin(), text.end());
    Put(id, offset, bytes);
  }
  // Tables of the gauging algorithm whose exact values do not matter to the tool: a smooth ramp
  // of big-endian words after an optional flag byte.
  void Ramp(std::uint8_t id, int start, int step, bool flag_byte) {
    const auto place = FindSubclassPlace(id);
    std::size_t offset = 0;
    if (flag_byte) U8(id, offset++, 0x55);
    for (int value = start; offset + 2 <= place->length; offset += 2, value += step) {
      U16(id, offset, value);
    }
    if (offset < place->length) U8(id, offset, 0x00);
  }

 private:
  void Put(std::uint8_t id, std::size_t offset, const common::Bytes& bytes) {
    memory_.WriteSubclass(*FindSubclassPlace(id), offset, bytes);
  }

  GaugeMemory& memory_;
};

void FillProtections(Filler& f) {
  // Cell over-voltage per temperature range, threshold and recovery, then CUV.
  f.Words(0x00, 0, {4200, 4100, 4250, 4150, 4300, 4200, 4250, 4150, 4200, 4100});
  f.U8(0x00, 20, 2);
  f.U16(0x00, 21, 2500);
  f.U8(0x00, 23, 2);
  f.U16(0x00, 24, 3000);
  // Over-current in charge and discharge (discharge thresholds are negative).
  f.U16(0x01, 0, 6000);
  f.U8(0x01, 2, 6);
  f.U16(0x01, 3, 8000);
  f.U8(0x01, 5, 3);
  f.U16(0x01, 6, -200);
  f.U8(0x01, 8, 5);
  f.U16(0x01, 9, -8000);
  f.U8(0x01, 11, 6);
  f.U16(0x01, 12, -10000);
  f.U8(0x01, 14, 3);
  f.U16(0x01, 15, 200);
  f.U8(0x01, 17, 5);
  const std::pair<int, int> afe_settings[] = {{18, 0x12}, {19, 0x0F}, {20, 0x77}, {21, 0x77}};
  for (auto [offset, value] : afe_settings) f.U8(0x01, offset, static_cast<std::uint8_t>(value));
  for (int offset : {22, 23, 24}) f.U8(0x01, offset, 5);
  // Temperature protections.
  const std::pair<int, double> temperatures[] = {{0, 55.0},   {3, 50.0},  {5, 60.0}, {8, 55.0},
                                                 {10, 80.0},  {13, 65.0}, {15, 0.0}, {18, 5.0},
                                                 {20, -20.0}, {23, -15.0}};
  for (auto [offset, degrees] : temperatures) f.U16(0x02, offset, Celsius(degrees));
  for (int offset : {2, 7, 12, 17, 22}) f.U8(0x02, offset, 2);
  // Pre-charge over-current.
  f.U16(0x03, 0, 500);
  f.U8(0x03, 2, 2);
  f.U16(0x03, 3, 400);
  f.U8(0x03, 5, 5);
  // Second-level safety.
  f.U16(0x10, 0, 4500);
  f.U8(0x10, 2, 5);
  f.U16(0x10, 3, 2000);
  f.U8(0x10, 5, 5);
  f.U16(0x10, 6, 3500);
  f.U8(0x10, 8, 10);
  f.U16(0x10, 9, 1000);
  f.U8(0x10, 11, 5);
  f.U16(0x10, 12, 1800);
  f.U8(0x10, 14, 0);
  f.U16(0x11, 0, 10000);
  f.U8(0x11, 2, 5);
  f.U16(0x11, 3, -16000);
  f.U8(0x11, 5, 5);
  f.U16(0x12, 0, Celsius(75.0));
  f.U8(0x12, 2, 5);
  f.U16(0x12, 3, Celsius(95.0));
  f.U8(0x12, 5, 5);
  f.U8(0x12, 6, 5);
  f.U16(0x13, 0, 20);
  f.U8(0x13, 2, 2);
  f.U16(0x13, 3, -20);
  f.U8(0x13, 5, 2);
  f.U8(0x14, 0, 10);
  f.U8(0x17, 0, 50);
  f.U16(0x17, 1, 1000);
  f.U16(0x18, 0, 20);
  f.U8(0x18, 2, 5);
}

void FillChargeAndSystem(Filler& f) {
  f.U16(0x24, 0, 150);
  f.U16(0x24, 2, 16600);
  f.U8(0x24, 4, 95);
  f.U8(0x24, 5, 98);
  f.U16(0x25, 0, 1750);
  // Configuration: alarms, SBS identity and capacity. The SBS registers 0x18-0x1C and the name
  // strings are read from here, so an edit shows up in the scan.
  // A fresh pack: no manufacture date yet (the field's first day, 1980-1-1; a line writes its
  // own), the gauge's own serial number, no cycles.
  f.Words(0x30, 0, {300, 432, 10, 0x6001, 0x0070, 14400, 0x0031});
  f.U16(0x30, 14, 1 * 32 + 1);
  f.Words(0x30, 16, {0x0001, 0});
  f.U8(0x30, 20, 80);
  f.U8(0x30, 21, 100);
  f.Words(0x30, 22, {4800, 6912});
  f.Text(0x30, 26, "LION");
  f.Text(0x30, 31, "Quillmarsh");
  f.Text(0x30, 52, "KT580714");
  f.U8(0x31, 0, 6);
  f.U8(0x31, 1, 8);
  f.U8(0x31, 2, 2);
  f.U8(0x31, 3, 5);
  f.Words(0x31, 4, {3200, 3300});
  f.U8(0x33, 0, 20);
  f.U8(0x33, 1, 40);
  f.Words(0x33, 2, {30, 20});
  // The lifetime records (0x34) start at zero: a fresh pack has not run.
  f.U8(0x3A, 0, 32);
  const std::string_view info = "Simulated 4S1P Li-ion pack, rev1";
  for (std::size_t i = 0; i < info.size(); ++i) {
    f.U8(0x3A, 1 + i, static_cast<std::uint8_t>(info[i]));
  }
  // Operation Cfg A bits 8-9 = 0x300: four cells (calibration reads this).
  f.Words(0x40, 0, {0x0310, 0x0048, 0x0000, 0x00FF, 0x000F, 0x0000, 0x0000, 0x0000, 0x0000, 8000});
  f.U8(0x40, 20, 20);
  f.Words(0x44, 0, {7500, 10000});
  f.U8(0x44, 4, 10);
  f.Words(0x44, 5, {3000, 10});
  f.U8(0x44, 9, 5);
  f.U8(0x44, 10, 0x01);
  f.U16(0x44, 11, 12000);
  f.U8(0x4F, 0, 1);
  f.U8(0x4F, 1, 0);
  f.Words(0x51, 0, {100, 50, 10});
  f.U8(0x51, 6, 1);
  f.U8(0x51, 7, 60);
  // Nothing learned yet: the cells' capacities are the design capacity, FG Status is clear and
  // no cycle has passed since (the gauge learns over full charges as it runs).
  f.Words(0x52, 0, {4800, 4800, 4800, 4800});
  f.U8(0x52, 8, 0x00);
  f.Words(0x54, 0, {0, 4190, 4192, 4188, 4191, 150, 16760, -2400, -3500, 201, 50, 1000});
  // The gauge's nominal gains, no offsets: not calibrated.
  f.F32(0x68, 0, 1.0F);
  f.Words(0x68, 4, {0xF852, 0xF852, 0xF852, 0xF852, 0x4A3D, 0});
  f.U8(0x6B, 0, 3);
  f.U8(0x6B, 1, 0x01);
  f.U8(0x6C, 0, 0x00);
  f.Words(0x6C, 1, {3420, 4500, 4925, 6480});
}

void FillAlgorithmArea(Filler& f) {
  // JEITA temperatures, then charge voltage and currents per temperature range.
  f.Words(0x22, 0,
          {Celsius(0.0), Celsius(10.0), Celsius(15.0), Celsius(40.0), Celsius(45.0), Celsius(55.0),
           10});
  f.Words(0x22, 14, {4000, 1000, 800,  600,  4200,  2000,  1600,  1200, 4200, 2400, 2000, 1600,
                     4200, 2000, 1600, 1200, 4000,  1000,  800,   600,  250,  2000, 3000, 2900,
                     3600, 4000, 100,  8760, 17520, 26280, 35040, 300,  500,  700,  900});
  for (std::size_t offset = 84; offset < 88; ++offset) {
    f.U8(0x22, offset, static_cast<std::uint8_t>(95 - 5 * (offset - 84)));
  }
  for (std::size_t offset = 88; offset < 92; ++offset) {
    f.U8(0x22, offset, static_cast<std::uint8_t>(90 - 10 * (offset - 88)));
  }
  f.Words(0x22, 92, {4150, 4100, 4050, 4000, 150, 4100, 100, 50});
  f.U8(0x22, 108, 30);
  f.U8(0x22, 109, 24);
  f.Words(0x22, 110, {Celsius(45.0), Celsius(60.0), 168, 336, 720, 4100, 4050, 4000});
  f.U8(0x22, 126, 50);
  f.U8(0x22, 127, 100);
  f.U8(0x22, 128, 150);
  f.Ramp(0x50, 120, 3, false);
  f.Ramp(0x53, 2600, 7, false);
  f.Ramp(0x57, 100, 11, false);
  f.Ramp(0x58, 60, 9, true);
  f.Ramp(0x59, 62, 9, true);
  f.Ramp(0x5A, 58, 9, true);
  f.Ramp(0x5B, 61, 9, true);
  for (std::uint8_t id : {0x5C, 0x5D, 0x5E, 0x5F}) f.U8(id, 0, 0x01);
}

void FillFailureRecord(Filler& f) {
  // A pack that has never failed: no flags, the last readings of a healthy pack at rest.
  f.Words(0x60, 0, {0x0000, 0x0000, 0x0000, 0x0000, 3800, 3801, 3799, 3800, 15200, 0});
  for (int offset : {20, 22, 24, 26}) f.U16(0x60, offset, Celsius(25.0));
}

void FillCode(GaugeMemory& memory, const common::ProductConstants& constants) {
  // The firmware proper: any fixed, non-trivial bytes do (a linear congruential sequence).
  std::uint32_t state = 0x2468ACE1;
  for (std::uint32_t address = 0; address < 0xF800; ++address) {
    state = state * 1103515245U + 12345U;
    memory.code[address] = static_cast<std::uint8_t>(state >> 16);
  }
  // The boot loader, and the two bytes at its end that firmware records copy to 0xF7CE.
  for (std::uint32_t address = GaugeMemory::kBootLoaderStart; address < 0x10000; ++address) {
    memory.code[address] = static_cast<std::uint8_t>(address * 7 + 3);
  }
  memory.code[0xF7CE] = memory.code[0xFFFE];
  memory.code[0xF7CF] = memory.code[0xFFFF];
  for (std::uint32_t address : {0xFADDU, 0x0780U}) {
    std::copy(constants.programming_stub.begin(), constants.programming_stub.end(),
              memory.code.begin() + address);
  }
}

}  // namespace

GaugeMemory DefaultGaugeMemory(const common::ProductConstants& constants) {
  GaugeMemory memory;
  FillCode(memory, constants);
  Filler filler(memory);
  FillProtections(filler);
  FillChargeAndSystem(filler);
  FillFailureRecord(filler);
  FillAlgorithmArea(filler);
  // The boot loader keeps a copy of the live constants in the upper half.
  std::copy(memory.data.begin(), memory.data.begin() + 0x400, memory.data.begin() + 0x400);
  return memory;
}

}  // namespace cw::sim
