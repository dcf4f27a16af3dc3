// `doctor` and a first `probe` the way an engineer meets them: on this machine as it is (no
// adapter), and on the pretend bus of the fake USB shim preloaded into the CLI, where hidapi and
// the product run for real above a fake libudev, hidraw and libusb.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "common/doc_dir.h"

namespace cw::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDeniedHid =
    "hid /dev/hidraw1 046d:c52b usages=6 page=1; "
    "hid /dev/hidraw3 16c0:8888 serial=888800000001 open-errno=13 mode=0600";
constexpr const char* kBusyBulk = "usb 1/5 16c0:8000 serial=888800000001 claim-error=-6";
constexpr const char* kAccessMessage =
    "/dev/hidraw3: Permission denied: install the udev rule (see " CW_DOC_DIR
    "/bring-up.md) or add yourself to the plugdev group";

// The library the build puts next to the CLI's bin directory.
fs::path ShimLibrary() {
  return fs::path(CELLWARDEN_CLI).parent_path().parent_path() / "lib" / "libcw_fake_usb.so";
}

// Environment of the CLI runs of one case, put back as it was afterwards.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const std::map<std::string, std::string>& values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name.c_str());
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
      ::setenv(name.c_str(), value.c_str(), 1);
    }
  }
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) {
      value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

struct Case {
  const char* name;
  std::string scenario;  // empty: the machine as it is, no shim
  std::string rule;      // contents of the udev rule; empty: not installed
  std::string arguments;
  int exit_code;
  std::vector<std::string> out;    // each must appear in stdout
  std::vector<std::string> err;    // each must appear in stderr
  std::vector<std::string> never;  // must appear in neither
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class FirstContactCliTest : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    rules_ = fs::temp_directory_path() / ("cw-doctor-" + std::to_string(::getpid()));
    fs::create_directories(rules_);
  }
  void TearDown() override { fs::remove_all(rules_); }

  CliRun Run(const Case& c) {
    if (!c.rule.empty()) std::ofstream(rules_ / "70-cellwarden.rules") << c.rule;
    std::string arguments = c.arguments;
    if (arguments.starts_with("doctor")) arguments += " --udev-dir " + rules_.string();
    if (c.scenario.empty()) return RunCli(arguments);
    const char* asan = std::getenv("ASAN_OPTIONS");
    // The shim is loaded before the sanitizer runtime of a sanitizer build.
    ScopedEnvironment environment(
        {{"LD_PRELOAD", ShimLibrary().string()},
         {"CW_FAKE_USB", c.scenario},
         {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}});
    return RunCli(arguments);
  }

  fs::path rules_;
};

TEST_P(FirstContactCliTest, SaysWhatIsThereAndWhatToDo) {
  const Case& c = GetParam();
  if (!c.scenario.empty()) {
    ASSERT_TRUE(fs::exists(ShimLibrary())) << ShimLibrary();
  }
  const CliRun run = Run(c);
  EXPECT_EQ(run.exit_code, c.exit_code) << run.out << run.err;
  for (const auto& text : c.out)
    EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
  for (const auto& text : c.err)
    EXPECT_NE(run.err.find(text), std::string::npos) << text << "\n" << run.err;
  for (const auto& text : c.never) {
    EXPECT_EQ(run.out.find(text), std::string::npos) << text;
    EXPECT_EQ(run.err.find(text), std::string::npos) << text;
  }
}

const std::string kRule8888 =
    "KERNEL==\"hidraw*\", ATTRS{idVendor}==\"16c0\", ATTRS{idProduct}==\"8888\", "
    "TAG+=\"uaccess\", MODE=\"0660\", GROUP=\"plugdev\"\n";

INSTANTIATE_TEST_SUITE_P(
    Doctor, FirstContactCliTest,
    ::testing::Values(
        Case{"NothingAttached",
             "",
             "",
             "doctor",
             1,
             {"Adapter ids: vendor 16c0, HID product 8888, bulk product 8000",
              "No adapter with vendor id 16c0 found.", "udev rule: not installed",
              "What to do:", "  - Plug the adapter in; `lsusb -d 16c0:` must list it"},
             {},
             {"open:"}},
        Case{"DeniedNodeAndBusyInterface",
             std::string(kDeniedHid) + "; " + kBusyBulk,
             "",
             "doctor",
             1,
             {"HID /dev/hidraw3  16c0:8888  serial \"888800000001\"",
              "  node: crw------- root:root, this user may not read and write it",
              "  open: failed: Failed to open a device with path '/dev/hidraw3': Permission "
              "denied",
              "USB /dev/bus/usb/001/005  16c0:8000  serial \"888800000001\"",
              "  interface 0: claim failed: Resource busy", "udev rule: not installed",
              "  - Install the udev rule: sudo cp packaging/70-cellwarden.rules",
              "  - /dev/bus/usb/001/005 is held by another program: close it and try again."},
             {},
             {"hidraw1", "ready"}},
        // The adapter was given another product id with PID/SN Cfg; the rule still names the
        // old one.
        Case{"AdapterAnswersAsAnotherProduct",
             "hid /dev/hidraw4 16c0:8889 serial=888800000001",
             kRule8888,
             "doctor",
             1,
             {"HID /dev/hidraw4  16c0:8889", "  not the product id cellwarden opens (8888)",
              "  open: ok", "udev rule: ", "(vendor named, products 8888)",
              "  - The HID adapter answers as product 8889: run with --pid 8889",
              "  - Add product 8889 to the udev rule"},
             {},
             {}},
        Case{"Ready",
             "hid /dev/hidraw3 16c0:8888 serial=888800000001",
             kRule8888,
             "doctor",
             0,
             {"  open: ok", "  - The adapter is ready: `cellwarden-cli probe` opens it."},
             {},
             {"Install the udev rule"}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Probe, FirstContactCliTest,
    ::testing::Values(
        Case{"DeniedNodeSaysWhy",
             kDeniedHid,
             "",
             "probe",
             1,
             {},
             {kAccessMessage, "USB Disconnected"},
             {}},
        Case{"StallsSayWhoIsSilent",
             "hid /dev/hidraw3 16c0:8888 serial=888800000001; set-errno 32",
             "",
             "read-word 09",
             1,
             {},
             {"/dev/hidraw3: the adapter stopped answering: ioctl (SFEATURE): Broken pipe",
              "USB Adapter Not Answering"},
             {"Target Board Not Responding", "USB Disconnected"}},
        Case{"ShortReplyIsNoVersion",
             "hid /dev/hidraw3 16c0:8888 serial=888800000001; get-length 1",
             "",
             "probe",
             1,
             {"HID"},
             {"/dev/hidraw3: the adapter stopped answering: short reply: 1 of 8 bytes",
              "the adapter version could not be read"},
             {"0.000"}},
        Case{"BulkTimeOutIsTheAdapters",
             "usb 1/5 16c0:8000 serial=888800000001; bulk-in-error -7",
             "",
             "read-word 09",
             1,
             {},
             {"/dev/bus/usb/001/005: the adapter stopped answering: Operation timed out",
              "USB Adapter Not Answering"},
             {"Target Board Not Responding"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace cw::test
