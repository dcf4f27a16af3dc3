// The SubCMD panel and SHA-1 authentication through the command line, on one simulated pack
// kept in a state file between commands.
#include <gtest/gtest.h>

#include <filesystem>
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
