#pragma once

#include <string_view>

// Every text the simulated pack shows a user: fault strings typed on the command line and state
// files that cannot be used or are in use. Format strings take their arguments through fmt.
namespace cw::sim::messages {

inline constexpr std::string_view kFaultUnknownKey =
    "Unknown fault \"{}\" (known: nack-every, nack-probability, seed, corrupt-pec-every, "
    "drop-after, short-replies, oversized-replies, stuck-boot, safety-alarm)";
inline constexpr std::string_view kFaultBadAlarm =
    "Fault \"safety-alarm\" takes the Safety Status bits in hex, not \"{}\"";
inline constexpr std::string_view kFaultNeedsValue = "Fault \"{}\" needs a value ({}={})";
inline constexpr std::string_view kFaultTakesNoValue = "Fault \"{}\" takes no value";
inline constexpr std::string_view kFaultBadCount =
    "Fault \"{}\": \"{}\" is not a whole number from 1 to 2147483647";
inline constexpr std::string_view kFaultBadSeed =
    "Fault \"seed\": \"{}\" is not a whole number from 0 to 4294967295";
inline constexpr std::string_view kFaultBadProbability =
    "Fault \"nack-probability\": \"{}\" is not a number from 0 to 1";
inline constexpr std::string_view kFaultConflictingReplies =
    "Faults \"short-replies\" and \"oversized-replies\" cannot be combined";

// A set of simulated packs.
inline constexpr std::string_view kPackCountOutOfRange =
    "packs={} is not a number of packs from 1 to {}";
inline constexpr std::string_view kFaultsForMissingPack =
    "Faults for pack {}, but there are {} packs (they count from 1)";
inline constexpr std::string_view kStateFolderUnusable =
    "The pack state folder {} cannot be used: {}";
inline constexpr std::string_view kNotAFolder = "it is not a folder";

inline constexpr std::string_view kStateNotJson = "The pack state file {} is not valid JSON: {}";
inline constexpr std::string_view kStateBadContent = "The pack state file {} is damaged: {}";
inline constexpr std::string_view kStateNotSavedAfterLoadError =
    "The pack state was not saved to {}: that file could not be loaded, and saving would "
    "overwrite it ({})";
inline constexpr std::string_view kStateNoFile = "No pack state file was given";
inline constexpr std::string_view kStateInUseBy =
    "The pack state file {} is in use by process {}: it was still locked after {:g} s of "
    "waiting. Try again when that process has finished.";
inline constexpr std::string_view kStateInUse =
    "The pack state file {} is in use by another process: it was still locked after {:g} s of "
    "waiting. Try again when that process has finished.";
inline constexpr std::string_view kProcessWithName = "{} ({})";
inline constexpr std::string_view kStateAlreadyAttached =
    "The pack keeps its state in {} already; it cannot take {} as well";
inline constexpr std::string_view kStateLockFailed =
    "The pack state file {} could not be locked against other processes ({}: {})";

}  // namespace cw::sim::messages
