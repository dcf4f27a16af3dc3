#pragma once

#include <string>

namespace cw::test {

struct CliRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs cellwarden-cli with `arguments` (shell words) and collects its exit code, stdout and
// stderr. `environment` ("NAME=value ...") is set for that run only.
CliRun RunCli(const std::string& arguments, const std::string& environment = "");

}  // namespace cw::test
