#pragma once

#include <string_view>

// Every text the firmware and image tools show to the user, exactly as the product has always
// shown it.
namespace cw::firmware::messages {

// Loading and converting images.
inline constexpr std::string_view kBinFileError = "The bin file is error, please reload it!";
inline constexpr std::string_view kBinFileSizeError = "Bin File is Error, Please reload it!";

// An image read for the constants it carries (df diff, df lint).
inline constexpr std::string_view kNotAnImage = "{} is not a firmware image: {}";
inline constexpr std::string_view kNoImageSize =
    "its size is not one an image has (at least 64 KiB, in whole 32-byte records).";

// Firmware window.
inline constexpr std::string_view kPleaseLoadBin = "Please Load Bin File !";
inline constexpr std::string_view kPleaseSetPath = "Please Set Bin File Path!";
inline constexpr std::string_view kCommunicationError = "Communication Error!";
inline constexpr std::string_view kSealedExport =
    "Can not export firmware when KT580714 is in seal mode!";
inline constexpr std::string_view kUpdateSuccess = "Update Successfully!";
inline constexpr std::string_view kExportSuccess = "Export Successfully!";
inline constexpr std::string_view kExportFail = "Export Fail!";
inline constexpr std::string_view kStatusUsbError = "USB Error!";
inline constexpr std::string_view kStatusErrorPrefix = "Error: ";
inline constexpr std::string_view kStatusPecError = "PEC Error!";
// The two jobs both drive the boot loader or its read-out path; one at a time.
inline constexpr std::string_view kExportRunning =
    "Firmware export is running, please wait until it finishes!";
inline constexpr std::string_view kUpdateRunning =
    "Firmware update is running, please wait until it finishes!";

// An image refused before the boot loader sees it (shown after kBinFileError).
inline constexpr std::string_view kRecordBadSum =
    "Record {} of the image is damaged: its sum byte does not match.";
inline constexpr std::string_view kRecordBadSequence =
    "Record {} of the image is damaged: it carries sequence number {}.";
inline constexpr std::string_view kRecordBadType =
    "Record {} of the image is damaged: its type {:02X} is unknown.";
inline constexpr std::string_view kRecordBadData =
    "Record {} of the image is damaged: a data record for space {} with {} bytes.";

// The bits of the boot loader's status word that explain a failed step, as the status label
// names them after the word: "Error: 1180 (checksum error)".
inline constexpr std::string_view kBitCommandRejected = "command rejected";
inline constexpr std::string_view kBitDataLoss = "data loss error";
inline constexpr std::string_view kBitPecError = "PEC error";
inline constexpr std::string_view kBitChecksumError = "checksum error";
inline constexpr std::string_view kBitEraseError = "erase error";
inline constexpr std::string_view kBitBlankError = "blank error";
inline constexpr std::string_view kBitProgramError = "program error";
inline constexpr std::string_view kBitBusy = "busy";
inline constexpr std::string_view kStatusNotInUpdateMode = "not in update mode";
inline constexpr std::string_view kStatusNamesFormat = "{} ({})";

// The update's way through faults and what it leaves behind.
inline constexpr std::string_view kStatusRestart =
    "{}: restarting the update from the handshake ({} of {}).";
inline constexpr std::string_view kUpdateRestarted =
    "The update was restarted {} time(s) after a transfer fault.";
inline constexpr std::string_view kStatusNoFirmware = "No answer from the firmware!";
inline constexpr std::string_view kStatusLastRecord = "Last record not kept!";
inline constexpr std::string_view kStateFirmwareIntact =
    "The update did not start: the gauge still runs its firmware and nothing was written.";
// Leaving update mode by hand, for a boot loader that holds no record of the update yet.
#define CW_LEAVE_BOOT_LOADER                                                                   \
  "Write Word FF00 to command 47 (SMB access page, or cellwarden-cli smb write-word 47 FF00) " \
  "leaves it and restarts the old firmware; a new update recovers it too."
inline constexpr std::string_view kStateMayWaitInBootLoader =
    "The update did not start and the gauge does not answer from its firmware: the pack may "
    "wait in its boot loader, with no record of the update written. " CW_LEAVE_BOOT_LOADER;
inline constexpr std::string_view kStatePartlyWritten =
    "The update stopped after {} of {} records: the pack waits in its boot loader with its "
    "firmware partly written. A new update recovers it.";
inline constexpr std::string_view kStateNoFirmwareAnswer =
    "All {} records were written, but the gauge does not answer from its firmware: the pack "
    "waits in its boot loader. A new update recovers it.";

inline constexpr std::string_view kStatusLastRecordUnread = "Last record not read back!";
inline constexpr std::string_view kStateLastRecordUnread =
    "The gauge runs its firmware again, but the image's last record could not be read back from "
    "it: whether the firmware is complete is unknown. Export it (fw export) and compare, or run "
    "the update again.";

// What an update stopped at a record boundary (Ctrl-C, SIGTERM, a closed window) leaves.
inline constexpr std::string_view kUpdateStoppedBeforeStart =
    "The update was stopped before it started: nothing was written and the gauge still runs its "
    "firmware.";
inline constexpr std::string_view kUpdateStoppedNoRecord =
    "The update was stopped before any record was written: the pack may wait in its boot "
    "loader with its firmware unchanged. " CW_LEAVE_BOOT_LOADER;
inline constexpr std::string_view kUpdateStoppedPartly =
    "The update was stopped after {} of {} records: the pack waits in its boot loader with its "
    "firmware partly written. Run the update again to recover it.";
#undef CW_LEAVE_BOOT_LOADER

inline constexpr std::string_view kStateLastRecordNotKept =
    "The gauge runs its firmware again, but the bytes of the image's last record do not read "
    "back from it: the firmware may be incomplete. A new update recovers it.";

// Export.
inline constexpr std::string_view kExportReadFailed =
    "Reading the gauge's flash failed at page {} of {}; no image was written.";
inline constexpr std::string_view kExportNotStarted =
    "The export was stopped before it started: no image was written, and the pack is unchanged.";
inline constexpr std::string_view kExportStopped =
    "The export was stopped after {} of {} pages: no image was written, and the pack is "
    "unchanged (an export only reads).";

// An image whose records leave part of the code flash unwritten (shown after kBinFileError): its
// erase records would leave that part of the pack blank.
inline constexpr std::string_view kImageCodeIncomplete =
    "The image does not write the whole firmware: {} bytes of code from 0x{:04X} on are in none "
    "of its records (is the file cut short?).";

// FS scripts and Convert Bin File.
inline constexpr std::string_view kPleaseLoadAfi = "Please Load AFI File firstly!";
inline constexpr std::string_view kPleaseLoadBinFirst = "Please Load Bin File firstly!";
inline constexpr std::string_view kAfiScriptSuccess = "Convert AFI File into FS File Success!";
inline constexpr std::string_view kBinScriptSuccess = "Convert Bin File into FS File Success!";
inline constexpr std::string_view kMergedScriptSuccess =
    "Convert AFI File and Bin File into FS File Success!";
inline constexpr std::string_view kNewBinSuccess = "Convert New Bin File Success!";
inline constexpr std::string_view kOpenFileError = "Open file error!";

}  // namespace cw::firmware::messages

