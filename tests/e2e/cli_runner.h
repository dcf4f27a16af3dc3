#pragma once

#include <gtest/gtest.h>

#include <filesystem>
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

// A test with a scratch folder of its own (named after the test and the process, emptied before
// and removed after) and one simulated pack on the virtual clock, kept in pack.json in it.
class ScratchFolderTest : public ::testing::Test {
 protected:
  ScratchFolderTest();
  ~ScratchFolderTest() override;

  // `name` in the scratch folder.
  std::string P(const std::string& name) const { return (dir_ / name).string(); }
  // The --device option for the pack, with `more` options (":faults=..."), and a space.
  std::string Device(const std::string& more = "") const {
    return "--device sim:clock=virtual:state=" + P("pack.json") + more + " ";
  }
  CliRun Sim(const std::string& arguments) const { return RunCli(Device() + arguments); }
  static std::string Read(const std::string& path);
  static void Write(const std::string& path, const std::string& text);

  const std::filesystem::path dir_;
};

}  // namespace cw::test
