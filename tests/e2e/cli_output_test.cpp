// cellwarden-cli with outputs that cannot be written (a full disk, a closed stream), and the
// texts of its refusals: every failure is said, none ends in an abort, and what a command did to
// the pack is kept whatever became of its output.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStdoutLost = "the results could not be written to stdout: ";

class CliOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("cw-output-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string P(const std::string& name) const { return (dir_ / name).string(); }
  std::string Pack(const std::string& name = "pack.json") const {
    return "--device sim:clock=virtual:state=" + P(name) + " ";
  }

  // Runs the program with its streams sent where `out` and `err` say (shell redirections; empty
  // keeps the stream in a file that is read back). A program killed by a signal gives 128 + it.
  CliRun Run(const std::string& arguments, const std::string& out, const std::string& err) {
    const std::string out_file = P("stdout.txt");
    const std::string err_file = P("stderr.txt");
    fs::remove(out_file);
    fs::remove(err_file);
    const std::string command = std::string(CELLWARDEN_CLI) + " " + arguments + " " +
                                (out.empty() ? ">" + out_file : out) + " " +
                                (err.empty() ? "2>" + err_file : err);
    const int status = std::system(command.c_str());
    CliRun run;
    run.exit_code = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    run.out = Read(out_file);
    run.err = Read(err_file);
    return run;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir_;
};

// What a command writes to a stdout that does not take it is lost: the command fails (exit 1)
// and says so on stderr, after its work is done; it never aborts, whatever the size of its
// output.
TEST_F(CliOutputTest, LostResultsFailTheCommandAndNeverAbort) {
  ASSERT_EQ(RunCli(Pack("source.json") + "fw export " + P("f.bin")).exit_code, 0);
  const std::string offline[] = {"pec 61 62 63", "--version", "--help", "param list"};
  // Each takes the pack as the one before left it: SEAL comes last.
  const std::string on_pack[] = {
      "about",
      "read-word 09",
      "mba 54 2",
      "watch 09 --count 2 --interval-ms 10",
      "scan --once",
      "df dump",
      "df get \"CUV Threshold\"",
      "df set \"CUV Threshold\" 2600",
      "subcmd 9",
      "smb read-word 9",
      "fw update " + P("f.bin"),
      "seal",
  };
  struct Lost {
    const char* redirect;
    const char* reason;
  };
  int pack = 0;
  for (const Lost lost :
       {Lost{">/dev/full", "No space left on device"}, Lost{">&-", "Bad file descriptor"}}) {
    std::vector<std::string> commands(std::begin(offline), std::end(offline));
    const std::string device = Pack("pack" + std::to_string(++pack) + ".json");
    for (const std::string& command : on_pack) commands.push_back(device + command);
    for (const std::string& command : commands) {
      const CliRun run = Run(command, lost.redirect, "");
      const std::string label = command + " " + lost.redirect;
      EXPECT_EQ(run.exit_code, 1) << label << "\n" << run.err;
      EXPECT_NE(run.err.find(std::string(kStdoutLost) + lost.reason), std::string::npos)
          << label << "\n"
          << run.err;
      EXPECT_EQ(run.err.find("terminate"), std::string::npos) << label;
    }
  }
}

// The work is kept: the pack's state file is saved when stdout or stderr fails, and a
// message that stderr does not take changes nothing else.
TEST_F(CliOutputTest, WhatACommandDidIsKeptWhateverBecameOfItsOutput) {
  ASSERT_EQ(RunCli(Pack("source.json") + "df set \"CUV Threshold\" 2700").exit_code, 0);
  ASSERT_EQ(RunCli(Pack("source.json") + "df read-all -o " + P("w.afi")).exit_code, 0);
  struct Case {
    std::string command;
    const char* out;
    const char* err;
    int exit_code;
    const char* threshold;  // what the pack holds afterwards
  };
  const Case cases[] = {
      {"df set \"CUV Threshold\" 2600", ">/dev/full", "", 1, "2600"},
      {"df set \"CUV Threshold\" 2600", ">&-", "", 1, "2600"},
      {"df write " + P("w.afi"), ">/dev/full", "", 0, "2700"},
      {"df write " + P("w.afi"), "", "2>/dev/full", 0, "2700"},
      {"df write " + P("w.afi"), "", "2>&-", 0, "2700"},
      {"df write " + P("w.afi"), ">&-", "2>&-", 0, "2700"},
  };
  int pack = 0;
  for (const Case& c : cases) {
    const std::string state = "pack" + std::to_string(++pack) + ".json";
    const std::string label = c.command + " " + c.out + " " + c.err;
    const CliRun run = Run(Pack(state) + c.command, c.out, c.err);
    EXPECT_EQ(run.exit_code, c.exit_code) << label << "\n" << run.err;
    const CliRun held = RunCli(Pack(state) + "df get \"CUV Threshold\"");
    EXPECT_EQ(held.exit_code, 0) << label << "\n" << held.err;
    EXPECT_EQ(held.out, std::string(c.threshold) + "\n") << label;
  }
}

// Failures whose messages go nowhere still fail with their own exit status.
TEST_F(CliOutputTest, MessagesThatCannotBeWrittenAreDroppedWithoutAnAbort) {
  const char* failing[][2] = {
      {"--device sim:faults=nack-every=1:clock=virtual read-word 09", "1"},
      {"--device sim:clock=virtual smb write-block 20 41", "1"},
      {"read-word 1G", "2"},
      {"--sim log x.LOG --samples 0", "2"},
  };
  for (const char* err : {"2>/dev/full", "2>&-"}) {
    for (const auto& [command, exit_code] : failing) {
      const CliRun run = Run(command, "", err);
      EXPECT_EQ(run.exit_code, std::atoi(exit_code)) << command << " " << err;
    }
  }
}

// Refusals say what failed; ranges read as a person writes them; whole numbers only.
TEST_F(CliOutputTest, RefusalsSayWhatFailed) {
  std::string bytes_25;
  for (int i = 0; i < 25; ++i) bytes_25 += "01 ";
  struct Case {
    std::string command;
    int exit_code;
    std::string message;
  };
  const std::string device = "--device sim:clock=virtual ";
  const Case cases[] = {
      {device + "smb write-block 20 \"41 42\"", 1,
       "0x20 takes no block write: block writes go to 0x2F, 0x44, 0x70, the data flash pages "
       "0x78 to 0x7C and 0xFF (a raw frame).\n"},
      {device + "smb write-block 2F \"\"", 1,
       "0x2F needs at least one data byte: nothing was sent.\n"},
      {device + "smb write-block 2F \"" + bytes_25 + "\"", 1,
       "0x2F takes at most 20 data bytes, not 25: nothing was sent.\n"},
      {device + "smb read-word 54", 1, "0x54 is a block command: read and write it as a block.\n"},
      {device + "log x.LOG --samples 0", 2,
       "--samples: \"0\" is not a whole number of 1 or more\n"},
      {device + "watch 09 --count -1", 2, "--count: \"-1\" is not a whole number of 0 or more\n"},
      {device + "watch 09 --count 0x10", 2,
       "--count: \"0x10\" is not a whole number of 0 or more\n"},
      {device + "mba 54 40", 2, "N: \"40\" is not a whole number from 0 to 32\n"},
      {device + "log x.LOG --samples 1 --interval 1.5", 2,
       "--interval: \"1.5\" is not a whole number from 1 to 60\n"},
  };
  for (const Case& c : cases) {
    const CliRun run = RunCli(c.command);
    EXPECT_EQ(run.exit_code, c.exit_code) << c.command << "\n" << run.err;
    EXPECT_TRUE(run.err.starts_with(c.message)) << c.command << "\n" << run.err;
  }
  // "010" is ten, as typed, not the octal eight.
  const CliRun ten = RunCli(device + "watch 09 --count 010 --interval-ms 10");
  EXPECT_EQ(ten.exit_code, 0) << ten.err;
  EXPECT_EQ(std::count(ten.out.begin(), ten.out.end(), '\n'), 10);
}

// --sim-state names a file, whatever characters the name holds.
TEST_F(CliOutputTest, SimStateIsTheFileItNames) {
  for (const char* name : {"a:b.json", "q:faults=drop-after=1"}) {
    const CliRun run = RunCli("--sim-state " + P(name) + " --device sim:clock=virtual scan --once");
    EXPECT_EQ(run.exit_code, 0) << name << "\n" << run.err;
    EXPECT_TRUE(fs::exists(P(name))) << name;
  }
}

}  // namespace
}  // namespace cw::test
