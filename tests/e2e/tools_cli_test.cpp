// The SubCMD panel and SHA-1 authentication through the command line, on one simulated pack
// kept in a state file between commands.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "cli_runner.h"

namespace cw::test {
namespace {

class ToolsCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_ = std::filesystem::temp_directory_path() /
             ("cw-tools-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".json");
    std::filesystem::remove(state_);
  }
  void TearDown() override { std::filesystem::remove(state_); }
  CliRun Run(const std::string& arguments) {
    return RunCli("--device sim:clock=virtual:state=" + state_.string() + " " + arguments);
  }
  std::filesystem::path state_;
};

TEST_F(ToolsCliTest, SealUnsealAndFullAccessMoveTheOperationStatus) {
  EXPECT_EQ(Run("seal").out, "0x0030 W\tN/A\n");
  // Sealed: the high byte of Operation Status carries the sealed bits (0x40 among them).
  const std::string status = Run("mba 54 2").out;
  ASSERT_GE(status.size(), 15u);
  EXPECT_NE(std::stoi(status.substr(12, 2), nullptr, 16) & 0x40, 0) << status;
  const CliRun locked = Run("unseal --full-access");
  EXPECT_EQ(locked.out, "0xA7C2058F\tN/A\nlocked\n");
  EXPECT_EQ(locked.exit_code, 1);
  const CliRun unsealed = Run("unseal");
  EXPECT_EQ(unsealed.exit_code, 0) << unsealed.err;
  EXPECT_EQ(unsealed.out, "0x3B9E61D4\tN/A\n");
  EXPECT_EQ(Run("unseal --full-access").exit_code, 0);
  EXPECT_EQ(Run("subcmd 54").err, "The SubCMD of 0x54 can't be writed from here!\n");
}

TEST_F(ToolsCliTest, SubcommandReadPrintsItsLogRow) {
  const CliRun run = Run("subcmd 2");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(std::regex_match(run.out, std::regex("0x0002 R\t0x[0-9A-F]{4}\n"))) << run.out;
  EXPECT_EQ(Run("subcmd 0a").exit_code, 1);
}

TEST_F(ToolsCliTest, SmbBlockReadChecksThePecAndShowsTheData) {
  const CliRun status = Run("smb read-block 54");
  EXPECT_EQ(status.exit_code, 0) << status.err;
  EXPECT_TRUE(std::regex_match(status.out, std::regex("([0-9A-F]{2} ){2}\n"))) << status.out;
  const CliRun name = Run("smb read-block 21");
  EXPECT_EQ(name.out, "4B 54 35 38 30 37 31 34 \n");
  const CliRun data_error = Run("smb write-block 2F '" + std::string(62 * 3, '1') + "'");
  EXPECT_EQ(data_error.exit_code, 1);
  EXPECT_EQ(data_error.err, "Input Data Error!\n");
}

TEST_F(ToolsCliTest, CalibrationMovesThePacksReadings) {
  const CliRun calibrated = Run("calibrate --cells 3900,3901,3902,3903 --current -2000");
  EXPECT_EQ(calibrated.exit_code, 0) << calibrated.err;
  EXPECT_EQ(calibrated.err, "Calibration OK.\n");
  // Block 0x71: count, subcommand, 0, then cells 1 to 4 and further words, low byte first.
  EXPECT_EQ(Run("mba 71 14").out.substr(0, 33), "10 71 00 3C 0F 3D 0F 3E 0F 3F 0F ");
  std::string current = Run("smb read-word 0A").out;
  EXPECT_EQ(current, "F830\n") << "the current now reads the -2000 mA reference";
  const CliRun refused = Run("calibrate --cells 2000,2000,0,0");
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.err, "The Enter Actual Cell Voltage'sum is too low, please reenter!\n");
}

TEST_F(ToolsCliTest, DigestNeedsNoGauge) {
  const CliRun run = RunCli(
      "auth digest 5A3C96E1B04F7D2288E1C35A9F06B47D 0000000000000000000000000000000000000000");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(std::regex_match(run.out, std::regex("[0-9A-F]{40}\n")));
  const CliRun bad = RunCli("auth digest 5A3C 00");
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_EQ(bad.err, "Please enter a valid 128 bit Key!\n");
}

