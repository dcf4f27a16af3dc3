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
inline constexpr std::string_view kLanguageKey = "Settings/Language";
inline constexpr std::string_view kHelpOption = "Displays these options.";
inline constexpr std::string_view kDeviceOption =
    "Device: auto, hid or bulk (the one adapter of that kind), hid:SERIAL_OR_PATH, "
    "bulk:SERIAL_OR_NODE, sim, or sim:key=value:...";
inline constexpr std::string_view kSimOption = "Use the simulated pack (short for --device sim).";
inline constexpr std::string_view kSimStateOption =
    "Keep the simulated pack in FILE (loaded at start, saved at exit).";
inline constexpr std::string_view kPidOption =
    "HID product id of the adapter in hex (default 8888).";
inline constexpr std::string_view kSerialPrefixOption =
    "Serial number prefix of the bulk adapter (default 8888).";
inline constexpr std::string_view kBadPid = "--pid \"{}\" is not a hexadecimal product id";
inline constexpr std::string_view kProgramDescription =
    "Cellwarden Tools: the workbench for the KT580714 fuel gauge. Without a display, use "
    "cellwarden-cli.";
inline constexpr std::string_view kNoDisplay =
    "cellwarden needs a display and none is set (DISPLAY and WAYLAND_DISPLAY are empty). Run it "
    "on a desktop, or use cellwarden-cli on this machine.";
inline constexpr std::string_view kDisplayFailed =
    "cellwarden cannot open the display: {} Run it on a desktop, or use cellwarden-cli.";
inline constexpr std::string_view kStartFailed = "Cellwarden cannot start: {}";
inline constexpr std::string_view kTitleSuffix = " - Simulated pack";

// Message boxes
inline constexpr std::string_view kOkButton = "OK";
inline constexpr std::string_view kCancelButton = "Cancel";

// Left column
inline constexpr std::string_view kAdapterIdLabel = "PID/SN Cfg:";
inline constexpr std::string_view kAdapterIdInitial = "0x8888";
inline constexpr std::string_view kConfigButton = "Config";
inline constexpr std::string_view kGaugeTop = "100%";
inline constexpr std::string_view kGaugeBottom = "0%";
inline constexpr std::string_view kGaugeCaption = "Fuel Gauge";
inline constexpr std::string_view kGaugeInitial = "-";
inline constexpr std::string_view kPageSbs = "SBS";
inline constexpr std::string_view kPageFlash = "Flash";
inline constexpr std::string_view kPageCalibration = "Calibration";
inline constexpr std::string_view kPagePro = "Pro";

// Status bar: the texts that size panes 1 to 3 and their first contents.
inline constexpr std::string_view kPane1Initial = "SBS Task Progress:   0% ";
inline constexpr std::string_view kPane2Initial = " Task Completed. ";
inline constexpr std::string_view kPane3Initial = " 00:00:00 ";
inline constexpr std::string_view kSimulatedPack = "Simulated pack";

// Menu
inline constexpr std::string_view kMenuFile = "&File";
inline constexpr std::string_view kOpenAllFlash = "Open All &Flash Constants";
inline constexpr std::string_view kSaveAllFlash = "Save &All Flash Constants";
inline constexpr std::string_view kStartDataLog = "Start Data &Log";
inline constexpr std::string_view kStartLogAgain = "Start &Log Data";
inline constexpr std::string_view kStopLog = "Sto&p Log Data";
inline constexpr std::string_view kExit = "E&xit";
inline constexpr std::string_view kMenuOption = "&Option";
inline constexpr std::string_view kMenuScan = "&Scan";
inline constexpr std::string_view kScanOff = "O&ff";
inline constexpr std::string_view kScanOn = "O&n";
inline constexpr std::string_view kSetLoggingTime = "Set &Logging Time";
// Off at first, so a start has no row ticked until the user asks for the last selection.
inline constexpr std::string_view kRestoreSelection = "&Restore last selection at start";
inline constexpr std::string_view kMenuTools = "&Tools";
inline constexpr std::string_view kConvertBin = "&Convert Bin File";
inline constexpr std::string_view kConvertFs = "Convert &FS File";
inline constexpr std::string_view kFirmwareUpdate = "&Firmware Update";
inline constexpr std::string_view kSha1 = "&SHA1 Authentication";
inline constexpr std::string_view kMenuHelp = "&Help";
inline constexpr std::string_view kHelpContents = "&Help Contents";
// The SBS page before anything is read.
inline constexpr std::string_view kScanHint = "Tick Scan, or press Scan All, to read the pack";
inline constexpr std::string_view kHelpWindowTitle = "Cellwarden Tools User Guide";
inline constexpr std::string_view kAboutCommand = "&About KT580714pc...";

