#pragma once

#include <string_view>

// Every text the firmware and image tools show to the user, exactly as the product has always
// shown it.
namespace cw::firmware::messages {

// Loading and converting images.
inline constexpr std::string_view kBinFileError = "The bin file is error, please reload it!";
inline constexpr std::string_view kBinFileSizeError = "Bin File is Error, Please reload it!";

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
inline constexpr std::string_view kStatusPecError = "PEC Error!";
// The two jobs both drive the boot loader or its read-out path; one at a time.
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

// The update's way through faults and what it leaves behind.
inline constexpr std::string_view kStatusNoFirmware = "No answer from the firmware!";
inline constexpr std::string_view kStatusLastRecord = "Last record not kept!";
inline constexpr std::string_view kUpdateSealed =
    "The update did not start: the gauge is sealed and keeps its boot loader shut. Unseal it "
    "(SubCMD page, or cellwarden-cli unseal) and update again; nothing was written.";
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
}  // namespace cw::firmware::messages

// FS scripts: the check before a play. Each text follows "LINE: " (or the file name for the file
// as a whole).
namespace cw::firmware::messages {}  // namespace cw::firmware::messages

// FS scripts: the play.
namespace cw::firmware::messages {
inline constexpr std::string_view kFsPlayDone =
    "FS script played: {} lines, {} writes, {} compares matched.";
inline constexpr std::string_view kFsPlayRefused =
    "The script has {} problem(s); nothing was played. The first: line {}: {}";
inline constexpr std::string_view kFsPlayWriteFailed =
    "Line {}: the write of command {:02X} failed ({}): {}";
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
