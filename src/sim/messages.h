#pragma once

#include <string_view>

// Every text the simulated pack shows a user: fault strings typed on the command line and state
// files that cannot be used or are in use. Format strings take their arguments through fmt.
namespace cw::sim::messages {

inline constexpr std::string_view kStateLockFailed =
    "The pack state file {} could not be locked against other processes ({}: {})";

}  // namespace cw::sim::messages