// Pages shortcuts
inline constexpr std::string_view kPageShortcut = "Ctrl+%1";

// File dialogs
inline constexpr std::string_view kSelectDataLogTitle = "Select DataLog File";
inline constexpr std::string_view kDataLogFilter = "DataLog Files (*.LOG)";
inline constexpr std::string_view kCsvLogFilter = "CSV Files (*.csv)";
inline constexpr std::string_view kOpenAllFlashTitle = "Open All Flash Constants";
inline constexpr std::string_view kSaveAllFlashTitle = "Save All Flash Constants";
inline constexpr std::string_view kAfiFilter = "Flash Data File (*.afi)";
inline constexpr std::string_view kAfiSuffix = "afi";

// Tool windows: titles, and the dialogs of their Browse, Load and Set buttons
inline constexpr std::string_view kFirmwareTitle = "Firmware Update";
inline constexpr std::string_view kFsConverterTitle = "Convert FS File";
inline constexpr std::string_view kBinConverterTitle = "Convert Bin File";
inline constexpr std::string_view kAuthenticationTitle = "SHA1 AUTHENTICATION";
inline constexpr std::string_view kLoadFirmwareTitle = "Download Cellwarden Bin File";
inline constexpr std::string_view kLoadFirmwareFilter = "Cellwarden Bin File (*.bin)";
inline constexpr std::string_view kExportFirmwareTitle = "Export Firmware";
inline constexpr std::string_view kExportFirmwareFilter = "Flash Data File (*.bin)";
inline constexpr std::string_view kExportFirmwareSuffix = "BIN";
inline constexpr std::string_view kLoadAfiTitle = "Load AFI File";
inline constexpr std::string_view kLoadAfiFilter = "AFI File (*.afi)";
inline constexpr std::string_view kChooseBinTitle = "Download Firmware Bin File";
inline constexpr std::string_view kChooseBinFilter = "Firmware Bin File (*.bin)";

// Firmware window
inline constexpr std::string_view kUpdateGroup = "Firmware Update";
inline constexpr std::string_view kBinFileLabel = "Bin File:";
inline constexpr std::string_view kLoadButton = "Load";
inline constexpr std::string_view kStartButton = "Start";
inline constexpr std::string_view kRunAgainButton = "Run the Update Again";
inline constexpr std::string_view kExportGroup = "Export Firmware";
inline constexpr std::string_view kBinPathLabel = "Bin Path:";
inline constexpr std::string_view kSetButton = "Set";
inline constexpr std::string_view kExportButton = "Export";
inline constexpr std::string_view kJobElapsed = "Elapsed {}";
inline constexpr std::string_view kJobElapsedRemaining = "Elapsed {}, about {} left";
inline constexpr std::string_view kJobTook = "Took {}";

// Convert FS File and Convert Bin File
inline constexpr std::string_view kAfiScriptGroup = "Convert AFI File into FS File";
inline constexpr std::string_view kBinScriptGroup = "Convert Bin File into FS File";
inline constexpr std::string_view kMergedScriptGroup = "Convert AFI File and Bin File into FS File";
inline constexpr std::string_view kSelectAfi = "Please select a AFI File";
inline constexpr std::string_view kSelectBin = "Please select a Firmware Bin File";
inline constexpr std::string_view kNewBinGroup = "Convert AFI File and Bin File into New Bin File";
inline constexpr std::string_view kLoadAfiLabel = "Please Load the AFI File";
inline constexpr std::string_view kLoadBinLabel = "Please Load the Bin File";
inline constexpr std::string_view kBrowseButton = "Browse";
inline constexpr std::string_view kConvertButton = "Convert";

