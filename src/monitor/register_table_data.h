#pragma once

#include <array>

#include "monitor/sbs_register_def.h"

// The built-in SBS register table: four lists as the SBS page shows them. Rows sharing a status
// subcommand (0x51 to 0x79) take their values from that subcommand's ManufacturerBlockAccess
// reply; every other row is a word register, or a text block for the text rows.
namespace cw::monitor::register_data {

using enum Conversion;
inline constexpr Access kR = Access::kRead;
inline constexpr Access kRW = Access::kReadWrite;

// Table A.
inline constexpr std::array<SbsRegisterInfo, 17> kTableA = {{
    // name, command, format, unit, conversion, access, text length
    {"Manufacture Access", 0x00, "%04X", "hex", kPlain, kRW, 0},
    {"Remaining Cap. Alarm", 0x01, "%d", "mAh", kCapacity, kRW, 0},
    {"Remaining Time Alarm", 0x02, "%d", "min", kPlain, kRW, 0},
    {"Battery Mode", 0x03, "%04X", "hex", kPlain, kRW, 0},
    {"At Rate", 0x04, "%d", "mA", kSigned, kRW, 0},
    {"At Rate Time To Full", 0x05, "%d", "min", kPlain, kR, 0},
    {"At Rate Time To Empty", 0x06, "%d", "min", kPlain, kR, 0},
    {"At Rate OK", 0x07, "%d", "-", kPlain, kR, 0},
    {"Temperature", 0x08, "%.1f", "'C", kTemperature, kR, 0},
    {"Voltage", 0x09, "%d", "mV", kPlain, kR, 0},
    {"Current", 0x0A, "%d", "mA", kSigned, kR, 0},
    {"AverageCurrent", 0x0B, "%d", "mA", kSigned, kR, 0},
    {"Max Error", 0x0C, "%d", "%", kPlain, kR, 0},
    {"Relative State of Charge", 0x0D, "%d", "%", kPlain, kR, 0},
    {"Absolute State of Charge", 0x0E, "%d", "%", kPlain, kR, 0},
    {"RemainingCapacity", 0x0F, "%d", "mAh", kCapacity, kR, 0},
    {"FullChargeCapacity", 0x10, "%d", "mAh", kCapacity, kR, 0},
}};

// Table B.
inline constexpr std::array<SbsRegisterInfo, 17> kTableB = {{
    // name, command, format, unit, conversion, access, text length
    {"Real RemainingCapacity", 0x1D, "%d", "mAh", kCapacity, kR, 0},
    {"Real FullChargeCapacity", 0x1E, "%d", "mAh", kCapacity, kR, 0},
    {"Run Time To Empty", 0x11, "%d", "min", kPlain, kR, 0},
    {"Average Time to Empty", 0x12, "%d", "min", kPlain, kR, 0},
    {"Average Time to Full", 0x13, "%d", "min", kPlain, kR, 0},
    {"Charging Current", 0x14, "%d", "mA", kSigned, kR, 0},
    {"Charging Voltage", 0x15, "%d", "mV", kPlain, kR, 0},
    {"Battery Status", 0x16, "%04X", "hex", kPlain, kR, 0},
    {"Cycle Count", 0x17, "%d", "-", kPlain, kR, 0},
    {"State of Health", 0x4F, "%d", "%", kPlain, kR, 0},
    {"Cell Voltage 4", 0x71, "%d", "mV", kPlain, kR, 0},
    {"Cell Voltage 3", 0x71, "%d", "mV", kPlain, kR, 0},
    {"Cell Voltage 2", 0x71, "%d", "mV", kPlain, kR, 0},
    {"Cell Voltage 1", 0x71, "%d", "mV", kPlain, kR, 0},
    {"Pack Voltage", 0x71, "%d", "mV", kPlain, kR, 0},
    {"TS1 Temperature", 0x72, "%.1f", "'C", kTemperature, kR, 0},
    {"TS2 Temperature", 0x72, "%.1f", "'C", kTemperature, kR, 0},
}};

// Table C.
inline constexpr std::array<SbsRegisterInfo, 72> kTableC = {{
    // name, command, format, unit, conversion, access, text length
    {"TS3 Temperature", 0x72, "%.1f", "'C", kTemperature, kR, 0},
    {"TS4 Temperature", 0x72, "%.1f", "'C", kTemperature, kR, 0},
    {"Cell Temperature", 0x72, "%.1f", "'C", kTemperature, kR, 0},
    {"FET Temperature", 0x72, "%.1f", "'C", kTemperature, kR, 0},
    {"Safety Status", 0x51, "%08X", "hex", kPlain, kR, 0},
    {"PF Status", 0x53, "%08X", "hex", kPlain, kR, 0},
    {"Operation Status", 0x54, "%04X", "hex", kPlain, kR, 0},
    {"Temp Range", 0x55, "%04X", "hex", kPlain, kR, 0},
    {"Charging Status", 0x55, "%04X", "hex", kPlain, kR, 0},
    {"Manufacturing Status", 0x57, "%04X", "hex", kPlain, kR, 0},
    {"Gauge Update Index", 0x73, "%04X", "hex", kPlain, kR, 0},
    {"Gauge Update Status", 0x73, "%04X", "hex", kPlain, kR, 0},
    {"Thermal Temp", 0x73, "%d", "0.1'C", kSigned, kR, 0},
    {"Rootfinding Load", 0x73, "%d", "mA", kSigned, kR, 0},
    {"Cell 1 ModelRatio", 0x73, "%d", "-", kPlain, kR, 0},
    {"Cell 2 ModelRatio", 0x73, "%d", "-", kPlain, kR, 0},
    {"Cell 3 ModelRatio", 0x73, "%d", "-", kPlain, kR, 0},
    {"Cell 4 ModelRatio", 0x73, "%d", "-", kPlain, kR, 0},
    {"Cell 1 SOCEOC", 0x73, "%d", "-", kPlain, kR, 0},
    {"Cell 2 SOCEOC", 0x73, "%d", "-", kPlain, kR, 0},
    {"Cell 3 SOCEOC", 0x73, "%d", "-", kPlain, kR, 0},
    {"Cell 4 SOCEOC", 0x73, "%d", "-", kPlain, kR, 0},
    {"Cell 1 SOCEOD", 0x73, "%d", "-", kPlain, kR, 0},
    {"Cell 2 SOCEOD", 0x73, "%d", "-", kPlain, kR, 0},
    {"Cell 3 SOCEOD", 0x73, "%d", "-", kPlain, kR, 0},
    {"Cell 4 SOCEOD", 0x73, "%d", "-", kPlain, kR, 0},
    {"High Run Time", 0x74, "%d", "hour", kPlain, kR, 0},
    {"Run Time", 0x74, "%d", "Sec", kPlain, kR, 0},
    {"Passed Charge", 0x74, "%d", "mAh", kSigned, kR, 0},
    {"Passed Energy", 0x74, "%d", "cWh", kSigned, kR, 0},
    {"Qstart", 0x74, "%d", "mAh", kSigned, kR, 0},
    {"Estart", 0x74, "%d", "cWh", kSigned, kR, 0},
    {"Cell 1 SOC0", 0x74, "%d", "-", kPlain, kR, 0},
    {"Cell 2 SOC0", 0x74, "%d", "-", kPlain, kR, 0},
    {"Cell 3 SOC0", 0x74, "%d", "-", kPlain, kR, 0},
    {"Cell 4 SOC0", 0x74, "%d", "-", kPlain, kR, 0},
    {"Last RC", 0x74, "%d", "-", kPlain, kR, 0},
    {"RC Offset", 0x74, "%d", "-", kPlain, kR, 0},
    {"Cell 1 Qmax", 0x75, "%d", "mAh", kPlain, kR, 0},
    {"Cell 2 Qmax", 0x75, "%d", "mAh", kPlain, kR, 0},
    {"Cell 3 Qmax", 0x75, "%d", "mAh", kPlain, kR, 0},
    {"Cell 4 Qmax", 0x75, "%d", "mAh", kPlain, kR, 0},
    {"FG Status", 0x75, "%02X", "hex", kPlain, kR, 0},
    {"RCFilter Flag", 0x75, "%02x", "hex", kPlain, kR, 0},
    {"RCFilter Time", 0x75, "%d", "Sec", kPlain, kR, 0},
    {"Qmax CycleCount", 0x75, "%d", "-", kPlain, kR, 0},
    {"Cell 1 VoltEOC", 0x75, "%d", "mV", kPlain, kR, 0},
    {"Cell 2 VoltEOC", 0x75, "%d", "mV", kPlain, kR, 0},
    {"Cell 3 VoltEOC", 0x75, "%d", "mV", kPlain, kR, 0},
    {"Cell 4 VoltEOC", 0x75, "%d", "mV", kPlain, kR, 0},
    {"CUR at EOC", 0x75, "%d", "mA", kSigned, kR, 0},
    {"Averge I Last Run", 0x75, "%d", "mA", kSigned, kR, 0},
    {"Averge P Last Run", 0x75, "%d", "cW", kSigned, kR, 0},
    {"Cell 1 ModelFlag", 0x75, "%02X", "hex", kPlain, kR, 0},
    {"Cell 2 ModelFlag", 0x75, "%02X", "hex", kPlain, kR, 0},
    {"Cell 3 ModelFlag", 0x75, "%02X", "hex", kPlain, kR, 0},
    {"Cell 4 ModelFlag", 0x75, "%02X", "hex", kPlain, kR, 0},
    {"True RC", 0x78, "%d", "mAh", kPlain, kR, 0},
    {"True FCC", 0x78, "%d", "mAh", kPlain, kR, 0},
    {"True RE", 0x78, "%d", "cWh", kPlain, kR, 0},
    {"True FCE", 0x78, "%d", "cWh", kPlain, kR, 0},
    {"Equivalent RC", 0x78, "%d", "mAh", kPlain, kR, 0},
    {"Equivalent FCC", 0x78, "%d", "mAh", kPlain, kR, 0},
    {"Equivalent RE", 0x78, "%d", "cWh", kPlain, kR, 0},
    {"Equivalent FCE", 0x78, "%d", "cWh", kPlain, kR, 0},
    {"Raw RC", 0x78, "%d", "mAh", kPlain, kR, 0},
    {"Raw FCC", 0x78, "%d", "mAh", kPlain, kR, 0},
    {"Raw RE", 0x78, "%d", "cWh", kPlain, kR, 0},
    {"Raw FCE", 0x78, "%d", "cWh", kPlain, kR, 0},
    {"SOH FCC", 0x78, "%d", "mAh", kPlain, kR, 0},
    {"SOH FCE", 0x78, "%d", "cWh", kPlain, kR, 0},
    {"Gauge Debug Info", 0x79, "%s", "-", kPlain, kR, 33},
}};

// Table D.
inline constexpr std::array<SbsRegisterInfo, 8> kTableD = {{
    // name, command, format, unit, conversion, access, text length
    {"Design Capacity", 0x18, "%d", "mAh", kCapacity, kR, 0},
    {"Design Voltage", 0x19, "%d", "mV", kPlain, kR, 0},
    {"Spe\x63ification Info", 0x1A, "%04X", "hex", kPlain, kR, 0},
    {"Manufacture Date", 0x1B, "%d", "-", kPlain, kR, 0},
    {"Serial Number", 0x1C, "%04X", "hex", kPlain, kR, 0},
    {"Manufacturer Name", 0x20, "%s", "-", kText, kR, 20},
    {"Device Name", 0x21, "%s", "-", kText, kR, 20},
    {"Device Chemistry", 0x22, "%s", "-", kText, kR, 4},
}};

}  // namespace cw::monitor::register_data
