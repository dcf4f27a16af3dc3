#pragma once

#include <string_view>

// Every text the desktop program's own widgets show. The product's texts that the core also
// uses (window title, status bar, message boxes) come from app/, monitor/ and link/ messages.
namespace cw::gui::messages {

// Start-up
// Where the settings live: (organisation, application) of QSettings, the maker's root that
// every version of the tool has used (~/.config/Quillmarsh/Message.conf).
inline constexpr std::string_view kOrganisation = "Quillmarsh";
inline constexpr std::string_view kSettingsApplication = "Message";
// The caption of every message box in the application's own name.
inline constexpr std::string_view kMessageCaption = "Message";
// The program's own name: the window class and the desktop file the desktop matches it with.
inline constexpr std::string_view kProgramName = "cellwarden";

// Message boxes
inline constexpr std::string_view kOkButton = "OK";
inline constexpr std::string_view kCancelButton = "Cancel";

// Status bar: the texts that size panes 1 to 3 and their first contents.
inline constexpr std::string_view kPane1Initial = "SBS Task Progress:   0% ";
inline constexpr std::string_view kPane2Initial = " Task Completed. ";
inline constexpr std::string_view kPane3Initial = " 00:00:00 ";

// Menu
inline constexpr std::string_view kOpenAllFlash = "Open All &Flash Constants";
inline constexpr std::string_view kSaveAllFlash = "Save &All Flash Constants";
inline constexpr std::string_view kStartDataLog = "Start Data &Log";
inline constexpr std::string_view kStartLogAgain = "Start &Log Data";
inline constexpr std::string_view kStopLog = "Sto&p Log Data";
inline constexpr std::string_view kExit = "E&xit";
inline constexpr std::string_view kScanOff = "O&ff";
inline constexpr std::string_view kScanOn = "O&n";
inline constexpr std::string_view kSetLoggingTime = "Set &Logging Time";
// Off at first, so a start has no row ticked until the user asks for the last selection.
inline constexpr std::string_view kRestoreSelection = "&Restore last selection at start";
inline constexpr std::string_view kConvertBin = "&Convert Bin File";
inline constexpr std::string_view kConvertFs = "Convert &FS File";
inline constexpr std::string_view kFirmwareUpdate = "&Firmware Update";
inline constexpr std::string_view kSha1 = "&SHA1 Authentication";
inline constexpr std::string_view kHelpContents = "&Help Contents";
// The SBS page before anything is read.
inline constexpr std::string_view kAboutCommand = "&About KT580714pc...";

// File dialogs
inline constexpr std::string_view kSelectDataLogTitle = "Select DataLog File";
inline constexpr std::string_view kCsvLogFilter = "CSV Files (*.csv)";
inline constexpr std::string_view kOpenAllFlashTitle = "Open All Flash Constants";
inline constexpr std::string_view kSaveAllFlashTitle = "Save All Flash Constants";
inline constexpr std::string_view kAfiFilter = "Flash Data File (*.afi)";

// Tool windows: titles, and the dialogs of their Browse, Load and Set buttons
inline constexpr std::string_view kLoadFirmwareTitle = "Download Cellwarden Bin File";
inline constexpr std::string_view kLoadAfiTitle = "Load AFI File";
inline constexpr std::string_view kLoadAfiFilter = "AFI File (*.afi)";
inline constexpr std::string_view kChooseBinTitle = "Download Firmware Bin File";
inline constexpr std::string_view kChooseBinFilter = "Firmware Bin File (*.bin)";

// Convert FS File and Convert Bin File
inline constexpr std::string_view kBrowseButton = "Browse";
inline constexpr std::string_view kConvertButton = "Convert";

// SHA1 AUTHENTICATION
inline constexpr std::string_view kKeyLabel = "Key:";
inline constexpr std::string_view kChallengeLabel = "Challenge:";
inline constexpr std::string_view kDigestLabel = "Digest:";

inline constexpr std::string_view kTimeSettingItems[] = {"1", "2", "3", "4", "5", "10", "15"};

// SBS lists
inline constexpr std::string_view kNameColumn = "Name";
inline constexpr std::string_view kValueColumn = "Value";
inline constexpr std::string_view kUnitColumn = "Unit";

// Live chart
inline constexpr std::string_view kChartPause = "&Pause";
inline constexpr std::string_view kChartWindows[] = {"1 min", "5 min", "15 min", "1 h"};
inline constexpr std::string_view kChartExportPng = "Export P&NG...";
inline constexpr std::string_view kChartTimeAxis = "Local time";
inline constexpr std::string_view kExportFailed = "Cannot write {}: {}";
inline constexpr std::string_view kPictureNotWritten = "the picture could not be saved there";

// Data flash page
inline constexpr std::string_view kCompareTitle = "Compare with File";
// A firmware image is compared by the constants it carries.
inline constexpr std::string_view kUndoShortcut = "Ctrl+Z";

// Calibration page
inline constexpr std::string_view kCalibrateButton = "Calibrate";
inline constexpr std::string_view kCurrentRow = "Current :";

// SMB access page
inline constexpr std::string_view kResultHex = "Result (hex)";
inline constexpr std::string_view kReadButton = "Read";
inline constexpr std::string_view kWriteButton = "Write";

// Closing while work runs
inline constexpr std::string_view kWorkDataLog = "a data log";
inline constexpr std::string_view kWorkFirmwareUpdate = "a firmware update";
inline constexpr std::string_view kWorkWriteAll = "a Write All";
inline constexpr std::string_view kStoppedUpdateLeaves =
    "A stopped update leaves the pack in its boot loader until the update is run again.";
inline constexpr std::string_view kStoppedWriteLeaves =
    "A stopped write may leave the gauge's data flash partly written.";
inline constexpr std::string_view kQuitButton = "Quit";
inline constexpr std::string_view kKeepWorkingButton = "Keep working";
inline constexpr std::string_view kStoppingAtSafePoint = "Stopping at the next safe point...";

// Firmware window and data flash page
inline constexpr std::string_view kValueDefault = "Default (fresh simulated pack): {}";

// Live chart
inline constexpr std::string_view kChartResume = "&Resume";
// The caption of an exported picture: what it shows, then the span of time.
inline constexpr std::string_view kChartPictureTitle = "SBS live chart";
inline constexpr std::string_view kChartPictureRange = "{} to {}";

// Production window
inline constexpr std::string_view kProductionCommand = "&Production...";
inline constexpr std::string_view kProductionTitle = "Production";
inline constexpr std::string_view kRecipeChecked =
    "File check passed: every file matches its SHA-256.";
inline constexpr std::string_view kRecipeFailed =
    "This recipe cannot be started. Mend it, or choose another:";
inline constexpr std::string_view kRecordsNoDefault =
    "no data folder (HOME is not set): name a records file";
inline constexpr std::string_view kRecordsMade =
    "New records made at {}: each serial range starts at its first number. If the line had "
    "records elsewhere, choose them under Records before you start.";
inline constexpr std::string_view kNoYield = "Yield: -";
inline constexpr std::string_view kStopping = "Stopping at the next safe point...";
// A tile
inline constexpr std::string_view kTileIdle = "READY";
inline constexpr std::string_view kTileFail = "FAIL";
// The records below the tiles
inline constexpr std::string_view kRecordsReadFailed = "The records cannot be read: {}";
inline constexpr std::string_view kRecordsColumnStarted = "Started";
inline constexpr std::string_view kRecordsColumnFailure = "Failure";

// The command that opens the data log viewer (also cellwarden --view).
inline constexpr std::string_view kOpenLog = "Open Lo&g...";

}  // namespace cw::gui::messages