// SHA1 AUTHENTICATION
inline constexpr std::string_view kCalculatorGroup = "SHA1 Calculator";
inline constexpr std::string_view kAuthenticateGroup = "Authentication by KT580714";
inline constexpr std::string_view kChangeKeyGroup = "Change SHA1 Key";
inline constexpr std::string_view kKeyLabel = "Key:";
inline constexpr std::string_view kNewKeyLabel = "New Key:";
inline constexpr std::string_view kChallengeLabel = "Challenge:";
inline constexpr std::string_view kDigestLabel = "Digest:";
inline constexpr std::string_view kShowDigestButton = "Show Digest";
inline constexpr std::string_view kNewChallengeButton = "New Challenge";
inline constexpr std::string_view kAuthenticateButton = "Authenticate";
inline constexpr std::string_view kChangeKeyButton = "Change Key";

// "Time Setting..."
inline constexpr std::string_view kTimeSettingTitle = "Time Setting...";
inline constexpr std::string_view kTimeSettingLabel =
    "Specify or select file logging time in second:";
inline constexpr std::string_view kTimeSettingItems[] = {"1", "2", "3", "4", "5", "10", "15"};

// About box
inline constexpr std::string_view kAboutTitle = "About KT580714pc";
inline constexpr std::string_view kAboutProduct =
    "Cellwarden Tools\nEvaluation and configuration workbench for the KT580714 fuel gauge\n"
    "Quillmarsh Electronic LTD.";

// Unseal dialog
inline constexpr std::string_view kUnsealTitle = "Unseal Device";
inline constexpr std::string_view kUnsealText1 =
    "Please enter the correct Unseal Key and click OK.";
inline constexpr std::string_view kUnsealText2 = "Then return to unseal the device.";
inline constexpr std::string_view kUnsealKeyLabel = "Enter Key:";

// SubCMD panel
inline constexpr std::string_view kSubCmdGroup = "SubCMD Panel";
inline constexpr std::string_view kUnsealButton = "UNSEAL";
inline constexpr std::string_view kUnsealFaButton = "UNSEAL TO FA";
inline constexpr std::string_view kClearLogButton = "Clear Log";
inline constexpr std::string_view kCmdColumn = "CMD";
inline constexpr std::string_view kResultColumn = "Result";
inline constexpr std::string_view kSubCmdEntryTip = "Subcommand code in hex; Enter sends it";
inline constexpr std::string_view kSubCmdButtonTip =
    "Sends subcommand 0x{:04X} through ManufacturerBlockAccess";
inline constexpr std::string_view kUnsealButtonTip =
    "Unseals the gauge with the stored key; asks for the key when the gauge refuses it";
inline constexpr std::string_view kUnsealFaButtonTip =
    "Unseals the gauge to full access with the stored key; asks for it when refused";

// SBS lists
inline constexpr std::string_view kNameColumn = "Name";
inline constexpr std::string_view kValueColumn = "Value";
inline constexpr std::string_view kUnitColumn = "Unit";
// Under the data log button while logging: lines written, and those holding an unread value.
inline constexpr std::string_view kLogColumn = "Log";
inline constexpr std::string_view kScanColumn = "Scan";
inline constexpr std::string_view kReadOnlyTip = "Read-only register";
inline constexpr std::string_view kWritableTip = "Writable: F2 or a double click edits the value";

// Live chart
inline constexpr std::string_view kChartPause = "&Pause";
inline constexpr std::string_view kChartWindowLabel = "Window:";
inline constexpr std::string_view kChartWindows[] = {"1 min", "5 min", "15 min", "1 h"};
inline constexpr std::string_view kChartExportCsv = "Export &CSV...";
inline constexpr std::string_view kChartExportPng = "Export P&NG...";
inline constexpr std::string_view kChartTimeAxis = "Local time";
inline constexpr std::string_view kChartSeriesTip =
    "Tick a register to plot it; it is plotted while its Scan box is ticked";
