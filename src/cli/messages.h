#pragma once

#include <string_view>

#include "common/doc_dir.h"

// Texts of the command-line front end that are not the product's own messages.
namespace cw::cli::messages {

inline constexpr std::string_view kAppDescription =
    "Cellwarden Tools: evaluation and configuration workbench for the KT580714 fuel gauge";
inline constexpr std::string_view kNotHexByte = "a hex byte (00..FF)";
inline constexpr std::string_view kVersionUnreadable = "the adapter version could not be read";

// A result that could not be written: the command fails once its work is done.
inline constexpr std::string_view kResultsLost = "the results could not be written to stdout: {}";
// watch: readings that failed, shown as "----".
inline constexpr std::string_view kWatchValuesNotRead = "{} of {} values could not be read: {}";
// A count option: a whole number in its range, the range as a person writes it.
inline constexpr std::string_view kRuleWholeNumber = "a whole number {}";
inline constexpr std::string_view kRangeClosed = "from {} to {}";
inline constexpr std::string_view kRangeOpen = "of {} or more";

// unseal: the gauge still reports the lock after the key.
inline constexpr std::string_view kLocked = "locked";

// Typed arguments: "\"TEXT\" is not RULE", after the argument's name.
inline constexpr std::string_view kArgumentBreaksRule = "\"{}\" is not {}";
inline constexpr std::string_view kRuleSmbCommand = "an SMBus command: 1 or 2 hex digits";
inline constexpr std::string_view kRuleHexWord = "a hex word: 1 to 4 hex digits";
inline constexpr std::string_view kRuleBlockData =
    "block data: bytes of 1 or 2 hex digits separated by blanks";
inline constexpr std::string_view kRuleSubcommand =
    "a subcommand code: 1 to 4 hex digits, optionally after 0x";
inline constexpr std::string_view kRuleKey =
    "an unseal key: 1 to 8 hex digits, optionally after 0x";
inline constexpr std::string_view kRuleCells =
    "four cell voltages in mV, whole numbers separated by commas";
inline constexpr std::string_view kRuleTemperature = "a temperature in degrees Celsius";
inline constexpr std::string_view kRuleCurrent = "a current in mA, a whole number";
// unseal: the gauge's Operation Status could not be read after the key.
inline constexpr std::string_view kLockUnknown = "unknown";
// The simulated pack's state file.

// A gauge that answers only from its boot loader.
inline constexpr std::string_view kGaugeInBootLoader =
    "The gauge waits in its boot loader (an update was stopped or failed) and answers nothing "
    "else: cellwarden-cli fw update IMAGE writes its firmware again and recovers it.";
// Ctrl-C or SIGTERM again while a command finishes the step it is in.
inline constexpr std::string_view kStopFinishingStep =
    "Stopping: the current step is being finished first (a flash write is never cut).";

// scan and log
namespace scan {
inline constexpr std::string_view kScanDescription =
    "Read the SBS register table: one pass with --once, else a live view until Ctrl-C";
inline constexpr std::string_view kLogDescription =
    "Scan rows and write them to a data log file every interval";
inline constexpr std::string_view kUnknownRow = "\"{}\" is not a register row of tables A, B or C";
inline constexpr std::string_view kRowsNotRead = "{} of {} rows could not be read: {}";
inline constexpr std::string_view kLiveHeading = "Cellwarden SBS scan ({})  pass {}  {}";
inline constexpr std::string_view kLiveFooter = "Ctrl-C ends the scan.";
inline constexpr std::string_view kLogWritten = "{} data lines written to {}";
inline constexpr std::string_view kLogFieldsNotRead =
    "{} of {} logged values could not be read and are written as {} ({})";
inline constexpr std::string_view kLogRowsNotRead = "not read: {}";
inline constexpr std::string_view kMoreRows = "{} and {} more";
}  // namespace scan

// param and df
namespace df {
inline constexpr std::string_view kUnknownParameter = "unknown parameter: {}";
inline constexpr std::string_view kBadBytes = "{} takes {} raw bytes in hex";
inline constexpr std::string_view kBadStringBytes = "{} takes 1 to {} raw bytes in hex";
inline constexpr std::string_view kNoSuchFile = "no such file: {}";
inline constexpr std::string_view kGaugeReadFailed = "reading {} from the gauge failed";
inline constexpr std::string_view kEditIgnored = "the edit was ignored";
inline constexpr std::string_view kBusBusy = "the bus stayed busy; nothing was written";
inline constexpr std::string_view kReadBackDiffers = "the gauge kept another value: {}";
inline constexpr std::string_view kWritten = "{}";
// `df diff`: the value of a key one side lacks.
inline constexpr std::string_view kNoKey = "(missing)";
}  // namespace df

// the files and firmware commands: what a failure leaves behind
namespace files {
inline constexpr std::string_view kDataFlashUnread = "the data flash could not be read";
inline constexpr std::string_view kNothingWritten = "; nothing was written";
inline constexpr std::string_view kEditFailedHolds = "writing {} failed; the gauge now holds {}";
// The write may have gone through before the link failed: only a read tells.
inline constexpr std::string_view kEditFailedUnread =
    "whether {0} was written is unknown: the gauge could not be read afterwards; read it back "
    "(df get \"{0}\")";
}  // namespace files

// fs check and fs play
namespace fs_script {
inline constexpr std::string_view kGroupDescription = "Check and play FS scripts (.fs)";
inline constexpr std::string_view kCheckDescription =
    "Check a script line by line without touching a pack: exit 0 clean, 1 problems found";
inline constexpr std::string_view kPlayDescription =
    "Check a script, then play it on the pack: writes, compares and waits, line by line";
inline constexpr std::string_view kDryRunOption =
    "play on a simulated pack (the --sim-state file, else a fresh one), never on an adapter";
inline constexpr std::string_view kProblemAtLine = "{}:{}: {}";
inline constexpr std::string_view kProblemOfFile = "{}: {}";
inline constexpr std::string_view kMoreProblems = "{}: {} more problem(s) not listed";
inline constexpr std::string_view kClean =
    "{}: {} lines, {} writes, {} compares, {} waits: no problems";
inline constexpr std::string_view kDryRunFresh =
    "Dry run: playing on a fresh simulated pack, not on an adapter.";
inline constexpr std::string_view kDryRunFromState =
    "Dry run: playing on the simulated pack of {}, not on an adapter.";
inline constexpr std::string_view kProgress = "line {} of {}, {} elapsed, {} remaining";
inline constexpr std::string_view kUnknownRemaining = "?";
}  // namespace fs_script

// doctor
namespace doctor {
inline constexpr std::string_view kDescription =
    "Look for the adapter: ids, device node, access rights, open and claim, the udev rule";
inline constexpr std::string_view kUdevDirOption =
    "look for the udev rule in DIR instead of the system's rule directories (repeatable)";
inline constexpr std::string_view kSimulated =
    "doctor looks at real adapters; the simulated pack needs none (run it without --sim)";
inline constexpr std::string_view kIds =
    "Adapter ids: vendor {:04x}, HID product {:04x}, bulk product {:04x}, bulk serial {}";
inline constexpr std::string_view kNoAdapter = "No adapter with vendor id {:04x} found.";
inline constexpr std::string_view kUsbUnlisted = "USB devices could not be listed: {}";
// The kind of node ("HID", "USB"), the node, its ids and serial number.
inline constexpr std::string_view kCandidate = "{} {}  {:04x}:{:04x}  serial \"{}\"";
inline constexpr std::string_view kCollections = "  collections: {}";
inline constexpr std::string_view kCollection = "{:04x}:{:04x}";
inline constexpr std::string_view kNode = "  node: {} {}:{}, this user {} read and write it";
inline constexpr std::string_view kMay = "may";
inline constexpr std::string_view kMayNot = "may not";
inline constexpr std::string_view kNodeMissing = "  node: not found";
inline constexpr std::string_view kOpenOk = "  open: ok";
inline constexpr std::string_view kOpenFailed = "  open: failed: {}";
inline constexpr std::string_view kClaimed = "  interface 0: claimed and released";
inline constexpr std::string_view kClaimFailed = "  interface 0: claim failed: {}";
inline constexpr std::string_view kKernelDriver =
    "  interface 0: held by a kernel driver (cellwarden detaches it when it opens the adapter)";
inline constexpr std::string_view kNotTheProduct = "  not the product id cellwarden opens ({:04x})";
inline constexpr std::string_view kRuleInstalled = "udev rule: {} (vendor {}, products {})";
inline constexpr std::string_view kRuleMissing = "udev rule: not installed (looked in {})";
inline constexpr std::string_view kVendorNamed = "named";
inline constexpr std::string_view kVendorNotNamed = "not named";
inline constexpr std::string_view kNone = "none";
inline constexpr std::string_view kGroupMember = "group {}: you are a member";
inline constexpr std::string_view kGroupNotMember = "group {}: you are not a member";
inline constexpr std::string_view kGroupMissing = "group {}: does not exist on this machine";
inline constexpr std::string_view kWhatToDo = "What to do:";
inline constexpr std::string_view kStepReady =
    "  - The adapter is ready: `cellwarden-cli probe` opens it.";
inline constexpr std::string_view kStepPlugIn =
    "  - Plug the adapter in; `lsusb -d {:04x}:` must list it (product {:04x} for HID, {:04x} "
    "for bulk). If its maker uses another vendor id, see " CW_DOC_DIR "/bring-up.md.";
inline constexpr std::string_view kStepUsbUnavailable =
    "  - libusb could not list the USB devices ({}): a bulk adapter cannot be found until it can.";
inline constexpr std::string_view kStepInstallRule =
    "  - Install the udev rule: sudo cp packaging/70-cellwarden.rules /etc/udev/rules.d/ && "
    "sudo udevadm control --reload && sudo udevadm trigger, then replug the adapter.";
inline constexpr std::string_view kStepAddProduct =
    "  - Add product {:04x} to the udev rule (" CW_DOC_DIR
    "/bring-up.md says how), reload the rules and replug the adapter.";
inline constexpr std::string_view kStepJoinGroup =
    "  - Add yourself to the {0} group (sudo usermod -aG {0} $USER), then log in again.";
inline constexpr std::string_view kStepReloadRules =
    "  - The rule names the adapter but access is still denied: sudo udevadm control --reload "
    "&& sudo udevadm trigger, then replug the adapter.";
inline constexpr std::string_view kStepUsePid =
    "  - The HID adapter answers as product {0:04x}: run with --pid {0:04X} (or enter 0x{0:04X} "
    "in PID/SN Cfg).";
inline constexpr std::string_view kStepCheckSerial =
    "  - The bulk adapter at {} has serial \"{}\": cellwarden wants the prefix followed by "
    "00000001; choose the prefix with --serial-prefix.";
inline constexpr std::string_view kStepCloseOther =
    "  - {} is held by another program: close it and try again.";
inline constexpr std::string_view kStepCannotOpen = "  - {} could not be opened: {}.";
inline constexpr std::string_view kStepNoAdapterCollections =
    "  - {} opens but carries none of the adapter's collections (usage page ff00): it is "
    "another device with the adapter's ids, or its firmware is not the one cellwarden expects.";
// Every step above starts with it; --json gives the steps without it.
inline constexpr std::string_view kStepBullet = "  - ";
}  // namespace doctor

// --json
namespace json_output {
inline constexpr std::string_view kOption =
    "print the result as one JSON document on stdout (" CW_DOC_DIR "/json.md describes each)";
}  // namespace json_output
// auth digest: the crypto library computed no digest.
// adapters
namespace adapters {
inline constexpr std::string_view kDescription =
    "List every attached adapter: transport, serial number, node, whether it can be opened, and "
    "what selects it";
inline constexpr std::string_view kRow = "{:<9} {:<14} {:<22} {:<4} {}";
inline constexpr std::string_view kTransport = "TRANSPORT";
inline constexpr std::string_view kSerial = "SERIAL";
inline constexpr std::string_view kNode = "NODE";
inline constexpr std::string_view kOpen = "OPEN";
inline constexpr std::string_view kSelect = "SELECT WITH";
inline constexpr std::string_view kYes = "yes";
inline constexpr std::string_view kNo = "no";
inline constexpr std::string_view kNoSerial = "-";
inline constexpr std::string_view kWhyNot = "  ({})";
inline constexpr std::string_view kNoneFound =
    "No adapter found (vendor {:04x}, HID product {:04x}, bulk product {:04x}); "
    "`cellwarden-cli doctor` says why.";
inline constexpr std::string_view kSimulatedHint =
    "Simulated adapters: add the SELECT WITH text at the end of the sim device string "
    "(--device sim:packs=N:...:adapter=hid:SERIAL) to drive that pack.";
inline constexpr std::string_view kUsbUnlisted = "USB devices could not be listed: {}";
}  // namespace adapters

// station run
namespace station {
inline constexpr std::string_view kRunDescription =
    "Run a recipe on the pack behind every adapter at once, and keep a record of each pack";
inline constexpr std::string_view kReferenceRefused = "--reference: {}";
inline constexpr std::string_view kReferenceForm =
    "--reference \"{}\": give NAME=VALUE, e.g. cell4=3700 (mV), current=-2000 (mA), ts1=25 (°C)";
inline constexpr std::string_view kReferenceNotAsked =
    "--reference {}: the recipe does not ask for it (it asks for: {})";
inline constexpr std::string_view kReferenceNotAskedAtAll =
    "--reference {}: the recipe asks for no reference";
inline constexpr std::string_view kReferenceNotNumber =
    "--reference \"{}\": the value is no number";
inline constexpr std::string_view kReferenceTwice = "--reference {} is given twice";
inline constexpr std::string_view kReferencesMissing =
    "the recipe asks for these references for each pack: {}; give them with --reference "
    "NAME=VALUE (on a terminal they are asked for each pack)";
inline constexpr std::string_view kAskHeading = "References for the pack on adapter {}:";
inline constexpr std::string_view kAskValue = "  {} ({}): ";
inline constexpr std::string_view kAskNotNumber = "  \"{}\" is no number; again:";
inline constexpr std::string_view kRecordsAt = "records: {}";
// The live lines: adapter, pack serial, then what the lane does.
inline constexpr std::string_view kLiveLine = "{:<14} serial {:>8}  {}";
inline constexpr std::string_view kLiveRunning = "{:<18} [{}] {}{}  {}";
inline constexpr std::string_view kLiveAttempt = " (attempt {})";
inline constexpr std::string_view kLiveIdle = "idle";
inline constexpr std::string_view kLiveWaiting = "waiting for the next pack";
inline constexpr std::string_view kLivePass = "PASS";
inline constexpr std::string_view kLiveFail = "FAIL at {}: {}";
inline constexpr std::string_view kLiveStopped = "stopped at {}";
inline constexpr std::string_view kLiveGone = "the adapter was unplugged";
inline constexpr std::string_view kLiveGoneAt = "the adapter was unplugged at {}";
inline constexpr std::string_view kLiveCounters = "{} pass, {} fail, {} stopped, yield {}   {}";
inline constexpr std::string_view kLiveHowToStop = "Ctrl-C stops every pack at a safe point.";
inline constexpr std::string_view kLiveStopping =
    "Stopping: each pack finishes its current step first.";
inline constexpr std::string_view kStepOf = "{}/{} {}";
inline constexpr std::string_view kNoStep = "the gauge check";
inline constexpr std::string_view kNoSerial = "-";
// The plain lines, one per event, each after the adapter's serial number.
inline constexpr std::string_view kPlainStarted = "{}  run {}  step {} started";
inline constexpr std::string_view kPlainRetry = "{}  run {}  step {} attempt {}";
inline constexpr std::string_view kPlainPassed = "{}  run {}  step {} passed";
inline constexpr std::string_view kPlainFailed = "{}  run {}  step {} failed: {}";
inline constexpr std::string_view kPlainRunPassed = "{}  run {}  pass, serial {}";
inline constexpr std::string_view kPlainRunFailed = "{}  run {}  fail at {}, serial {}";
inline constexpr std::string_view kPlainRunStopped = "{}  run {}  stopped at {}";
inline constexpr std::string_view kPlainWaiting = "{}  waiting for the next pack";
inline constexpr std::string_view kPlainGone = "{}  the adapter was unplugged";
inline constexpr std::string_view kPlainGoneDuring = "{}  run {}  the adapter was unplugged at {}";
inline constexpr std::string_view kRecordsMade =
    "New records made at {}: each serial range starts at its first number. If the line had "
    "records elsewhere, stop and name them with --records.";
// Ctrl-C during a station run.
inline constexpr std::string_view kStopping =
    "Stopping: each pack stops at its next safe point (between two firmware records, flash "
    "writes or steps; a write is never cut in half). The summary says what each pack holds.";
// The end of a run of the station.
inline constexpr std::string_view kSummary = "{} pass, {} fail, {} stopped; yield {}";
inline constexpr std::string_view kSummaryStopped = "  {} (serial {}): stopped at {}: {}";
inline constexpr std::string_view kSummaryGone = "  {} (serial {}): unplugged at {}: {}";
inline constexpr std::string_view kSummaryFailure = "  {} (serial {}): failed at {}: {}";
inline constexpr std::string_view kNoYield = "none";
}  // namespace station

// log summary
namespace log_summary {
inline constexpr std::string_view kDescription =
    "Sum up a data log (.LOG or CSV): its time, samples, interval and each register";
inline constexpr std::string_view kHeading = "{} ({} data log): {} samples from {} to {} ({})";
inline constexpr std::string_view kInterval =
    "Interval: {:.2f} s on average, largest gap {} s ({} to {})";
inline constexpr std::string_view kUnread = "Unread values: {}";
inline constexpr std::string_view kIncomplete =
    "The last line is cut short (a log still being written?) and is left out.";
inline constexpr std::string_view kColumnsHeading =
    "{:<26} {:<5} {:>12} {:>12} {:>12} {:>12} {:>7}";
}  // namespace log_summary

}  // namespace cw::cli::messages
