#pragma once

#include <string_view>

#include "common/error.h"

namespace cw::link {

// Outcome of the last transaction, shown in the status bar once per second.
enum class LinkStatus : int {
  kConnected = 0,      // last transaction succeeded
  kNoAdapter = 1,      // no adapter could be opened
  kNotResponding = 2,  // the adapter answered but the gauge refused or did not acknowledge
  // The adapter was opened, but its reports or packets failed (stalled, timed out, short or
  // garbled): the problem is between the PC and the adapter, not on the SMBus.
  kAdapterNotAnswering = 3,
};

// The link's state in words ("USB Connected", "Target Board Not Responding", ...): the window's
// status bar shows it, the command line prints it with a failure.
std::string_view LinkStatusText(LinkStatus status);

// The kind of failure the link's state names (a failed transaction on a connected link: kFailed).
common::ErrorKind LinkErrorKind(LinkStatus status);
// The same for an exchange with the adapter alone (its version): the adapter's fault, unless the
// link knows better.
common::ErrorKind AdapterErrorKind(LinkStatus status);

}  // namespace cw::link
