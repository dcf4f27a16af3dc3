#pragma once

#include <array>
#include <span>
#include <string_view>

#include "dataflash/parameter_table.h"

// The values each pack gets of its own, by group, and what a fresh pack holds in them: a gauge
// programmed with its constants that has not yet run, been calibrated or been given a number.
// A golden constants file that holds other values would copy one pack's history into every pack
// it is written to. The verify step's masks name the same groups.
namespace cw::dataflash {

enum class PackGroup { kLifetime, kLearned, kCalibration, kSerial, kDate, kUpdateStatus };

inline constexpr std::array<PackGroup, 6> kPackGroups = {
    PackGroup::kLifetime, PackGroup::kLearned, PackGroup::kCalibration,
    PackGroup::kSerial,   PackGroup::kDate,    PackGroup::kUpdateStatus};

// "lifetime", "learned", "calibration", "serial", "date", "update status".
std::string_view PackGroupName(PackGroup group);

// One parameter of a group and its value on a fresh pack: `text` as the data flash page shows it,
// or, where `same_as` names a parameter, the value that parameter holds in the same file (a
// learned capacity starts at the design capacity).
struct FreshValue {
  std::string_view name;
  PackGroup group;
  std::string_view text;
  std::string_view same_as = {};
};

// clang-format off
inline constexpr std::array<FreshValue, 65> kFreshPack = {{
    // The cycle count and every lifetime record (subclass 0x34) count from zero, from the moment
    // the gauge first has power.
    {"Cycle Count", PackGroup::kLifetime, "0"},
    {"Total Usage Time", PackGroup::kLifetime, "0"},
    {"SM1 Continuous Time", PackGroup::kLifetime, "0"},
    {"SM2 Continuous Time", PackGroup::kLifetime, "0"},
    {"SM3 Continuous Time", PackGroup::kLifetime, "0"},
    {"Cell1 Max Voltage", PackGroup::kLifetime, "0"},
    {"Cell2 Max Voltage", PackGroup::kLifetime, "0"},
    {"Cell3 Max Voltage", PackGroup::kLifetime, "0"},
    {"Cell4 Max Voltage", PackGroup::kLifetime, "0"},
    {"Cell1 Min Voltage", PackGroup::kLifetime, "0"},
    {"Cell2 Min Voltage", PackGroup::kLifetime, "0"},
    {"Cell3 Min Voltage", PackGroup::kLifetime, "0"},
    {"Cell4 Min Voltage", PackGroup::kLifetime, "0"},
    {"Max Delta Cell Voltage", PackGroup::kLifetime, "0"},
    {"Max Charge Current", PackGroup::kLifetime, "0"},
    {"Max Discharge Current", PackGroup::kLifetime, "0"},
    {"Max Avg Dsg Current", PackGroup::kLifetime, "0"},
    {"Max Avg Dsg Power", PackGroup::kLifetime, "0"},
    {"Max Cell Temperature", PackGroup::kLifetime, "0"},
    {"Min Cell Temperature", PackGroup::kLifetime, "0"},
    {"Max Delta Cell Temp", PackGroup::kLifetime, "0"},
    {"Max FET Temperature", PackGroup::kLifetime, "0"},
    {"No Of COV Events", PackGroup::kLifetime, "0"},
    {"Last COV Event", PackGroup::kLifetime, "0"},
    {"No Of CUV Events", PackGroup::kLifetime, "0"},
    {"Last CUV Event", PackGroup::kLifetime, "0"},
    {"No Of OCD1 Events", PackGroup::kLifetime, "0"},
    {"Last OCD1 Event", PackGroup::kLifetime, "0"},
    {"No Of OCD2 Events", PackGroup::kLifetime, "0"},
    {"Last OCD2 Event", PackGroup::kLifetime, "0"},
    {"No Of OCC1 Events", PackGroup::kLifetime, "0"},
    {"Last OCC1 Event", PackGroup::kLifetime, "0"},
    {"No Of OCC2 Events", PackGroup::kLifetime, "0"},
    {"Last OCC2 Event", PackGroup::kLifetime, "0"},
    {"No Of AOCD Events", PackGroup::kLifetime, "0"},
    {"Last AOCD Event", PackGroup::kLifetime, "0"},
    {"No Of SCD Events", PackGroup::kLifetime, "0"},
    {"Last SCD Event", PackGroup::kLifetime, "0"},
    {"No Of SCC Events", PackGroup::kLifetime, "0"},
    {"Last SCC Event", PackGroup::kLifetime, "0"},
    {"No Of OTC Events", PackGroup::kLifetime, "0"},
    {"Last OTC Event", PackGroup::kLifetime, "0"},
    {"No Of OTD Events", PackGroup::kLifetime, "0"},
    {"Last OTD Event", PackGroup::kLifetime, "0"},
    {"No Of OTF Events", PackGroup::kLifetime, "0"},
    {"Last OTF Event", PackGroup::kLifetime, "0"},
    // The cells' capacities start at the design capacity; the gauge learns them over full
    // charges, and keeps the cycle count it last learned them at.
    {"QCell0", PackGroup::kLearned, "", "Design Capacity"},
    {"QCell1", PackGroup::kLearned, "", "Design Capacity"},
    {"QCell2", PackGroup::kLearned, "", "Design Capacity"},
    {"QCell3", PackGroup::kLearned, "", "Design Capacity"},
    {"Qmax Cycle Count", PackGroup::kLearned, "0"},
    // What the calibration commands change, at the gauge's nominal gains and no offsets.
    {"CC Gain", PackGroup::kCalibration, "1.000000"},
    {"Cell1 Voltage Gain", PackGroup::kCalibration, "0.970001"},
    {"Cell2 Voltage Gain", PackGroup::kCalibration, "0.970001"},
    {"Cell3 Voltage Gain", PackGroup::kCalibration, "0.970001"},
    {"Cell4 Voltage Gain", PackGroup::kCalibration, "0.970001"},
    {"AFE Pack Gain", PackGroup::kCalibration, "4.639893"},
    {"Board Offset", PackGroup::kCalibration, "0"},
    {"Ext1 Temp Offset", PackGroup::kCalibration, "0"},
    {"Ext2 Temp Offset", PackGroup::kCalibration, "0"},
    {"Ext3 Temp Offset", PackGroup::kCalibration, "0"},
    {"Ext4 Temp Offset", PackGroup::kCalibration, "0"},
    // The gauge's own number and no date (the first day the field holds), until a line writes
    // its own.
    {"Serial Number", PackGroup::kSerial, "0001"},
    {"Manuf Date", PackGroup::kDate, "1980-1-1"},
    // Whether the gauge has learned: nothing yet.
    {"FG Status", PackGroup::kUpdateStatus, "00"},
}};
// clang-format on

// The names of a group's parameters, in the table's order.
std::span<const std::string_view> PackGroupParameters(PackGroup group);

}  // namespace cw::dataflash