inline constexpr std::string_view kChartNotScanned = "{} (not scanned)";
inline constexpr std::string_view kChartCsvTitle = "Export Chart Data";
inline constexpr std::string_view kChartPngTitle = "Export Chart Picture";
inline constexpr std::string_view kCsvFilter = "CSV Files (*.csv)";
inline constexpr std::string_view kPngFilter = "PNG Pictures (*.png)";
inline constexpr std::string_view kExportFailed = "Cannot write {}: {}";
inline constexpr std::string_view kPictureNotWritten = "the picture could not be saved there";

// Data flash page
inline constexpr std::string_view kFilterLabel = "Filter:";
inline constexpr std::string_view kFilterPlaceholder = "part of a name, on every tab";
inline constexpr std::string_view kTabWithMatches = "{} ({})";
inline constexpr std::string_view kCompareButton = "Compare with File...";
inline constexpr std::string_view kCompareTitle = "Compare with File";
// A firmware image is compared by the constants it carries.
inline constexpr std::string_view kCompareFilter =
    "Constants (*.afi *.bin);;Flash Data File (*.afi);;Firmware Bin File (*.bin)";
inline constexpr std::string_view kClearCompareButton = "Clear Compare";
inline constexpr std::string_view kHoldEdits = "Hold edits for Write All";
inline constexpr std::string_view kHoldEditsTip =
    "Keep the values typed on the page, marked, until Write All writes them all; Undo Edit takes "
    "back the last one. Off: every edit is written at once.";
inline constexpr std::string_view kUndoEdit = "Undo Edit";
inline constexpr std::string_view kUndoShortcut = "Ctrl+Z";
inline constexpr std::string_view kRevertBits = "Revert";
inline constexpr std::string_view kBitViewCaption = "{}: {}";
inline constexpr std::string_view kBitViewEdited = "{}: {} (the gauge holds {})";
inline constexpr std::string_view kBitViewTip =
    "Click a bit to toggle it; Write sends the new value as an edit of the row";
inline constexpr std::string_view kHeldTip =
    "Edited, not yet written: Write All writes it (the gauge holds {})";
inline constexpr std::string_view kFileTip = "In {}: {}";
inline constexpr std::string_view kMarkedTip =
    "Changed on the gauge since the last read, or not kept as written";
inline constexpr std::string_view kLegendMarked = "changed on the gauge";
inline constexpr std::string_view kLegendHeld = "edited, not yet written";
inline constexpr std::string_view kLegendDiffers = "differs from the compared file";

// Calibration page
inline constexpr std::string_view kOffsetGroup = "Board Offset Calibration";
inline constexpr std::string_view kReferenceGroup =
    "Cell Voltage, Temperature and Current Calibration";
inline constexpr std::string_view kCalibrateButton = "Calibrate";
inline constexpr std::string_view kHintNoLoad = "Insure no load current is flowing";
inline constexpr std::string_view kHintStable =
    "Insure that battery voltage is stable and no current is flowing";
inline constexpr std::string_view kHintDischarge =
    "Apply 2 Ampere discharge load. Discharge current is a negative value.";
inline constexpr std::string_view kMeasuredHeading = "Measured";
inline constexpr std::string_view kActualHeading = "Actual";
inline constexpr std::string_view kCellRow = "Cell Voltage %1 :";
inline constexpr std::string_view kTsRow = "TS%1 Temperature :";
inline constexpr std::string_view kCurrentRow = "Current :";
inline constexpr std::string_view kCalibrateCells = "Calibrate Cell Voltage";
inline constexpr std::string_view kCalibrateTs = "Calibrate TS%1 Temperature";
inline constexpr std::string_view kCalibrateCurrent = "Calibrate Current";
inline constexpr std::string_view kEnterCurrent = "Enter actual current";
inline constexpr std::string_view kMillivolts = "mV";
inline constexpr std::string_view kCelsius = "℃";
inline constexpr std::string_view kMilliamperes = "mA";
inline constexpr std::string_view kCalibrationWaits =
    "Waits until the data flash transfer or the calibration running now has ended";

