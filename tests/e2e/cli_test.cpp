// cellwarden-cli run the way a user runs it, against the simulated pack.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "cli_runner.h"

namespace cw::test {
namespace {

TEST(CliTest, PecOfAbcIs5F) {
  const CliRun run = RunCli("pec 61 62 63");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.out, "5F\n");
}

TEST(CliTest, PecRefusesWhatIsNotAHexByte) {
  EXPECT_EQ(RunCli("pec 61 6G").exit_code, 2);
  EXPECT_EQ(RunCli("pec").exit_code, 2);
}

TEST(CliTest, ProbePrintsTransportAndVersion) {
  struct Case {
    const char* device;
    const char* transport;
  };
  for (const Case& c : {Case{"--sim", "HID"}, Case{"--device sim:transport=bulk", "bulk"}}) {
    const CliRun run = RunCli(std::string(c.device) + " probe");
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(std::regex_match(
        run.out, std::regex(std::string(c.transport) + "\n[0-9A-F]\\.[0-9A-F]{3}\n|" + c.transport +
                            "\n[0-9]+\\.[0-9]{3}\n")))
        << run.out;
  }
}

TEST(CliTest, ReadWordPrintsFourHexDigits) {
  const CliRun run = RunCli("--sim read-word 09");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(std::regex_match(run.out, std::regex("[0-9A-F]{4}\n"))) << run.out;
}

TEST(CliTest, ReadWordFailureShowsTheStatusBarTextAndExits1) {
  const CliRun run = RunCli("--device sim:faults=nack-every=1:clock=virtual read-word 09");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Target Board Not Responding\n");
}

TEST(CliTest, NoAdapterIsUsbDisconnected) {
  const CliRun run = RunCli("--pid 1234 --device sim:clock=virtual read-word 09");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err, "USB Disconnected\n");
}

TEST(CliTest, ManufacturerBlockPrintsNPlusFourBytes) {
  const CliRun run = RunCli("--sim mba 54 2");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(
      std::regex_match(run.out, std::regex("04 54 00 [0-9A-F]{2} [0-9A-F]{2} [0-9A-F]{2}\n")))
      << run.out;
}

TEST(CliTest, TracePrintsEveryExchangeToStderr) {
  const CliRun run = RunCli("--sim --trace read-word 0D");
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.err.find("hid set > 01 17 0D 00 00 00 03 02"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("hid get < 03"), std::string::npos);
  EXPECT_TRUE(std::regex_match(run.out, std::regex("[0-9A-F]{4}\n")));
}

TEST(CliTest, UsageErrorsExit2) {
  EXPECT_EQ(RunCli("--device usb read-word 09").exit_code, 2);
  EXPECT_EQ(RunCli("--sim read-word").exit_code, 2);
  EXPECT_EQ(RunCli("--sim mba 54 99").exit_code, 2);
  EXPECT_EQ(RunCli("--sim --pid xyz read-word 09").exit_code, 2);
  EXPECT_EQ(RunCli("frobnicate").exit_code, 2);
}

TEST(CliTest, SimStateFileIsWrittenAndReadBack) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("cw-e2e-state-" + std::to_string(::getpid()) + ".json");
  std::filesystem::remove(path);
  const CliRun first = RunCli("--sim-state " + path.string() + " read-word 09");
  EXPECT_EQ(first.exit_code, 0) << first.err;
  EXPECT_TRUE(std::filesystem::exists(path));
  const CliRun second = RunCli("--sim-state " + path.string() + " read-word 09");
  EXPECT_EQ(second.exit_code, 0) << second.err;
  std::ofstream(path) << "{ not json";
  const CliRun broken = RunCli("--sim-state " + path.string() + " read-word 09");
  EXPECT_EQ(broken.exit_code, 1);
  EXPECT_FALSE(broken.err.empty());
  std::ifstream kept(path);
  std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "{ not json") << "a state file that cannot be read is never overwritten";
  std::filesystem::remove(path);
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// One simulated pack in a state file, for the bad-input rules below.
class BadInputCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state_ = std::filesystem::temp_directory_path() /
             ("cw-bad-input-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".json");
    std::filesystem::remove(state_);
  }
  void TearDown() override { std::filesystem::remove(state_); }
  CliRun Run(const std::string& arguments) {
    return RunCli("--device sim:clock=virtual:state=" + state_.string() + " " + arguments);
  }
  std::filesystem::path state_;
};

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
      {"/dev/zero", "is a device or other special file: it must be a regular file"},
      {folder.string(), "is a directory: it must be a regular file"},
      {(folder / "plain" / "pack.json").string(), "Cannot write the pack state file"},
  };
  for (const Case& c : cases) {
    const CliRun run = RunCli("--device sim:clock=virtual:state=" + c.path + " seal");
    EXPECT_EQ(run.exit_code, 1) << c.path;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.path << "\n" << run.err;
  }
  EXPECT_EQ(FileText(folder / "plain"), "x");
  std::filesystem::remove_all(folder);
}

TEST(CliTest, WatchReadsTheRegistersTheGivenNumberOfTimes) {
  const CliRun run = RunCli("--device sim:clock=virtual watch 09 0A --count 3");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const std::regex line("09=[0-9A-F]{4}  0A=[0-9A-F]{4}  USB Connected\n");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3);
  EXPECT_TRUE(std::regex_search(run.out, line)) << run.out;
}

}  // namespace
}  // namespace cw::test
