#pragma once

#include <string_view>

// Every text of the production station: recipe problems, the station check, the records store.
namespace cw::production::messages {

// Reading a recipe. "{}" in a key text is the table the key is in, as "[steps.serial]".
inline constexpr std::string_view kRecipeSyntax = "not TOML: {}";
inline constexpr std::string_view kNoSha256 = "the crypto library computes no SHA-256";
inline constexpr std::string_view kRecipeUnreadable = "the recipe cannot be read: {}";
inline constexpr std::string_view kUnknownKey = "unknown key \"{}\" in {}";
inline constexpr std::string_view kUnknownStep = "unknown step \"{}\" (the steps are: {})";
inline constexpr std::string_view kMissingKey = "{} needs \"{}\"";
inline constexpr std::string_view kWrongType = "\"{}\" in {} must be {}";
inline constexpr std::string_view kTypeInteger = "a whole number";
inline constexpr std::string_view kTypeNumber = "a number";
inline constexpr std::string_view kTypeText = "a text";
inline constexpr std::string_view kTypeBool = "true or false";
inline constexpr std::string_view kTypeTable = "a table";
inline constexpr std::string_view kTypeTextList = "a list of texts";
inline constexpr std::string_view kTypeLimitList =
    "a list of tables { register = \"NAME\", min = N, max = N }";
inline constexpr std::string_view kTypeReference = "a number or \"ask\"";
inline constexpr std::string_view kTypeReferenceList =
    "a list of 2 to 4 cell voltages, each a number or \"ask\"";
inline constexpr std::string_view kTypeWord = "a whole number from 0 to 0xFFFF";
inline constexpr std::string_view kTypeRetries = "a whole number from 0 to 10";
inline constexpr std::string_view kTypeSha256 = "64 hex digits (the file's SHA-256)";
inline constexpr std::string_view kTypeDate = "\"today\" or a date as YYYY-MM-DD";
inline constexpr std::string_view kTypeTolerance = "a number above 0";
inline constexpr std::string_view kNoSteps = "the recipe names no step: [steps.NAME] for each one";
inline constexpr std::string_view kBothForms = "{} takes either \"{}\" or \"{}\", not both";
inline constexpr std::string_view kNeitherForm = "{} needs \"{}\" or \"{}\"";
inline constexpr std::string_view kEmptyPath = "\"{}\" in {} names no file";
inline constexpr std::string_view kUnknownMask = "unknown mask \"{}\" (the masks are: {})";
inline constexpr std::string_view kMaskTwice = "the mask \"{}\" is named twice";
inline constexpr std::string_view kVerifyWithoutGolden =
    "[steps.verify] needs \"golden\" (an .afi and its \"sha256\") when [steps.constants] plays a "
    "script";
inline constexpr std::string_view kStepsOutOfOrder =
    "[steps.{}] must come after [steps.{}]: the steps are written in the order they run";

// Values that make no sense.
inline constexpr std::string_view kFirmwareRange =
    "the firmware version range is empty: min 0x{:04X} is above max 0x{:04X}";
inline constexpr std::string_view kUnknownParameter =
    "\"{}\" is not a data flash parameter (names as on the Flash page)";
inline constexpr std::string_view kSerialNotNumber =
    "the serial number goes into \"{}\", which holds no whole number";
inline constexpr std::string_view kSerialRangeEmpty =
    "the serial range is empty: start {} is above end {}";
inline constexpr std::string_view kSerialStep = "the serial step must be 1 or more, not {}";
inline constexpr std::string_view kSerialOutsideParameter =
    "the serial range {}..{} does not fit \"{}\", which holds {} to {}";
inline constexpr std::string_view kBadDate = "{}-{}-{} is no date a gauge can hold (1980 to 2107)";
inline constexpr std::string_view kUnknownRegister =
    "\"{}\" is not an SBS register (names as on the SBS page)";
inline constexpr std::string_view kRegisterNotNumber = "\"{}\" is a text, it has no limits";
inline constexpr std::string_view kLimitEmpty =
    "the limits of \"{}\" are empty: min {} is above max {}";
inline constexpr std::string_view kLimitMissing =
    "the limit of \"{}\" needs \"min\", \"max\" or both";
inline constexpr std::string_view kLimitTwice = "\"{}\" has limits twice";
inline constexpr std::string_view kNoCalibration =
    "[steps.calibrate] calibrates nothing: give board_offset, cells_mv, current_ma or "
    "temperatures_c";
inline constexpr std::string_view kCellReference =
    "cell {} reference {} mV is no cell voltage (1 to {} mV)";
inline constexpr std::string_view kCellSumTooLow =
    "the cell references add up to {} mV; a calibration needs more than 5000 mV";
inline constexpr std::string_view kPackReference =
    "pack reference {} mV is no pack voltage (1 to {} mV)";
inline constexpr std::string_view kCurrentReference =
    "current reference {} mA must be a discharge: below 0 and at least {} mA";
inline constexpr std::string_view kTemperatureReference =
    "TS{} reference {} °C is outside {} to {} °C";
inline constexpr std::string_view kEmptyCheck =
    "[steps.check] checks nothing: give \"limits\", \"clear\" or both";

// Files a recipe uses.
inline constexpr std::string_view kFileHashDiffers =
    "{}: the file's SHA-256 is {}, the recipe holds {}: the file changed since the recipe was made";
inline constexpr std::string_view kFileUnreadable = "{}: {}";
inline constexpr std::string_view kLabelNotText = "{}: not a text a label template can be";
inline constexpr std::string_view kLabelUnknownField = "{}: unknown field {{{}}}; a label takes {}";
inline constexpr std::string_view kHandoffUnwritten = "the hand-off {} could not be written: {}";
inline constexpr std::string_view kGoldenNotAfi = "{}: not a constants file the product reads: {}";
inline constexpr std::string_view kImageUnusable = "{}: not a firmware image the gauge takes: {}";
inline constexpr std::string_view kImageSize =
    "{}: {} bytes is no firmware image (whole 32-byte records, at least one)";
inline constexpr std::string_view kScriptNotText = "{}: not an FS script: {}";
inline constexpr std::string_view kScriptLine = "{}: line {}: {}";
inline constexpr std::string_view kScriptMoreProblems = "{}: {} more problems";

// The records store.
inline constexpr std::string_view kNoRecordsFile =
    "no records at {}: a station run makes them (or name them with --records)";
inline constexpr std::string_view kRecordsFileIsFolder = "{} is a folder, not a records file";
inline constexpr std::string_view kRecordsFolderUnmade = "the folder {} cannot be made: {}";
inline constexpr std::string_view kNoDataFolder =
    "neither XDG_DATA_HOME nor HOME is set, so there is no folder for the records: name them "
    "with --records FILE";
inline constexpr std::string_view kRecordsUnopenable = "the records at {} cannot be opened: {}";
inline constexpr std::string_view kServerUnreachable = "the records server cannot be reached: {}";
inline constexpr std::string_view kRecordsFailed = "the records at {}: {}";
inline constexpr std::string_view kNewerSchema =
    "the records at {} have layout {}, written by a newer Cellwarden (this one knows layout {}); "
    "they were left untouched";
inline constexpr std::string_view kRecordsFileDeleted =
    "the records file {} was deleted while the station had it open: nothing more is written "
    "to it";
inline constexpr std::string_view kRecordsFileReplaced =
    "the records file {} was replaced by another file while the station had it open: nothing "
    "more is written to it";
inline constexpr std::string_view kOtherRecords =
    "the records at {} are not the ones the station opened (store {}, now {}): nothing more is "
    "written to them";
inline constexpr std::string_view kNotRecords =
    "{} is not a Cellwarden records store: it holds other tables, and was left as it is";
inline constexpr std::string_view kEmptyRecords =
    "{} holds no records yet: a station run makes them (or name them with --records)";
inline constexpr std::string_view kNotAUrl =
    "{} is no records location: a PostgreSQL URL begins postgresql:// "
    "(postgresql://user@host/database), a file name needs no scheme";
inline constexpr std::string_view kAbandonedRun =
    "interrupted: the station ({} on {}) ended without closing the run (killed, crashed or "
    "powered off)";
inline constexpr std::string_view kNoSuchRun = "there is no run {} in the records at {}";
inline constexpr std::string_view kNoSuchSerial =
    "no run was issued serial number {} in the records at {}";
inline constexpr std::string_view kBadSerialRange = "{}..{} step {} is no serial range";
inline constexpr std::string_view kRangeExhausted =
    "every number of the serial range {}..{} (step {}) of \"{}\" has been issued: the recipe "
    "needs a new range";
inline constexpr std::string_view kRunHasOtherSerial =
    "run {} already has the serial number {} of \"{}\"";

// The station check and the records on the command line.
inline constexpr std::string_view kCheckProblem = "{}:{}: {}";
inline constexpr std::string_view kCheckProblemFile = "{}: {}";
inline constexpr std::string_view kCheckRefused = "{}: the recipe is refused ({} problems)";
inline constexpr std::string_view kCheckRecipe = "recipe {} ({})";
inline constexpr std::string_view kCheckSha256 = "sha256 {}";
inline constexpr std::string_view kCheckGauge = "gauge: device type 0x{:04X}, firmware {}";
inline constexpr std::string_view kCheckAnyFirmware = "any version";
inline constexpr std::string_view kCheckFirmwareRange = "0x{:04X} to 0x{:04X}";
inline constexpr std::string_view kCheckFirmwareFrom = "0x{:04X} or later";
inline constexpr std::string_view kCheckFirmwareUpTo = "up to 0x{:04X}";
inline constexpr std::string_view kCheckSteps = "steps: {}";
inline constexpr std::string_view kCheckFile = "file {}: sha256 matches";
inline constexpr std::string_view kCheckHandoff = "hand-off folder: {}";
inline constexpr std::string_view kCheckPassed = "the recipe and its files are ready to run";
// A golden file that would copy one pack's own values into every pack (a warning: the line may
// mean it), then one line per value.
inline constexpr std::string_view kCheckNotFresh =
    "warning: {} holds {} values a fresh pack does not, and writes them into every pack:";
inline constexpr std::string_view kCheckNotFreshValue = "  {} ({}): {}, fresh {}";
inline constexpr std::string_view kBadTimeBound =
    "{}: \"{}\" is no time: give a date (2024-05-17), a local time (2024-05-17 14:30), one with "
    "its offset (2024-05-17 14:30:00 +02:00) or a span back from now (90m, 12h, 7d)";
inline constexpr std::string_view kBadResult = "--result: \"{}\" is none of: {}";
inline constexpr std::string_view kNoRuns = "no runs";
inline constexpr std::string_view kRunLine = "{:>6}  {:<26}  {:<12}  {:<12}  {:>10}  {:<11}  {}";
inline constexpr std::string_view kNoSerials = "no serial numbers issued";
inline constexpr std::string_view kSerialsHeading = "{:<20}  {:>10}  {:>6}  {}";
inline constexpr std::string_view kSerialsTotal =
    "{} numbers issued, {} of them to packs that did not pass; none is issued again";
inline constexpr std::string_view kShowField = "{:<17}{}";
inline constexpr std::string_view kShowStepsHeading = "{:>3}  {:<10}  {:>7}  {:<11}  {:>9}  {}";
inline constexpr std::string_view kShowStepLine = "{:>3}  {:<10}  {:>7}  {:<11}  {:>9}  {}";
inline constexpr std::string_view kYieldRecipe =
    "{} ({}) on {}: {} runs, {} pass, {} fail{}{}{}, yield {}";
inline constexpr std::string_view kYieldFirstPass = "  first pass: {} of {} packs, {}{}";
inline constexpr std::string_view kYieldPerHour = "; {:.1f} packs per hour";
inline constexpr std::string_view kYieldStopped = ", {} stopped";
inline constexpr std::string_view kYieldRunning = ", {} unfinished";
inline constexpr std::string_view kYieldInterrupted = ", {} interrupted";
inline constexpr std::string_view kYieldPercent = "{:.1f} %";
inline constexpr std::string_view kYieldNone = "none yet";
inline constexpr std::string_view kYieldFailures = "  failed at {} ({}): {}";
inline constexpr std::string_view kUnnamedStep = "(no step)";
inline constexpr std::string_view kBadPack =
    "\"{}\" names no pack: give its serial number (1002) or a run of it (run:12)";
inline constexpr std::string_view kReportWritten = "{}: report written to {}";
inline constexpr std::string_view kBothFormats = "--csv and --json exclude each other";

// The station: lanes, runs and the failure of a step, in words an operator can act on.
inline constexpr std::string_view kNoAdapters =
    "no adapter is attached: plug one in (\"cellwarden-cli adapters\" lists what is there)";
inline constexpr std::string_view kAdapterNotAttached =
    "no adapter with the serial number {} is attached (attached: {})";
inline constexpr std::string_view kNoneAttached = "none";
inline constexpr std::string_view kAdapterUnopened = "the adapter {} cannot be used: {}";
inline constexpr std::string_view kRecipeMaterial = "{}: {}";
inline constexpr std::string_view kGaugeStepName = "gauge";
// What a run failed at when its hand-off to the factory could not be written.
inline constexpr std::string_view kHandoffStepName = "handoff";
inline constexpr std::string_view kNoGaugeAnswer =
    "the pack on {} does not answer: check that it sits in the fixture and has power ({})";
inline constexpr std::string_view kWrongDeviceType =
    "the gauge is a 0x{:04X}, the recipe expects a 0x{:04X}: this pack does not belong on this "
    "line (nothing was written)";
inline constexpr std::string_view kFirmwareTooOld =
    "the gauge runs firmware 0x{:04X}, the recipe needs 0x{:04X} or later (nothing was written)";
inline constexpr std::string_view kFirmwareTooNew =
    "the gauge runs firmware 0x{:04X}, the recipe takes 0x{:04X} at most (nothing was written)";
inline constexpr std::string_view kNameStation = "station id";
inline constexpr std::string_view kNameOperator = "operator name";
inline constexpr std::string_view kNameUnprintable =
    "the {} must be printable text on one line (UTF-8, no control characters)";
inline constexpr std::string_view kNameTooLong = "the {} has {} characters; at most {} are kept";
inline constexpr std::string_view kCellSkewed =
    "{} reads {:g} mV before calibration against a reference of {:g} mV: a correction of {:+g} mV "
    "where the cells need {:+g} mV, more than the {:g} mV apart the recipe allows; check that "
    "reference and the cell's contact (nothing was written)";
inline constexpr std::string_view kRecordsHeld =
    "held: the records refuse the write ({}); trying again each second, {} s of {} s";
inline constexpr std::string_view kRecordsUnwritable =
    "the run is refused before any pack is touched: {}";
inline constexpr std::string_view kSerialsTooFew =
    "the run is refused before any pack is touched: the serial range of \"{}\" ({}..{}) has {} "
    "numbers left for {} packs; give the recipe a new range";
inline constexpr std::string_view kRecordsNoRun =
    "the records at {} cannot take the run ({}): the pack was not touched";
inline constexpr std::string_view kRecordsLost =
    "the records at {} could not be written ({}): a pack without its record is not a made pack";
inline constexpr std::string_view kStoppedIn = "stopped by the operator during {}";
inline constexpr std::string_view kFirmwareStopped = "stopped by the operator during firmware: {}";
inline constexpr std::string_view kStoppedBefore = "stopped by the operator before {}";
inline constexpr std::string_view kAdapterUnplugged = "adapter unplugged";
inline constexpr std::string_view kLeftInBootLoader =
    "left in the boot loader by an earlier run: run the firmware step (a recipe with [firmware], "
    "or cellwarden-cli fw update)";
inline constexpr std::string_view kActivityRework =
    "found in the boot loader (an earlier update did not finish): the firmware step reflashes it";
inline constexpr std::string_view kNoReason = "the gauge gave no reason";
inline constexpr std::string_view kFirmwareFailed = "the firmware update failed: {}";
inline constexpr std::string_view kScriptFailed = "the {} script failed at its line {}: {}";
inline constexpr std::string_view kScriptWriteFailed = "the gauge did not take a write";
inline constexpr std::string_view kScriptReadFailed = "the gauge did not answer a compare";
inline constexpr std::string_view kScriptMismatch = "the gauge answered {} where {} was expected";
inline constexpr std::string_view kScriptRefused = "the script was refused";
inline constexpr std::string_view kConstantsFailed = "the golden constants were not written: {}";
inline constexpr std::string_view kNoReferences = "no references were given for the calibration";
inline constexpr std::string_view kReferenceMissing =
    "the reference for {} was asked for and not given";
inline constexpr std::string_view kCalibrationFailed = "the calibration failed: {}";
inline constexpr std::string_view kBoardOffsetFailed = "the board offset calibration failed: {}";
inline constexpr std::string_view kReadingUnread = "{} could not be read from the gauge";
inline constexpr std::string_view kReadingOff =
    "{} reads {:g} after the calibration, {:g} from the reference {:g} (tolerance {:g})";
inline constexpr std::string_view kValueNotSet = "\"{}\" could not be set to {}: {}";
inline constexpr std::string_view kValueReadsBack =
    "\"{}\" was set to {} but the gauge holds \"{}\"";
inline constexpr std::string_view kSerialUnknownParameter = "no data flash value is named \"{}\"";
inline constexpr std::string_view kVerifyUnread = "the constants could not be read back: {}";
inline constexpr std::string_view kVerifyDiffers = "{} values differ from the golden file: {}";
inline constexpr std::string_view kVerifyDifference = "{} (gauge {}, golden {})";
inline constexpr std::string_view kVerifyMissingValue = "none";
inline constexpr std::string_view kReadingBelow = "{} reads {:g}, below its minimum {:g}";
inline constexpr std::string_view kReadingAbove = "{} reads {:g}, above its maximum {:g}";
inline constexpr std::string_view kFlagsSet =
    "{} reads 0x{:X}: a safety or permanent-failure flag is set";
inline constexpr std::string_view kSealFailed = "the pack was not sealed: {}";
inline constexpr std::string_view kActivityGauge = "reading the gauge's device type";
inline constexpr std::string_view kActivityHandoff = "handing the run to the factory's folder";
inline constexpr std::string_view kActivityPackOff = "waiting for the pack to be taken off";
inline constexpr std::string_view kActivityPackOn = "waiting for the next pack";
inline constexpr std::string_view kActivityReferences = "waiting for the references";
inline constexpr std::string_view kActivityProgress = "{} of {}";

}  // namespace cw::production::messages
