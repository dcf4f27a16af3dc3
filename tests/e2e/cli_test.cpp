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

TEST(CliTest, WatchReadsTheRegistersTheGivenNumberOfTimes) {
  const CliRun run = RunCli("--device sim:clock=virtual watch 09 0A --count 3");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const std::regex line("09=[0-9A-F]{4}  0A=[0-9A-F]{4}  USB Connected\n");
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3);
  EXPECT_TRUE(std::regex_search(run.out, line)) << run.out;
}

// Readings that failed are shown as "----" and fail the watch, on either adapter.
TEST(CliTest, WatchFailsWhenItsReadingsFail) {
  for (const std::string transport : {"", ":transport=bulk"}) {
    const CliRun run = RunCli("--device sim:clock=virtual:faults=drop-after=4" + transport +
                              " watch 09 --count 3 --interval-ms 10");
    EXPECT_EQ(run.exit_code, 1) << transport << "\n" << run.err;
    EXPECT_NE(run.out.find("09=----"), std::string::npos) << transport << "\n" << run.out;
    EXPECT_NE(run.err.find("values could not be read"), std::string::npos) << transport << "\n"
                                                                           << run.err;
  }
}

}  // namespace
}  // namespace cw::test