// SMB access page
inline constexpr std::string_view kReadWordForm = "Read SMB Word";
inline constexpr std::string_view kWriteWordForm = "Write SMB Word";
inline constexpr std::string_view kCombinedWordForm = "Write SMB Combined Word";
inline constexpr std::string_view kReadBlockForm = "Read SMB Block";
inline constexpr std::string_view kWriteBlockForm = "Write SMB Block";
inline constexpr std::string_view kSmbCommand = "SMB Command";
inline constexpr std::string_view kResultHex = "Result (hex)";
inline constexpr std::string_view kWordHex = "Word (hex)";
inline constexpr std::string_view kWord1Hex = "Word1 (hex)";
inline constexpr std::string_view kWord2Hex = "Word2 (hex)";
inline constexpr std::string_view kBlockDataHex = "Block Data (hex)";
inline constexpr std::string_view kReadButton = "Read";
inline constexpr std::string_view kWriteButton = "Write";

// Closing while work runs
inline constexpr std::string_view kStopQuestionOne =
    "{} is running.{} Stop it at its next safe point and quit?";
inline constexpr std::string_view kStopQuestionSeveral =
    "{} are running.{} Stop them at their next safe point and quit?";
inline constexpr std::string_view kWorkJoiner = ", ";
inline constexpr std::string_view kWorkLastJoiner = " and ";
inline constexpr std::string_view kWorkDataLog = "a data log";
inline constexpr std::string_view kWorkFirmwareUpdate = "a firmware update";
inline constexpr std::string_view kWorkFirmwareExport = "a firmware export";
inline constexpr std::string_view kWorkReadAll = "a Read All";
inline constexpr std::string_view kWorkWriteAll = "a Write All";
inline constexpr std::string_view kWorkAfiLoad = "an .afi load";
inline constexpr std::string_view kWorkCalibration = "a calibration";
inline constexpr std::string_view kStoppedUpdateLeaves =
    "A stopped update leaves the pack in its boot loader until the update is run again.";
inline constexpr std::string_view kStoppedWriteLeaves =
    "A stopped write may leave the gauge's data flash partly written.";
inline constexpr std::string_view kQuitButton = "Quit";
inline constexpr std::string_view kKeepWorkingButton = "Keep working";
inline constexpr std::string_view kCloseButton = "Close";
inline constexpr std::string_view kStoppingAtSafePoint = "Stopping at the next safe point...";

// Firmware window and data flash page
inline constexpr std::string_view kImageIdentity =
    "Firmware version: not in the image (the gauge tells it once updated: FW_VERSION)\n"
    "Size: {} bytes, {} records\n"
    "SHA-256: {}";
inline constexpr std::string_view kValueLimits = "Limits: {} to {}";
inline constexpr std::string_view kTextLength = "Length: at most {} characters";
inline constexpr std::string_view kValueDefault = "Default (fresh simulated pack): {}";
inline constexpr std::string_view kValueUnit = "Unit: {}";
inline constexpr std::string_view kNoUnit = "none";

// Live chart
inline constexpr std::string_view kChartResume = "&Resume";
// The caption of an exported picture: what it shows, then the span of time.
inline constexpr std::string_view kChartPictureTitle = "SBS live chart";
inline constexpr std::string_view kChartPictureRange = "{} to {}";

// Production window
inline constexpr std::string_view kProductionCommand = "&Production...";
inline constexpr std::string_view kProductionOption =
    "Open the Production window alone, full screen, on the recipe RECIPE.";
inline constexpr std::string_view kProductionTitle = "Production";
inline constexpr std::string_view kProductionTitleSimulated = "Production (SIMULATED packs)";
inline constexpr std::string_view kProductionSimulated =
    "SIMULATED: these packs are the simulated set, not real ones; their runs go to the "
    "simulated records";
