#pragma once

#include <string>

namespace cw::test {

struct CliRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs cellwarden-cli with `arguments` (shell words) and collects its exit code, stdout and
// stderr.
CliRun RunCli(const std::string& arguments);

}  // namespace cw::test
