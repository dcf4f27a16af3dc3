#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The ten status-bit displays of the SBS page: which register each shows, its title and the
// name of every bit cell, bit 15 first (upper row bits 15-8, lower row bits 7-0).
namespace cw::monitor {

// Which 16 bits of the source row a display shows.
enum class WordHalf : std::uint8_t { kWhole, kLow, kHigh };

struct StatusDisplayDef {
  int control_id;
  std::string_view title;
  std::string_view source_row;  // register row whose value the display shows
  WordHalf half;
  std::array<std::string_view, 16> bits;  // bit 15 first; "RSVD" = reserved
};

struct CellColours {
  std::uint32_t set = 0xFF8080;       // light red
  std::uint32_t clear = 0x00BF7F;     // green
  std::uint32_t not_read = 0xCFCFCF;  // grey
  std::uint32_t background = 0xE0E0E0;
};
inline constexpr CellColours kCellColours{};

// Cell geometry in pixels of the 356 x 49 display picture.
inline constexpr int kCellWidth = 44;
inline constexpr int kCellHeight = 16;
inline constexpr std::array<int, 8> kCellX = {0, 44, 89, 133, 178, 222, 267, 311};
inline constexpr int kUpperRowY = 15;
inline constexpr int kLowerRowY = 32;

inline constexpr std::array<StatusDisplayDef, 10> kStatusDisplays = {{
    {1129,
     "Battery Status",
     "Battery Status",
     WordHalf::kWhole,
     {"OCA", "TCA", "RSVD", "OTA", "TDA", "CIM", "RCA", "RTA",  //
      "INIT", "DSG", "FC", "FD", "RSVD", "RSVD", "RSVD", "RSVD"}},
    {1133,
     "Battery Mode",
     "Battery Mode",
     WordHalf::kWhole,
     {"CapM", "ChgM", "AM", "RSVD", "RSVD", "RSVD", "PB", "CC",  //
      "CF", "RSVD", "WI", "RSVD", "RSVD", "GB", "PBS", "ICC"}},
    {1134,
     "Safety status L",
     "Safety Status",
     WordHalf::kLow,
     {"RSVD", "RSVD", "OTD", "OTC", "RSVD", "SCD", "RSVD", "SCC",  //
      "RSVD", "AOCD", "OCD2", "OCD1", "OCC2", "OCC1", "COV", "CUV"}},
    {1130,
     "Safety status H",
     "Safety Status",
     WordHalf::kHigh,
     {"RSVD", "RSVD", "RSVD", "RSVD", "UTD", "UTC", "OCPC", "RSVD",  //
      "RSVD", "OC", "RSVD", "RSVD", "RSVD", "RSVD", "WDF", "OTF"}},
    {1132,
     "PF status L",
     "PF Status",
     WordHalf::kLow,
     {"RSVD", "RSVD", "RSVD", "RSVD", "CIM", "OWB", "RSVD", "RSVD",  //
      "RSVD", "SOTF", "RSVD", "SOTC", "SOCD", "SOCC", "SOV", "SUV"}},
    {1139,
     "PF status H",
     "PF Status",
     WordHalf::kHigh,
     {"TS4", "TS3", "TS2", "TS1", "RSVD", "DFF", "RSVD", "IFC",  //
      "RSVD", "PFIN", "AFEC", "AFER", "FUSE", "RSVD", "DFETF", "CFETF"}},
    {1127,
     "Operation Status",
     "Operation Status",
     WordHalf::kWhole,
     {"FAS", "SS", "PF", "SDM", "RSVD", "RSVD", "RSVD", "SDV",  //
      "WAKE", "FUSE", "XDSG", "XCHG", "PCHG", "CHG", "DSG", "PRES"}},
    {1131,
     "Charging Status",
     "Charging Status",
     WordHalf::kWhole,
     {"RSVD", "RSVD", "RSVD", "RSVD", "CB", "CCC", "RSVD", "RSVD",  //
      "RSVD", "MCHG", "CHGSU", "CHGIN", "HV", "MV", "LV", "PV"}},
    {1135,
     "Temperature Rang",
     "Temp Range",
     WordHalf::kWhole,
     {"RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD",  //
      "RSVD", "OT", "HT", "STH", "RT", "STL", "LT", "UT"}},
    {1138,
     "Manufacturing Status",
     "Manufacturing Status",
     WordHalf::kWhole,
     {"RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "FUSE_EN",  //
      "RSVD", "PF_EN", "LF_EN", "FET_EN", "RSVD", "DSG_T", "CHG_T", "PCHG_T"}},
}};

// Layout: two columns of five, top to bottom.
inline constexpr int kLeftColumnX = 18;
inline constexpr int kRightColumnX = 245;
inline constexpr std::array<int, 5> kDisplayRowY = {189, 217, 245, 273, 301};
inline constexpr std::array<int, 5> kLeftColumn = {1129, 1135, 1134, 1132, 1138};
inline constexpr std::array<int, 5> kRightColumn = {1127, 1131, 1130, 1139, 1133};

}  // namespace cw::monitor