inline constexpr std::string_view kRecipeLabel = "Recipe:";
inline constexpr std::string_view kRecipeButton = "Choose...";
inline constexpr std::string_view kRecipeDialogTitle = "Choose a Production Recipe";
inline constexpr std::string_view kRecipeFilter = "Recipes (*.toml);;All files (*)";
inline constexpr std::string_view kRecipeNone = "No recipe chosen: choose the recipe of this line.";
inline constexpr std::string_view kRecipeReading = "Reading the recipe and checking its files...";
inline constexpr std::string_view kRecipeName = "{}   SHA-256 {}";
inline constexpr std::string_view kRecipeChecked =
    "File check passed: every file matches its SHA-256.";
inline constexpr std::string_view kRecipeFailed =
    "This recipe cannot be started. Mend it, or choose another:";
inline constexpr std::string_view kRecipeProblemAtLine = "line {}: {}";
inline constexpr std::string_view kOperatorLabel = "Operator:";
inline constexpr std::string_view kStationLabel = "Station:";
inline constexpr std::string_view kRecordsLabel = "Records:";
inline constexpr std::string_view kRecordsButton = "Choose...";
inline constexpr std::string_view kRecordsDialogTitle = "Choose the Records File";
inline constexpr std::string_view kRecordsFilter = "Records (*.sqlite);;All files (*)";
inline constexpr std::string_view kRecordsDefault = "default: {}";
inline constexpr std::string_view kRecordsNoDefault =
    "no data folder (HOME is not set): name a records file";
inline constexpr std::string_view kRecordsUnavailable = "The records cannot be opened: {}";
inline constexpr std::string_view kStationUnavailable = "The station cannot start: {}";
inline constexpr std::string_view kRecordsMade =
    "New records made at {}: each serial range starts at its first number. If the line had "
    "records elsewhere, choose them under Records before you start.";
inline constexpr std::string_view kStartAllButton = "Start (Space)";
inline constexpr std::string_view kStopAllButton = "Stop";
inline constexpr std::string_view kPassedCounter = "Passed: {}";
inline constexpr std::string_view kFailedCounter = "Failed: {}";
inline constexpr std::string_view kYieldCounter = "Yield: {:.4g} %";
inline constexpr std::string_view kNoYield = "Yield: -";
inline constexpr std::string_view kRateCounter = "Packs per hour: {:.0f}";
inline constexpr std::string_view kNoRate = "Packs per hour: -";
inline constexpr std::string_view kStopping = "Stopping at the next safe point...";
// A tile
inline constexpr std::string_view kTileAdapter = "Adapter {}";
inline constexpr std::string_view kTilePack = "Pack {}";
inline constexpr std::string_view kTileNoPack = "Pack: no serial number yet";
inline constexpr std::string_view kTileStep = "Step {} of {}: {}";
inline constexpr std::string_view kTileAttempt = "Step {} of {}: {} (attempt {})";
inline constexpr std::string_view kTileIdle = "READY";
inline constexpr std::string_view kTileWaiting = "WAITING FOR A PACK";
inline constexpr std::string_view kTileRunning = "RUNNING";
inline constexpr std::string_view kTilePass = "PASS";
inline constexpr std::string_view kTileFail = "FAIL";
inline constexpr std::string_view kTileStopped = "STOPPED";
inline constexpr std::string_view kTileGone = "UNPLUGGED";
inline constexpr std::string_view kTileFailedAt = "Failed at {}: {}";
inline constexpr std::string_view kTileTally = "{} passed, {} failed";
inline constexpr std::string_view kRestartButton = "Restart";
// The records below the tiles
inline constexpr std::string_view kRecordsGroup = "Last records";
inline constexpr std::string_view kResultFilterAll = "All results";
inline constexpr std::string_view kExportCsvButton = "Export CSV...";
inline constexpr std::string_view kExportCsvTitle = "Export the Records as CSV";
inline constexpr std::string_view kExportCsvFilter = "CSV files (*.csv)";
inline constexpr std::string_view kExportCsvSuffix = "csv";
inline constexpr std::string_view kExportCsvDone = "{} runs written to {}";
inline constexpr std::string_view kExportCsvFailed = "The CSV file was not written: {}";
inline constexpr std::string_view kRecordsReadFailed = "The records cannot be read: {}";
inline constexpr std::string_view kReportButton = "Report...";
inline constexpr std::string_view kShiftNone = "This shift: no pack finished yet";
inline constexpr std::string_view kShiftFirstPass =
    "This shift: first pass {:.1f} % ({} of {} packs)";
