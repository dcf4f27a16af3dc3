#pragma once

#include <string_view>

// Every text of the production station: recipe problems, the station check, the records store.
namespace cw::production::messages {

// Reading a recipe. "{}" in a key text is the table the key is in, as "[steps.serial]".
inline constexpr std::string_view kNoSha256 = "the crypto library computes no SHA-256";
inline constexpr std::string_view kWrongType = "\"{}\" in {} must be {}";
inline constexpr std::string_view kTypeText = "a text";
inline constexpr std::string_view kTypeTable = "a table";
inline constexpr std::string_view kTypeTextList = "a list of texts";
inline constexpr std::string_view kTypeLimitList =
    "a list of tables { register = \"NAME\", min = N, max = N }";
inline constexpr std::string_view kTypeReferenceList =
    "a list of 2 to 4 cell voltages, each a number or \"ask\"";
inline constexpr std::string_view kTypeWord = "a whole number from 0 to 0xFFFF";
inline constexpr std::string_view kTypeDate = "\"today\" or a date as YYYY-MM-DD";
inline constexpr std::string_view kTypeTolerance = "a number above 0";
inline constexpr std::string_view kNoSteps = "the recipe names no step: [steps.NAME] for each one";
inline constexpr std::string_view kEmptyPath = "\"{}\" in {} names no file";

// Values that make no sense.
inline constexpr std::string_view kUnknownParameter =
    "\"{}\" is not a data flash parameter (names as on the Flash page)";

// Files a recipe uses.
inline constexpr std::string_view kFileUnreadable = "{}: {}";
inline constexpr std::string_view kHandoffUnwritten = "the hand-off {} could not be written: {}";
inline constexpr std::string_view kGoldenNotAfi = "{}: not a constants file the product reads: {}";
inline constexpr std::string_view kImageSize =
    "{}: {} bytes is no firmware image (whole 32-byte records, at least one)";

// The records store.
inline constexpr std::string_view kNoDataFolder =
    "neither XDG_DATA_HOME nor HOME is set, so there is no folder for the records: name them "
    "with --records FILE";
inline constexpr std::string_view kRecordsUnopenable = "the records at {} cannot be opened: {}";
inline constexpr std::string_view kNewerSchema =
    "the records at {} have layout {}, written by a newer Cellwarden (this one knows layout {}); "
    "they were left untouched";
inline constexpr std::string_view kNotRecords =
    "{} is not a Cellwarden records store: it holds other tables, and was left as it is";
inline constexpr std::string_view kNoSuchRun = "there is no run {} in the records at {}";
inline constexpr std::string_view kRangeExhausted =
    "every number of the serial range {}..{} (step {}) of \"{}\" has been issued: the recipe "
    "needs a new range";

// A golden file that would copy one pack's own values into every pack (a warning: the line may
// mean it), then one line per value.
inline constexpr std::string_view kNoRuns = "no runs";
inline constexpr std::string_view kRunLine = "{:>6}  {:<26}  {:<12}  {:<12}  {:>10}  {:<11}  {}";
inline constexpr std::string_view kSerialsHeading = "{:<20}  {:>10}  {:>6}  {}";

// The station: lanes, runs and the failure of a step, in words an operator can act on.
inline constexpr std::string_view kRecipeMaterial = "{}: {}";
inline constexpr std::string_view kGaugeStepName = "gauge";
// What a run failed at when its hand-off to the factory could not be written.
inline constexpr std::string_view kRecordsUnwritable =
    "the run is refused before any pack is touched: {}";
inline constexpr std::string_view kRecordsLost =
    "the records at {} could not be written ({}): a pack without its record is not a made pack";
inline constexpr std::string_view kStoppedIn = "stopped by the operator during {}";
inline constexpr std::string_view kAdapterUnplugged = "adapter unplugged";
inline constexpr std::string_view kLeftInBootLoader =
    "left in the boot loader by an earlier run: run the firmware step (a recipe with [firmware], "
    "or cellwarden-cli fw update)";
inline constexpr std::string_view kNoReason = "the gauge gave no reason";
inline constexpr std::string_view kScriptRefused = "the script was refused";
inline constexpr std::string_view kReadingUnread = "{} could not be read from the gauge";
inline constexpr std::string_view kVerifyMissingValue = "none";
inline constexpr std::string_view kActivityPackOff = "waiting for the pack to be taken off";
inline constexpr std::string_view kActivityPackOn = "waiting for the next pack";

}  // namespace cw::production::messages
