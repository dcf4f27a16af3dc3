#pragma once

#include <string>
#include <vector>

namespace cw::test {

struct CliRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs cellwarden-cli with `arguments` (shell words) and collects its exit code, stdout and
// stderr. `environment` ("NAME=value ...") is set for that run only.
CliRun RunCli(const std::string& arguments, const std::string& environment = "");

// USB exchanges of one run, counted in its --trace output.
int Exchanges(const CliRun& traced);

// The lines of a data log (CR LF line ends), without their line ends.
std::vector<std::string> LogLines(const std::string& text);

}  // namespace cw::test
