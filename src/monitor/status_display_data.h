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
  std::string_view title;
  std::string_view source_row;  // register row whose value the display shows
  WordHalf half;
  std::array<std::string_view, 16> bits;  // bit 15 first; "RSVD" = reserved
};

inline constexpr std::array<StatusDisplayDef, 10> kStatusDisplays = {{
    {"Battery Status",
     "Battery Status",
     WordHalf::kWhole,
     {"OCA", "TCA", "RSVD", "OTA", "TDA", "CIM", "RCA", "RTA",  //
      "INIT", "DSG", "FC", "FD", "RSVD", "RSVD", "RSVD", "RSVD"}},
    {"Battery Mode",
     "Battery Mode",
     WordHalf::kWhole,
     {"CapM", "ChgM", "AM", "RSVD", "RSVD", "RSVD", "PB", "CC",  //
      "CF", "RSVD", "WI", "RSVD", "RSVD", "GB", "PBS", "ICC"}},
    {"Safety status L",
     "Safety Status",
     WordHalf::kLow,
     {"RSVD", "RSVD", "OTD", "OTC", "RSVD", "SCD", "RSVD", "SCC",  //
      "RSVD", "AOCD", "OCD2", "OCD1", "OCC2", "OCC1", "COV", "CUV"}},
    {"Safety status H",
     "Safety Status",
     WordHalf::kHigh,
     {"RSVD", "RSVD", "RSVD", "RSVD", "UTD", "UTC", "OCPC", "RSVD",  //
      "RSVD", "OC", "RSVD", "RSVD", "RSVD", "RSVD", "WDF", "OTF"}},
    {"PF status L",
     "PF Status",
     WordHalf::kLow,
     {"RSVD", "RSVD", "RSVD", "RSVD", "CIM", "OWB", "RSVD", "RSVD",  //
      "RSVD", "SOTF", "RSVD", "SOTC", "SOCD", "SOCC", "SOV", "SUV"}},
    {"PF status H",
     "PF Status",
     WordHalf::kHigh,
     {"TS4", "TS3", "TS2", "TS1", "RSVD", "DFF", "RSVD", "IFC",  //
      "RSVD", "PFIN", "AFEC", "AFER", "FUSE", "RSVD", "DFETF", "CFETF"}},
    {"Operation Status",
     "Operation Status",
     WordHalf::kWhole,
     {"FAS", "SS", "PF", "SDM", "RSVD", "RSVD", "RSVD", "SDV",  //
      "WAKE", "FUSE", "XDSG", "XCHG", "PCHG", "CHG", "DSG", "PRES"}},
    {"Charging Status",
     "Charging Status",
     WordHalf::kWhole,
     {"RSVD", "RSVD", "RSVD", "RSVD", "CB", "CCC", "RSVD", "RSVD",  //
      "RSVD", "MCHG", "CHGSU", "CHGIN", "HV", "MV", "LV", "PV"}},
    {"Temperature Rang",
     "Temp Range",
     WordHalf::kWhole,
     {"RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD",  //
      "RSVD", "OT", "HT", "STH", "RT", "STL", "LT", "UT"}},
    {"Manufacturing Status",
     "Manufacturing Status",
     WordHalf::kWhole,
     {"RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "RSVD", "FUSE_EN",  //
      "RSVD", "PF_EN", "LF_EN", "FET_EN", "RSVD", "DSG_T", "CHG_T", "PCHG_T"}},
}};

}  // namespace cw::monitor
