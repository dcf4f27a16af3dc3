#pragma once

#include <cstdint>

// The gauge's command codes at 0x16 and the ManufacturerAccess subcommands the tool sends by
// name. Every subsystem that puts one of these on the bus (or into a script) takes it from here.
namespace cw::link {

// SMBus commands.
inline constexpr std::uint8_t kManufacturerAccess = 0x00;
inline constexpr std::uint8_t kVoltageCommand = 0x09;
inline constexpr std::uint8_t kCurrentCommand = 0x0A;
inline constexpr std::uint8_t kSerialNumberCommand = 0x1C;
inline constexpr std::uint8_t kAuthenticationCommand = 0x2F;
inline constexpr std::uint8_t kCalibrationFlagsCommand = 0x40;
inline constexpr std::uint8_t kCalibrationCellsCommand = 0x41;
inline constexpr std::uint8_t kCalibrationTemperaturesCommand = 0x42;
inline constexpr std::uint8_t kCalibrationCurrentCommand = 0x43;
inline constexpr std::uint8_t kManufacturerBlockAccess = 0x44;
inline constexpr std::uint8_t kIspStatusCommand = 0x47;
inline constexpr std::uint8_t kIspDataCommand = 0x48;
// The boot loader's status word: set while it waits for the records of an update.
inline constexpr std::uint16_t kIspStatusUpdateMode = 0x0100;
inline constexpr std::uint8_t kFlashBlockCommand = 0x4A;
inline constexpr std::uint8_t kSubclassSelectCommand = 0x77;
// Page p of the selected subclass is command 0x78 + p.
inline constexpr std::uint8_t kFlashPageCommand = 0x78;

// ManufacturerAccess / ManufacturerBlockAccess subcommands.
inline constexpr std::uint16_t kSealSubcommand = 0x0030;
inline constexpr std::uint16_t kKeyChangeSubcommand = 0x0037;
inline constexpr std::uint16_t kCalibrationModeSubcommand = 0x0040;
inline constexpr std::uint16_t kResetSubcommand = 0x0041;
// Writes the data-flash area the gauge holds in RAM to flash at once.
inline constexpr std::uint16_t kDataFlashCommitSubcommand = 0x0045;
inline constexpr std::uint8_t kOperationStatusSubcommand = 0x54;
// Operation Status bit 8: the gauge is sealed.
inline constexpr std::uint16_t kOperationStatusSealed = 0x0100;
// Their replies: the device type and the firmware version words.
inline constexpr std::uint8_t kDeviceTypeSubcommand = 0x01;
inline constexpr std::uint8_t kFirmwareVersionSubcommand = 0x02;
// Status blocks read through ManufacturerBlockAccess: cells 1 to 4 are the first words of
// 0x71, TS1 to TS4 those of 0x72.
inline constexpr std::uint8_t kCellsBlock = 0x71;
inline constexpr std::uint8_t kCellsBlockLength = 14;
inline constexpr std::uint8_t kSensorsBlock = 0x72;
inline constexpr std::uint8_t kSensorsBlockLength = 12;

}  // namespace cw::link