inline constexpr std::string_view kShiftFailures = "; most failed: {}";
inline constexpr std::string_view kShiftFailure = "{} ({}) {}";
inline constexpr std::string_view kRecordsColumnRun = "Run";
inline constexpr std::string_view kRecordsColumnStarted = "Started";
inline constexpr std::string_view kRecordsColumnAdapter = "Adapter";
inline constexpr std::string_view kRecordsColumnPack = "Pack";
inline constexpr std::string_view kRecordsColumnResult = "Result";
inline constexpr std::string_view kRecordsColumnStep = "Failed step";
inline constexpr std::string_view kRecordsColumnFailure = "Failure";
inline constexpr std::string_view kRecordsColumnDuration = "Duration";
inline constexpr std::string_view kDurationSeconds = "{:.1f} s";
// Closing while packs run
inline constexpr std::string_view kCloseWhileOneRuns =
    "A pack is running. Stop it at its next safe point and close?";
inline constexpr std::string_view kCloseWhileRunning =
    "{} packs are running. Stop them at their next safe point and close?";
// References the recipe leaves to each pack
inline constexpr std::string_view kReferencesTitle = "References for the pack on adapter {}";
inline constexpr std::string_view kReferenceCell = "Cell {} voltage (mV):";
inline constexpr std::string_view kReferencePack = "Pack voltage (mV):";
inline constexpr std::string_view kReferenceCurrent = "Current (mA, a discharge is negative):";
inline constexpr std::string_view kReferenceTemperature = "TS{} temperature (°C):";

// The data log viewer (File > Open Log..., cellwarden --view).
inline constexpr std::string_view kOpenLog = "Open Lo&g...";
inline constexpr std::string_view kViewOption =
    "Open the data logs FILE... (.LOG or CSV) in the data log viewer alone, without an adapter.";
inline constexpr std::string_view kViewFilesArgument = "With --view: the data logs to open.";
inline constexpr std::string_view kFilesWithoutView =
    "Unexpected argument {}: data logs are opened with --view FILE...";
inline constexpr std::string_view kRunViewerTitle = "Data Logs - Cellwarden";
inline constexpr std::string_view kOpenLogTitle = "Open Data Log";
inline constexpr std::string_view kOpenLogFilter =
    "Data Logs (*.LOG *.log *.csv *.CSV);;All Files (*)";
inline constexpr std::string_view kOpenLogButton = "&Open Log...";
inline constexpr std::string_view kAlignLabel = "&Align runs:";
inline constexpr std::string_view kAlignChoices[] = {"At their start", "At clock time"};
inline constexpr std::string_view kShowAllButton = "Show A&ll";
inline constexpr std::string_view kElapsedAxis = "Time since the start of each run";
inline constexpr std::string_view kRunLegend = "{} ({})";
inline constexpr std::string_view kReadingLogs = "Reading {}...";
inline constexpr std::string_view kRunsOpen = "{}: {} rows, {} to {}";
inline constexpr std::string_view kNoRunOpen =
    "Open a data log (.LOG or CSV) written by Cellwarden; open more to lay them over each other.";
inline constexpr std::string_view kViewerHint =
    "Wheel: zoom at the pointer. Drag: pan. Click: read every shown register at that time. "
    "Home: show all.";
inline constexpr std::string_view kCursorAtClock = "Cursor at {}";
inline constexpr std::string_view kCursorAtElapsed = "Cursor at {} from the start of each run";
inline constexpr std::string_view kCursorNoRow = "no row at this time";
inline constexpr std::string_view kCursorNotRead = "not read";
inline constexpr std::string_view kRunPictureTitle = "Data logs: {}";
inline constexpr std::string_view kRunPictureElapsed = "{} to {} from the start of each run";

}  // namespace cw::gui::messages
