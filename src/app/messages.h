#pragma once

#include <string_view>

// Every text the application's tools show: message boxes, log cells and result fields.
namespace cw::app::messages {

// A measured value beside a calibration reference that the scan has not read.
inline constexpr std::string_view kReadingNotRead = "not read";

// SubCMD panel
inline constexpr std::string_view kSubCmdInputInvalid = "The Input SubCMD is invalid!";
// "The SubCMD of 0x" + the text as typed + one of the two endings.
inline constexpr std::string_view kSubCmdOf = "The SubCMD of 0x";
inline constexpr std::string_view kSubCmdInvalidEnd = " is invalid!";
inline constexpr std::string_view kSubCmdRefusedEnd = " can't be writed from here!";
inline constexpr std::string_view kResultNotApplicable = "N/A";
inline constexpr std::string_view kResultFail = "Fail";
// What SEAL and the key words left the gauge in, when its answer does not say it plainly.
inline constexpr std::string_view kSealedAcknowledgementLost =
    "The gauge is sealed; its acknowledgement of SEAL was lost.";
inline constexpr std::string_view kNotSealed =
    "The gauge is not sealed: its Operation Status reads 0x{:04X}.";
inline constexpr std::string_view kSealSentStateUnknown =
    "SEAL was sent, but no valid Operation Status could be read: whether the gauge is sealed is "
    "unknown.";
inline constexpr std::string_view kSealNotConfirmedStateUnknown =
    "SEAL was not confirmed by the gauge ({}), and no valid Operation Status could be read: "
    "whether it is sealed is unknown.";
inline constexpr std::string_view kKeyNotConfirmed =
    "The key words were not confirmed by the gauge ({}).";
// The key dialog's entry when it is not a key.
inline constexpr std::string_view kKeyInvalid =
    "The key \"{}\" is not 1 to 8 hex digits (optionally after 0x): nothing was sent.";
inline constexpr std::string_view kLockStateUnknown =
    "No valid Operation Status could be read: whether the gauge is still locked is unknown.";

// SHA-1 authentication
inline constexpr std::string_view kInvalidKey = "Please enter a valid 128 bit Key!";
inline constexpr std::string_view kInvalidChallenge = "Please enter a valid 20 bytes challenge!";
inline constexpr std::string_view kCommunicationError = "Communication Error!";
inline constexpr std::string_view kAuthenticationSucceeded =
    "Authentication successed. KT580714 returned value that matches the digest!";
inline constexpr std::string_view kAuthenticationFailed =
    "Authentication failed. KT580714 returned\n";
inline constexpr std::string_view kKeyChangeSucceeded = "Key change successed!";
inline constexpr std::string_view kKeyChangeFailed = "Key change failed. KT580714 returned\n";
// The key change's own answer was lost; a challenge afterwards tells what the gauge holds.
inline constexpr std::string_view kKeyChangedAnswerLost =
    "The key was changed; the gauge's answer could not be read, but it now answers a challenge "
    "with the new key.";
inline constexpr std::string_view kKeyNotChanged =
    "The key was not changed: the gauge answers a challenge with another key.";
inline constexpr std::string_view kKeyChangeUnknown =
    "The gauge did not answer a challenge either: whether the key was changed is unknown.";

// SMB access page
inline constexpr std::string_view kPecError = "PEC Error!";
inline constexpr std::string_view kInputDataError = "Input Data Error!";
// "Inhibit changing SubClassID = 0x" + the id as four hex digits + the ending.
inline constexpr std::string_view kInhibitSubclass = "Inhibit changing SubClassID = 0x";
inline constexpr std::string_view kInhibitSubclassEnd = " through Pro interface!";
// Reads that failed and writes the gauge did not acknowledge, with what it holds now.
inline constexpr std::string_view kSmbReadFailed = "Reading 0x{:02X} failed ({}).";
inline constexpr std::string_view kSmbCountTooLarge =
    "The reply of 0x{:02X} announces {} bytes; an SMBus block holds at most 32.";
inline constexpr std::string_view kSmbCountMismatch =
    "The reply of 0x{:02X} announces {} data bytes but carries {}.";
inline constexpr std::string_view kSmbWriteNotConfirmed =
    "The gauge did not confirm the write to 0x{:02X} ({}).";
inline constexpr std::string_view kSmbCannotReadBack =
    " It cannot be read back: whether the gauge took the write is unknown.";
inline constexpr std::string_view kSmbReadBackFailed =
    " Reading it back failed as well: whether the gauge took the write is unknown.";
inline constexpr std::string_view kSmbNowHoldsWord = " The gauge now holds {:04X}.";
inline constexpr std::string_view kSmbNowHoldsBytes = " The gauge now holds {}.";
inline constexpr std::string_view kSmbWrittenAcknowledgementLost =
    "The gauge's acknowledgement was lost, but 0x{:02X} reads back {:04X}: the word was written.";
inline constexpr std::string_view kSmbPageWrittenAcknowledgementLost =
    "The gauge's acknowledgement was lost, but page 0x{:02X} reads back as written.";

// Why a transaction failed when the link status does not say it.
inline constexpr std::string_view kExchangeFailed = "the adapter exchange failed";

// Device strings
inline constexpr std::string_view kUnknownDevice =
    "unknown device \"{}\": use auto, hid, bulk, hid:SERIAL, bulk:SERIAL, sim or sim:key=value:...";
inline constexpr std::string_view kDeviceNeedsAdapter =
    "device \"{}\" needs the adapter's serial number or node after the colon ({}:888800000001)";
inline constexpr std::string_view kDeviceOptionNeedsValue =
    "device option \"{}\" needs a value (key=value)";
inline constexpr std::string_view kUnknownTransport =
    "transport \"{}\" is not one of hid, bulk, both";
inline constexpr std::string_view kUnknownClock = "clock \"{}\" is not one of virtual, system";
inline constexpr std::string_view kBadPackCount =
    "packs=\"{}\" is not a whole number of packs from 1 to {}";
inline constexpr std::string_view kBadFaultsPack =
    "faults=\"{}\": after the @ comes the number of the pack they are for (from 1)";
inline constexpr std::string_view kUnknownDeviceOption =
    "unknown device option \"{}\" (known: transport, state, faults, clock, packs, adapter)";

// The list of adapters: a HID device of the adapter's ids without its collections.

// Adapter notifications
inline constexpr std::string_view kAdapterArrived = "adapter arrived";
inline constexpr std::string_view kAdapterLeft = "adapter left";

// Device options
inline constexpr std::string_view kSimStateNeedsSim = "--sim-state needs the simulated pack";
inline constexpr std::string_view kTwoStateFiles =
    "the device names the state file \"{}\" and --sim-state names \"{}\": give one of them";

// Main window
inline constexpr std::string_view kWindowTitle = "KT580714pc_V3.07_20230517";
inline constexpr std::string_view kSimulatedPack = "Simulated pack";
inline constexpr std::string_view kAboutProgramLabel = "Program Version : ";
inline constexpr std::string_view kAboutDateLabel = "     Date : ";
inline constexpr std::string_view kAboutProgramDate = "2023/05/17";
inline constexpr std::string_view kAboutMcuLabel = "MCU Version :";

// Calibration
inline constexpr std::string_view kCalibrationForbidden =
    "Calibration forbidden. Flash Operation Running!";
inline constexpr std::string_view kSystemBusy = "System Busy";
inline constexpr std::string_view kOffsetCalibrationOk = "Offset Calibration OK!";
inline constexpr std::string_view kOffsetUnderLoad =
    "{} mA flow through the pack. The board offset is what the gauge reads with no current at "
    "all: taken now, it would be wrong by this load. Remove the load or charger (or open the "
    "FETs), wait for the current to read 0, then calibrate.\n\nCalibrate now anyway?";
inline constexpr std::string_view kOffsetAnyway = "Calibrate Anyway";
inline constexpr std::string_view kOffsetNotNow = "Cancel";
inline constexpr std::string_view kCalibrationOk = "Calibration OK.";
inline constexpr std::string_view kCellVoltageError =
    "The Enter Actual Cell Voltage is error, please reenter!";
inline constexpr std::string_view kCellVoltageSumTooLow =
    "The Enter Actual Cell Voltage'sum is too low, please reenter!";
inline constexpr std::string_view kCurrentMustBeNegative =
    "The Enter Actual Current must be a negative value, please reenter!";
inline constexpr std::string_view kUsbTransferErrorDot = "USB Transfer Error.";
// References no pack can have, refused before anything is sent.
inline constexpr std::string_view kCellVoltageOutOfRange =
    "Cell Voltage {} must be between 0 and {} mV, please reenter!";
inline constexpr std::string_view kTemperatureOutOfRange =
    "TS{} Temperature must be a number between {:.1f} and {:.1f} ℃, please reenter!";
inline constexpr std::string_view kCurrentOutOfRange =
    "The Enter Actual Current must not be below {} mA, please reenter!";
// Writes the gauge did not all acknowledge, and what it measures now.
inline constexpr std::string_view kCalibrationNotConfirmed =
    "The gauge did not confirm the calibration ({}). It now reads: {}.";
inline constexpr std::string_view kCalibrationPartlyUnread =
    " Some readings could not be read back.";
inline constexpr std::string_view kCalibrationNotConfirmedUnread =
    "The gauge did not confirm the calibration ({}), and its readings could not be read back: "
    "what it applied is unknown.";
inline constexpr std::string_view kReadBackCells = "cells {} mV";
inline constexpr std::string_view kReadBackSensor = "TS{} {:.1f} ℃";
inline constexpr std::string_view kReadBackCurrent = "current {} mA";
inline constexpr std::string_view kNotReadYet = "Err_Rd";

// SMB access page: presses that send nothing, and why.
inline constexpr std::string_view kSmbBlockCommandAsWord =
    "0x{:02X} is a block command: read and write it as a block.";
inline constexpr std::string_view kSmbWordCommandAsBlock =
    "0x{:02X} is not a block command: read it as a word.";
inline constexpr std::string_view kSmbCombinedCommand =
    "Combined words go to 0x00 (ManufacturerAccess) or 0x47 (the boot loader), not to 0x{:02X}.";
inline constexpr std::string_view kSmbNoBlockWrite =
    "0x{:02X} takes no block write: block writes go to 0x2F, 0x44, 0x70, the data flash pages "
    "0x78 to 0x7C and 0xFF (a raw frame).";
inline constexpr std::string_view kSmbBlockNeedsData =
    "0x{:02X} needs at least one data byte: nothing was sent.";
inline constexpr std::string_view kSmbRawFrameTooShort =
    "A raw frame (0xFF) needs at least 2 bytes: nothing was sent.";
inline constexpr std::string_view kSmbBlockTooLong =
    "0x{:02X} takes at most {} data bytes, not {}: nothing was sent.";
inline constexpr std::string_view kSmbSubclassUnread =
    "The selected subclass could not be read ({}): page 0x{:02X} was not {}.";
inline constexpr std::string_view kSmbNoSubclass =
    "0x77 reads 0x{:04X}, which is no data flash subclass: select one by writing its id to 0x77 "
    "as a word.";
inline constexpr std::string_view kSmbNoSuchPage =
    "Subclass 0x{:02X} holds {} bytes: it has no page 0x{:02X}.";
inline constexpr std::string_view kSmbPageRead = "read";
inline constexpr std::string_view kSmbPageWritten = "written";

}  // namespace cw::app::messages
