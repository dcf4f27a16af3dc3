// Many adapters from the command line: `adapters`, and --device naming one of them, on a set of
// simulated packs and on the pretend bus of the fake USB shim (real hidapi and libusb above it).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cli_runner.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;

std::string FileBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

class AdaptersCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("cw_adapters_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Three packs on the virtual clock, their state kept in dir_, `more` added to the string.
  std::string Packs(const std::string& more) const {
    return "--device sim:packs=3:clock=virtual:state=" + dir_.string() + more + " ";
  }
  static std::string Serial(int pack) { return "88880000000" + std::to_string(pack); }

  fs::path dir_;
};

TEST_F(AdaptersCliTest, ListsEverySimulatedPackWithTheTextThatSelectsIt) {
  const CliRun run = RunCli("--device sim:packs=3 adapters");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  for (int pack = 1; pack <= 3; ++pack) {
    const std::string line = "HID       " + Serial(pack) + "   sim:hid" + std::to_string(pack - 1) +
                             "               yes  adapter=hid:" + Serial(pack);
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    // What it prints selects that pack.
    const CliRun probe = RunCli(Packs(":adapter=hid:" + Serial(pack)) + "read-word 09");
    EXPECT_EQ(probe.exit_code, 0) << probe.err;
  }
  EXPECT_FALSE(fs::exists(dir_ / (Serial(1) + ".json.lock"))) << "nothing left held";
}

TEST_F(AdaptersCliTest, ChoosingOnePackDrivesOnlyThatPack) {
  for (int pack = 1; pack <= 3; ++pack) {
    const CliRun set = RunCli(Packs(":adapter=" + Serial(pack)) + "df set 'CUV Time' 3");
    ASSERT_EQ(set.exit_code, 0) << set.err;
  }
  const std::string first = FileBytes(dir_ / (Serial(1) + ".json"));
  const std::string third = FileBytes(dir_ / (Serial(3) + ".json"));
  ASSERT_FALSE(first.empty());

  // Through pack 2's bulk adapter, with both kinds plugged into every pack.
  const std::string bulk = ":transport=both:adapter=bulk:" + Serial(2);
  const CliRun set = RunCli(Packs(bulk) + "--trace df set 'CUV Time' 9");
  ASSERT_EQ(set.exit_code, 0) << set.err;
  EXPECT_NE(set.err.find("[usb] "), std::string::npos) << "driven over bulk:\n" << set.err;
  EXPECT_EQ(set.err.find("hid set >"), std::string::npos) << "not over HID:\n" << set.err;
  EXPECT_EQ(RunCli(Packs(bulk) + "df get 'CUV Time'").out, "9\n");
  EXPECT_TRUE(FileBytes(dir_ / (Serial(1) + ".json")) == first) << "pack 1 untouched";
  EXPECT_TRUE(FileBytes(dir_ / (Serial(3) + ".json")) == third) << "pack 3 untouched";
  EXPECT_EQ(RunCli(Packs(":adapter=" + Serial(1)) + "df get 'CUV Time'").out, "3\n");
}

TEST_F(AdaptersCliTest, JsonListsTheSameAdaptersInAnArray) {
  const CliRun run = RunCli("--device sim:packs=2:transport=bulk adapters --json");
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto list = nlohmann::json::parse(run.out)["adapters"];
  ASSERT_TRUE(list.is_array());
  ASSERT_EQ(list.size(), 2U);
  EXPECT_EQ(list[1], nlohmann::json::parse(R"({"transport": "bulk", "serial": "888800000002",
      "node": "sim:bulk1", "can_open": true, "problem": null,
      "select": "adapter=bulk:888800000002", "simulated": true})"));
}

TEST_F(AdaptersCliTest, FaultsOfOnePackLeaveTheOthersClean) {
  const auto read = [&](int pack) {
    return RunCli(Packs(":faults=nack-every=1@2:adapter=" + Serial(pack)) + "read-word 09");
  };
  const CliRun failed = read(2);
  EXPECT_EQ(failed.exit_code, 1);
  EXPECT_NE(failed.err.find("Target Board Not Responding"), std::string::npos) << failed.err;
  for (int pack : {1, 3}) {
    const CliRun clean = read(pack);
    EXPECT_EQ(clean.exit_code, 0) << pack << ": " << clean.err;
  }
}

TEST_F(AdaptersCliTest, ANameThatFitsNoPackIsRefusedBeforeAnyWork) {
  const CliRun run = RunCli(Packs(":adapter=888800000009") + "df set 'CUV Time' 9");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("adapter=888800000009: no adapter has this serial number or node; "
                         "found: HID sim:hid0 serial \"888800000001\", HID sim:hid1 serial "
                         "\"888800000002\", HID sim:hid2 serial \"888800000003\""),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(!fs::exists(dir_) || fs::is_empty(dir_)) << "no pack was loaded or saved";
}

// Real backends above the shim's pretend bus: two HID adapters and two bulk adapters that both
// report the serial of the serial rule, as real ones do.
TEST(RealAdaptersCliTest, ListsEachAdapterAndRefusesANameThatFitsNoneOrTwo) {
  const fs::path shim =
      fs::path(CELLWARDEN_CLI).parent_path().parent_path() / "lib" / "libcw_fake_usb.so";
  ASSERT_TRUE(fs::exists(shim)) << shim;
  const char* asan = std::getenv("ASAN_OPTIONS");
  // The shim is loaded before the sanitizer runtime of a sanitizer build.
  const std::string environment =
      "LD_PRELOAD=" + shim.string() +
      " CW_FAKE_USB='hid /dev/hidraw3 16c0:8888 serial=888800000001; "
      "hid /dev/hidraw5 16c0:8888 serial=888800000002; usb 1/5 16c0:8000 serial=888800000001; "
      "usb 1/7 16c0:8000 serial=888800000001' ASAN_OPTIONS='" +
      std::string(asan ? asan : "") + ":verify_asan_link_order=0'";

  const CliRun list = RunCli("adapters", environment);
  ASSERT_EQ(list.exit_code, 0) << list.err;
  for (const char* line :
       {"HID       888800000001   /dev/hidraw3           yes  hid:888800000001",
        "HID       888800000002   /dev/hidraw5           yes  hid:888800000002",
        "bulk      888800000001   /dev/bus/usb/001/005   yes  bulk:/dev/bus/usb/001/005",
        "bulk      888800000001   /dev/bus/usb/001/007   yes  bulk:/dev/bus/usb/001/007"}) {
    EXPECT_NE(list.out.find(line), std::string::npos) << line << "\n" << list.out;
  }

  const CliRun missing = RunCli("--device hid:888800000009 read-word 09", environment);
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("hid:888800000009: no adapter has this serial number or node; "
                             "found: HID /dev/hidraw3 serial \"888800000001\", HID /dev/hidraw5 "
                             "serial \"888800000002\""),
            std::string::npos)
      << missing.err;

  const CliRun twins = RunCli("--device bulk:888800000001 read-word 09", environment);
  EXPECT_EQ(twins.exit_code, 1);
  EXPECT_NE(twins.err.find("bulk:888800000001: 2 adapters have this serial number "
                           "(/dev/bus/usb/001/005, /dev/bus/usb/001/007): name one by its node"),
            std::string::npos)
      << twins.err;
}

}  // namespace
}  // namespace cw::test