// The image commands of the command-line tool.
namespace cw::firmware::messages {
inline constexpr std::string_view kCodeImageSize = "The code image must be 65536 bytes: {}";
inline constexpr std::string_view kDataImageSize = "The data-area image must be 1024 bytes: {}";
}  // namespace cw::firmware::messages

// FS scripts: the check before a play. Each text follows "LINE: " (or the file name for the file
// as a whole).
namespace cw::firmware::messages {
inline constexpr std::string_view kFsEmpty = "the file is empty";
inline constexpr std::string_view kFsBinary =
    "byte {:02X} is no text: the file is binary, not an FS script";
inline constexpr std::string_view kFsTooLarge =
    "the file is larger than any FS script ({} bytes at most)";
inline constexpr std::string_view kFsNoSteps = "the file holds no W:, C: or X: line";
inline constexpr std::string_view kFsUnknownKind =
    "unknown line kind \"{}\": a line is \"W:\", \"C:\", \"X:\" or a \";\" comment";
inline constexpr std::string_view kFsNotHexByte = "\"{}\" is not a byte of two hex digits";
inline constexpr std::string_view kFsTooShort =
    "a {} line needs the address, the command and the PEC";
inline constexpr std::string_view kFsNotGaugeAddress = "address {:02X} is not the gauge's 16";
inline constexpr std::string_view kFsWritePec =
    "the PEC is {:02X}, but the bytes before it give {:02X}";
inline constexpr std::string_view kFsComparePec =
    "the PEC is {:02X}, but the gauge sends {:02X} with these bytes (over the address, the "
    "command, 17 and the data)";
inline constexpr std::string_view kFsNoCountByte = "a block of command {:02X} needs a count byte";
inline constexpr std::string_view kFsCountMismatch =
    "the count byte says {} data bytes, the line carries {}";
inline constexpr std::string_view kFsBlockLength =
    "a block carries 1 to 32 data bytes, this one {}";
inline constexpr std::string_view kFsWordLength =
    "command {:02X} takes a word: two data bytes, not {}";
inline constexpr std::string_view kFsTransferTooLong =
    "{} bytes are more than one adapter transfer carries ({})";
inline constexpr std::string_view kFsNothingToCompare =
    "a C: line with nothing to compare: no byte between the command and the PEC";
inline constexpr std::string_view kFsWaitMissing = "an X: line needs a wait in milliseconds";
inline constexpr std::string_view kFsWaitNotNumber =
    "wait \"{}\" is not a whole number of milliseconds";
inline constexpr std::string_view kFsWaitNegative = "wait {} ms is negative";
inline constexpr std::string_view kFsWaitTooLong = "wait {} ms is over a minute";
}  // namespace cw::firmware::messages

// FS scripts: the play.
namespace cw::firmware::messages {
inline constexpr std::string_view kFsPlayDone =
    "FS script played: {} lines, {} writes, {} compares matched.";
inline constexpr std::string_view kFsPlayRefused =
    "The script has {} problem(s); nothing was played. The first: line {}: {}";
inline constexpr std::string_view kFsPlayWriteFailed =
    "Line {}: the write of command {:02X} failed ({}): {}";
inline constexpr std::string_view kFsPlayReadFailed =
    "Line {}: command {:02X} could not be read ({}); expected {}";
inline constexpr std::string_view kFsPlayMismatch =
    "Line {}: command {:02X} read {}, expected {} ({})";
inline constexpr std::string_view kFsPlayStillDiffers =
    "Line {}: command {:02X} still read {} after {} ms of reading again, expected {} ({})";
inline constexpr std::string_view kFsCountDiffers = "the count differs";
inline constexpr std::string_view kFsDataDiffer = "the data differ";
inline constexpr std::string_view kFsPecDiffers = "only the PEC differs";
inline constexpr std::string_view kFsPlayStopped = "Stopped before line {}, as asked.";
inline constexpr std::string_view kFsNothingWritten = "Nothing was written to the pack yet.";
inline constexpr std::string_view kFsPartlyWritten =
    "The pack is partly written: lines 1..{} are done, line {} and the rest are not.";
}  // namespace cw::firmware::messages
