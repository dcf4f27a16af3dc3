#include "dataflash/bit_view.h"

#include <algorithm>

#include "common/bytes.h"
#include "dataflash/param_codec.h"

namespace cw::dataflash {
namespace {

using Names = std::array<std::string_view, 16>;  // bit 15 first

// clang-format off
constexpr Names kOperationCfgA = {
    "SLEEP", "LEDR", "DMODE", "SLEEPCHG", "PF_EN", "RSVD", "CC1", "CC0",
    "CHGFET", "DSGFET", "TS1EN", "TS2EN", "TS3EN", "TS4EN", "ZVCHG", "FUSE_EN"};
constexpr Names kOperationCfgB = {
    "LEDON", "HPE", "CPE", "SMBLED", "CHGIN_SLP", "RSOCL", "RSVD", "FCHG",
    "FULLSLEEP", "CSYNC", "CHGTERM", "CAPM", "CR", "SMB_TIMEOUT", "SE", "BCAST"};
constexpr Names kOperationCfgC = {
    "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "IATA", "SOH",
    "SMOOTH", "RSOCK", "CCT", "LFP", "TDELTA", "CMF", "LS_EN", "SM_EN"};
// Protection: the Safety Status bits each enables.
constexpr Names kProtectionCfgA = {
    "RSVD", "RSVD", "OTD", "OTC", "RSVD", "SCD", "RSVD", "SCC",
    "RSVD", "AOCD", "OCD2", "OCD1", "OCC2", "OCC1", "COV", "CUV"};
constexpr Names kProtectionCfgB = {
    "RSVD", "RSVD", "RSVD", "RSVD", "UTD", "UTC", "OCPC", "RSVD",
    "RSVD", "OC", "RSVD", "RSVD", "RSVD", "RSVD", "WDF", "OTF"};
// Permanent failures: the PF Status bits, for enabling, blowing the fuse and the recorded flags.
constexpr Names kPfLow = {
    "RSVD", "RSVD", "RSVD", "RSVD", "CIM", "OWB", "RSVD", "RSVD",
    "RSVD", "SOTF", "RSVD", "SOTC", "SOCD", "SOCC", "SOV", "SUV"};
constexpr Names kPfHigh = {
    "TS4", "TS3", "TS2", "TS1", "RSVD", "DFF", "RSVD", "IFC",
    "RSVD", "PFIN", "AFEC", "AFER", "FUSE", "RSVD", "DFETF", "CFETF"};
constexpr Names kPf2Low = {
    "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "DFW", "IFC2",
    "RSVD", "OPNC", "RSVD", "SOTD", "RSVD", "TOSF", "VIMA", "VIMR"};
constexpr Names kPf2High = {
    "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD",
    "RSVD", "RSVD", "RSVD", "2LVL", "AFE_P", "AFE_C", "RSVD", "RSVD"};
constexpr Names kWakeCurrent = {
    "", "", "", "", "", "", "", "",
    "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "IWAKE", "RSNS1", "RSNS0"};
constexpr Names kCcDeadband = {
    "", "", "", "", "", "", "", "",
    "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "DB1", "DB0"};
// clang-format on

struct RegisterBits {
  std::string_view name;
  const Names* bits;
};

constexpr std::array<RegisterBits, kFlagRegisters.size()> kRegisterBits = {{
    {"Operation Cfg A", &kOperationCfgA},
    {"Operation Cfg B", &kOperationCfgB},
    {"Operation Cfg C", &kOperationCfgC},
    {"Protection Cfg A", &kProtectionCfgA},
    {"Protection Cfg B", &kProtectionCfgB},
    {"PF Enable Cfg A", &kPfLow},
    {"PF Enable Cfg B", &kPfHigh},
    {"FuseBlow Cfg A", &kPfLow},
    {"FuseBlow Cfg B", &kPfHigh},
    {"PF Flags 1 High", &kPfHigh},
    {"PF Flags 1 Low", &kPfLow},
    {"PF Flags 2 High", &kPf2High},
    {"PF Flags 2 Low", &kPf2Low},
    {"Wake Current Reg", &kWakeCurrent},
    {"CC Deadband Reg", &kCcDeadband},
}};

}  // namespace

int BitCount(const FlagRegister& flag) { return flag.wide ? 16 : 8; }

std::vector<BitCell> BitCells(const FlagRegister& flag) {
  const int count = BitCount(flag);
  std::vector<BitCell> cells;
  int left = std::max(0, flag.edges[0] - kBitCellWidth);
  for (int i = 0; i < count; ++i) {
    const int right = flag.edges[static_cast<std::size_t>(i)];
    cells.push_back({count - 1 - i, left, right});
    left = right;
  }
  return cells;
}

std::optional<int> BitAt(const FlagRegister& flag, int x) { return BitAt(BitCells(flag), x); }

std::optional<int> BitAt(std::span<const BitCell> cells, int x) {
  for (const BitCell& cell : cells) {
    if (x >= cell.left && x < cell.right) return cell.bit;
  }
  return std::nullopt;
}

std::vector<BitCell> FitBitCells(const FlagRegister& flag, int width, std::span<const int> least) {
  std::vector<BitCell> cells = BitCells(flag);
  const std::size_t count = cells.size();
  const auto least_of = [&](std::size_t i) { return i < least.size() ? std::max(least[i], 0) : 0; };
  int needed = 0;
  for (std::size_t i = 0; i < count; ++i) needed += least_of(i);
  const int total = std::max(width * cells.back().right / kWidestBitView, needed);
  // Cells whose share would be narrower than their name take what it needs; the rest share what
  // is left in their picture's proportions. Each round fixes at least one cell or ends.
  std::vector<bool> fixed(count, false);
  while (true) {
    int free_width = total;
    int free_picture = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (fixed[i]) {
        free_width -= least_of(i);
      } else {
        free_picture += cells[i].right - cells[i].left;
      }
    }
    bool changed = false;
    for (std::size_t i = 0; i < count && free_picture > 0; ++i) {
      if (!fixed[i] && free_width * (cells[i].right - cells[i].left) / free_picture < least_of(i)) {
        fixed[i] = true;
        changed = true;
      }
    }
    if (changed) continue;
    // The widths, the rounding left over going to the last free cell.
    int left = 0;
    int shared = 0;
    std::optional<std::size_t> last_free;
    for (std::size_t i = 0; i < count; ++i) {
      if (!fixed[i]) last_free = i;
    }
    for (std::size_t i = 0; i < count; ++i) {
      int cell_width = least_of(i);
      if (!fixed[i]) {
        cell_width = i == last_free ? free_width - shared
                                    : free_width * (cells[i].right - cells[i].left) / free_picture;
        shared += cell_width;
      }
      cells[i].left = left;
      cells[i].right = left + cell_width;
      left = cells[i].right;
    }
    return cells;
  }
}

std::string_view BitName(const FlagRegister& flag, int bit) {
  if (bit < 0 || bit >= BitCount(flag)) return {};
  for (const RegisterBits& entry : kRegisterBits) {
    if (entry.name == flag.name) return (*entry.bits)[static_cast<std::size_t>(15 - bit)];
  }
  return {};
}

std::optional<FlagRegister> FindBitView(std::uint16_t bit_view_id) {
  for (const FlagRegister& flag : kFlagRegisters) {
    if (flag.bit_view_id == bit_view_id) return flag;
  }
  return std::nullopt;
}

std::string FlagValueText(const ParamDef& row, std::uint32_t value) {
  const std::size_t size = RawSize(row);
  common::Bytes raw(size);
  for (std::size_t i = 0; i < size; ++i) {
    raw[size - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
  ParamValue decoded;
  DecodeParam(row, raw, decoded);
  return decoded.text;
}

}  // namespace cw::dataflash