TEST_F(ToolsCliTest, AuthenticationThenKeyChangeThenTheNewKey) {
  const std::string challenge = "0102030405060708090A0B0C0D0E0F1011121314";
  const std::string factory = "5A3C96E1B04F7D2288E1C35A9F06B47D";
  const std::string fresh = "FFEEDDCCBBAA99887766554433221100";
  const CliRun first = Run("auth check " + factory + " " + challenge);
  EXPECT_EQ(first.exit_code, 0) << first.err;
  EXPECT_EQ(first.err,
            "Authentication successed. KT580714 returned value that matches the digest!\n");
  const CliRun change = Run("auth change-key " + fresh);
  EXPECT_EQ(change.exit_code, 0) << change.err;
  EXPECT_EQ(change.err, "Key change successed!\n");
  EXPECT_EQ(Run("auth check " + fresh + " " + challenge).exit_code, 0);
  const CliRun old = Run("auth check " + factory + " " + challenge);
  EXPECT_EQ(old.exit_code, 1);
  EXPECT_TRUE(old.err.starts_with("Authentication failed. KT580714 returned\n")) << old.err;
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// The bad-input rules, on the same kind of pack in a state file.
class BadInputCliTest : public ToolsCliTest {};

// Typed hex words, bytes, keys and codes are their digits and nothing else: anything more, less
// or different is a usage error that names the argument, before the pack is even opened.
TEST_F(BadInputCliTest, HexArgumentsMustParseWhole) {
  struct Case {
    const char* arguments;
    const char* named;
  };
  const Case cases[] = {
      {"smb write-word 1 XYZ", "WORD: \"XYZ\" is not a hex word"},
      {"smb write-word 1 -- -1", "WORD: \"-1\" is not a hex word"},
      {"smb write-word 1 0x190", "WORD: \"0x190\" is not a hex word"},
      {"smb write-word 1 12345", "WORD: \"12345\" is not a hex word"},
      {"smb write-word 1 ''", "WORD: \"\" is not a hex word"},
      {"smb write-combined 00 61D4 3B9E0", "WORD2: \"3B9E0\" is not a hex word"},
      {"smb read-word 1G", "CMD: \"1G\" is not an SMBus command"},
      {"smb read-block 100", "CMD: \"100\" is not an SMBus command"},
      {"smb write-block 2F 1G", "DATA: \"1G\" is not block data"},
      {"subcmd ZZZZ", "CODE: \"ZZZZ\" is not a subcommand code"},
      {"subcmd 10054", "CODE: \"10054\" is not a subcommand code"},
      {"unseal --key GGGGGGGG", "--key: \"GGGGGGGG\" is not an unseal key"},
      {"mba 5G 2", "SUB: \"5G\" is not a hex byte"},
  };
  for (const Case& c : cases) {
    const CliRun run = Run(c.arguments);
    EXPECT_EQ(run.exit_code, 2) << c.arguments;
    EXPECT_NE(run.err.find(c.named), std::string::npos) << c.arguments << "\n" << run.err;
    EXPECT_FALSE(std::filesystem::exists(state_)) << c.arguments << ": the pack was opened";
  }
  EXPECT_EQ(Run("smb write-word 1 190").exit_code, 0);
  EXPECT_EQ(Run("subcmd 0x0002").exit_code, 0);
  EXPECT_EQ(Run("smb read-word 0d").exit_code, 0);
}

// A number is the whole text, in the row's format for a data-flash value: the product's own
// "not a valid number" refuses it, and the gauge keeps its value.
TEST_F(BadInputCliTest, NumbersMustParseWholeInTheRowsFormat) {
  const std::string before = Run("df get 'CUV Threshold'").out;
  ASSERT_FALSE(before.empty());
  for (const char* typed : {"1e400", "2.6e3", "2500mV", "0x9C4"}) {
    const CliRun run = Run(std::string("df set 'CUV Threshold' ") + typed);
    EXPECT_EQ(run.exit_code, 1) << typed;
    EXPECT_EQ(run.err, "The value entered is not a valid number.\n") << typed;
  }
  const CliRun beyond = Run("df set 'CUV Threshold' 99999999999999999999");
  EXPECT_EQ(beyond.exit_code, 1);
  EXPECT_EQ(beyond.err,
            "The value entered is out of limits. Please enter a value between 0 and 32767 mV\n");
  EXPECT_EQ(Run("df get 'CUV Threshold'").out, before) << "nothing was written";
  const CliRun temperature = Run("df set 'Over Temp Chg' 1e400");
  EXPECT_EQ(temperature.exit_code, 1);
  EXPECT_NE(temperature.err.find("out of limits"), std::string::npos) << temperature.err;
  for (const char* typed : {"nan", "inf", "-1e", "25C"}) {
    const CliRun run = Run(std::string("calibrate --ts1 ") + typed);
    EXPECT_EQ(run.exit_code, 2) << typed;
    EXPECT_NE(run.err.find("--ts1: \"" + std::string(typed) + "\" is not a temperature"),
              std::string::npos)
        << run.err;
  }
  EXPECT_EQ(Run("calibrate --current -2k").exit_code, 2);
  EXPECT_EQ(Run("calibrate --cells 3900,3900,3900").exit_code, 2);
  EXPECT_EQ(Run("calibrate --cells 3900,3900,3900,-1").exit_code, 2);
  const CliRun digest = Run("auth check 5A3C 00");
  EXPECT_EQ(digest.exit_code, 2);
  EXPECT_EQ(digest.err, "Please enter a valid 128 bit Key!\n");
}

// References no pack can have are refused with the page's message before anything is sent.
TEST_F(BadInputCliTest, CalibrationReferencesOutsideTheirRangeSendNothing) {
  ASSERT_EQ(Run("read-word 09").exit_code, 0);
  const std::string before = FileText(state_);
  struct Case {
    const char* arguments;
    const char* message;
  };
  const Case cases[] = {
      {"calibrate --ts1 1e30", "TS1 Temperature must be a number between -40.0 and 130.0"},
      {"calibrate --ts2=-300", "TS2 Temperature must be a number between -40.0 and 130.0"},
      {"calibrate --ts4 1e400", "TS4 Temperature must be a number between -40.0 and 130.0"},
      {"calibrate --cells 999999,3900,3900,3900", "Cell Voltage 1 must be between 0 and 5000 mV"},
      {"calibrate --cells 3900,3900,3900,99999999999999999999",
       "Cell Voltage 4 must be between 0 and 5000 mV"},
      {"calibrate --current=-40000", "must not be below -32768 mA"},
  };
  for (const Case& c : cases) {
    const CliRun run = Run(c.arguments);
    EXPECT_EQ(run.exit_code, 1) << c.arguments;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << "\n" << run.err;
    EXPECT_EQ(FileText(state_), before) << c.arguments << ": the pack changed";
  }
}

// The pack's state file is a regular file or nothing yet; anything else is refused at once,
// and a save that fails fails the command.
TEST(StateFileCliTest, OnlyARegularFileHoldsThePack) {
  const auto folder = std::filesystem::temp_directory_path() /
                      ("cw-e2e-state-folder-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  { std::ofstream(folder / "plain") << "x"; }
  struct Case {
    std::string path;
    const char* message;
  };
  const Case cases[] = {
      {"/dev/zero", "/dev/zero: it is a device, pipe or socket, not a regular file"},
      {folder.string(), ": it is a folder"},
      {(folder / "plain" / "pack.json").string(), "Not a directory"},
      {(folder / "gone" / "pack.json").string(), "Can not write the file"},
  };
  for (const Case& c : cases) {
    const CliRun run = RunCli("--device sim:clock=virtual:state=" + c.path + " seal");
    EXPECT_EQ(run.exit_code, 1) << c.path;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.path << "\n" << run.err;
  }
  EXPECT_EQ(FileText(folder / "plain"), "x");
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace cw::test

namespace cw::test {
namespace {

TEST(FaultCliTest, SafetyAlarmFromTheDeviceStringShowsInSafetyStatus) {
  const CliRun run = RunCli("--device sim:clock=virtual:faults=safety-alarm=0002 mba 51 4");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, 12), "06 51 00 02 ") << run.out;
}

}  // namespace
}  // namespace cw::test
