#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "common/front_end.h"
#include "common/function_ref.h"
#include "link/link_status.h"

namespace cw::link {
class GaugeLink;
}  // namespace cw::link

namespace cw::cli {

// What kind of failure a JSON error names, so that a script can tell a missing adapter from a
// mistyped argument without reading the message.
using common::ErrorKind;

using link::AdapterErrorKind;
using link::LinkErrorKind;

// How a command's result reaches stdout: as text for people, or with --json as one JSON
// document. A command that offers --json lets this choose the printer; everything it says about
// a failure goes through Error, so that the JSON form of a failure is the same everywhere.
class CommandOutput {
 public:
  // Gives `command` the --json flag.
  CLI::Option* OfferJson(CLI::App& command);
  // --json was given to the command being run. It holds from the moment the flag was parsed, so
  // a usage error found afterwards is answered in JSON too.
  bool json() const;

  // The command's result: `text` prints it for people, `document` builds it for --json.
  void Result(common::FunctionRef<void()> text,
              common::FunctionRef<nlohmann::ordered_json()> document) const;
  // A failure: a line on stderr, or with --json the error document on stdout. Returns
  // `exit_code`, the exit status the command gives for it either way.
  int Error(ErrorKind kind, std::string_view message, int exit_code) const;
  // A failure the core has already shown on stderr: the text has nothing to add, --json gives
  // the error document.
  int ErrorShown(ErrorKind kind, std::string_view message, int exit_code) const;
  // The link's last failure in the status bar's words; a gauge that does not answer because it
  // waits in its boot loader is named for that, with what recovers it.
  int LinkError(link::GaugeLink& link, int exit_code) const;

 private:
  std::vector<const CLI::Option*> json_flags_;
};

// The text a failed operation's outcome gives for the error: its last error or warning, else its
// last message, else `fallback`.
std::string_view OutcomeMessage(const common::Outcome& outcome, std::string_view fallback);

}  // namespace cw::cli
