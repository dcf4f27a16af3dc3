// The gauge link on HidapiBackend and LibusbBackend with hidapi itself running underneath: the
// pretend bus of the preloaded shim plays libudev, the hidraw nodes and libusb. Each case is an
// engineer's first contact going right or wrong, and checks what the engineer would see: the
// result, the status, the message and how long it took on the clock (the kernel's and libusb's
// time-outs are put on the clock by the shim).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/doc_dir.h"
#include "cwpipes.h"
#include "fake_usb_control.h"
#include "link/bus_lock.h"
#include "link/bus_observer.h"
#include "link/gauge_link.h"
#include "link/hidapi_backend.h"
#include "link/libusb_backend.h"
#include "support/recording_sinks.h"

// The shim is preloaded ahead of the sanitizer runtime of a sanitizer build; the runtime refuses
// to start that way unless told the order is intended. The environment's own options still
// apply on top.
extern "C" const char* __asan_default_options() { return "verify_asan_link_order=0"; }

namespace cw::link {
namespace {

using common::Millis;

constexpr const char* kHidAdapter = "hid /dev/hidraw3 16c0:8888 serial=888800000001";
constexpr const char* kForeignHid = "hid /dev/hidraw1 046d:c52b usages=6 page=1";
constexpr const char* kBulkAdapter = "usb 1/5 16c0:8000 serial=888800000001";
constexpr const char* kAccessAdvice =
    "install the udev rule (see " CW_DOC_DIR "/bring-up.md) or add yourself to the plugdev group";

struct Case {
  const char* name;
  std::string scenario;
  bool ok;
  LinkStatus status;
  std::string message;  // empty: none
  Millis took;          // on the clock, waits and time-outs together
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class BackendsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(shim.loaded) << "the fake USB shim must be preloaded (ctest sets LD_PRELOAD)";
    shim.set_timeout_hook(
        [](unsigned ms, void* clock) {
          static_cast<common::ManualClock*>(clock)->Advance(Millis{ms});
        },
        &clock);
  }
  void TearDown() override {
    if (!shim.loaded) return;
    shim.set_timeout_hook(nullptr, nullptr);
    shim.configure("");
  }

  void Use(const std::string& scenario) {
    ASSERT_TRUE(shim.configure(scenario.c_str())) << scenario;
  }

  fake::FakeUsb shim = fake::FakeUsb::Find();
  common::ManualClock clock;
  test::RecordingMessageSink messages;
  BusLock lock{"MutexToProtectRWAccess-backends"};
  HidapiBackend hid;
  LibusbBackend usb;
  BusRecorder recorder;
  ObservedHidBackend traced_hid{hid, recorder};
  ObservedUsbBackend traced_usb{usb, recorder};
  GaugeLink link{traced_hid, traced_usb, clock, messages, lock};
};

class RealBackendsTest : public BackendsFixture, public ::testing::WithParamInterface<Case> {};

TEST_P(RealBackendsTest, FirstWordRead) {
  const Case& c = GetParam();
  Use(c.scenario);
  const Millis start = clock.Now();
  std::uint16_t value = 0;
  EXPECT_EQ(link.ReadWord(0x09, value), c.ok);
  const Millis took = clock.Now() - start;
  EXPECT_EQ(link.link_status(), c.status);
  if (c.ok) {
    EXPECT_EQ(value, 0x3A98);
  }
  EXPECT_EQ(messages.Texts(),
            c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
  EXPECT_EQ(took, c.took);
  EXPECT_LE(took, kSilentAdapterBound);
  // Whatever happened, the foreign device was never opened, and no node was opened more than
  // once per attempt.
  EXPECT_EQ(shim.Opens("/dev/hidraw1"), 0);
  EXPECT_LE(shim.Opens("/dev/hidraw3"), 5);
}

const std::string kGoodHid = std::string(kForeignHid) + ";" + kHidAdapter + "; word 3a98";
const std::string kGoodBulk = std::string(kBulkAdapter) + "; word 3a98";
const std::string kDeniedHid =
    std::string(kForeignHid) + "; hid /dev/hidraw3 16c0:8888 serial=888800000001 open-errno=13";

INSTANTIATE_TEST_SUITE_P(
    Hidapi, RealBackendsTest,
    ::testing::Values(
        Case{"GoodRead", kGoodHid, true, LinkStatus::kConnected, "", Millis{8}},
        Case{"NodeRefusesAccess", kDeniedHid, false, LinkStatus::kNoAdapter,
             std::string("/dev/hidraw3: Permission denied: ") + kAccessAdvice, Millis{0}},
        // Five attempts of ten stalled sets 10 ms apart, 100 ms between the attempts.
        Case{"EverySetStalls", kGoodHid + "; set-errno 32", false, LinkStatus::kAdapterNotAnswering,
             "/dev/hidraw3: the adapter stopped answering: ioctl (SFEATURE): Broken pipe",
             Millis{5 * 100 + 4 * 100}},
        // The set goes through, the 8 ms settle, then ten gets of one byte each time.
        Case{"ShortFeatureReply", kGoodHid + "; get-length 1", false,
             LinkStatus::kAdapterNotAnswering,
             "/dev/hidraw3: the adapter stopped answering: short reply: 1 of 8 bytes",
             Millis{5 * (8 + 100) + 4 * 100}},
        // One kernel time-out and nothing after it.
        Case{"SetTimesOut", kGoodHid + "; set-errno 110", false, LinkStatus::kAdapterNotAnswering,
             "/dev/hidraw3: the adapter stopped answering: ioctl (SFEATURE): Connection timed "
             "out",
             Millis{5000}},
        // The header goes out, then the adapter is gone: ten failed gets, and the next attempt
        // finds nothing to open.
        Case{"UnpluggedMidTransaction", kGoodHid + "; unplug-after 1", false,
             LinkStatus::kNoAdapter, "", Millis{8 + 100 + 100}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Libusb, RealBackendsTest,
    ::testing::Values(
        Case{"GoodRead", kGoodBulk, true, LinkStatus::kConnected, "", Millis{8}},
        Case{"DeviceRefusesAccess", "usb 1/5 16c0:8000 serial=888800000001 open-error=-3", false,
             LinkStatus::kNoAdapter,
             std::string("/dev/bus/usb/001/005: Access denied (insufficient permissions): ") +
                 kAccessAdvice,
             Millis{0}},
        Case{"InterfaceClaimedElsewhere",
             std::string("usb 1/5 16c0:8000 serial=888800000001 claim-error=-6"), false,
             LinkStatus::kNoAdapter,
             "/dev/bus/usb/001/005: Resource busy: another program holds the adapter; close it "
             "and try again",
             Millis{0}},
        // The request goes out, the reply times out after 12 bytes: one libusb time-out and
        // no further attempt.
        Case{"InTimesOutAfterPart", kGoodBulk + "; bulk-in-error -7 partial=12", false,
             LinkStatus::kAdapterNotAnswering,
             "/dev/bus/usb/001/005: the adapter stopped answering: Operation timed out "
             "(LIBUSB_ERROR_TIMEOUT)",
             Millis{8 + 1000}},
        // The request goes out, the reply finds the device gone; the next attempt finds nothing.
        Case{"UnpluggedMidTransaction", kGoodBulk + "; unplug-after 1", false,
             LinkStatus::kNoAdapter, "", Millis{8 + 100}}),
    [](const auto& info) { return std::string(info.param.name); });

// What --trace shows of a first contact: each entry with its ids, usages and serial, the one
// open of the node with hidapi's reason, and the reason of every failed report.
TEST_F(BackendsFixture, TraceCarriesEntriesOpensAndTheLibrarysReasons) {
  Use(kDeniedHid);
  std::uint16_t value = 0;
  EXPECT_FALSE(link.ReadWord(0x09, value));
  const auto lines = recorder.DeviceEvents();
  auto has = [&](const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
  };
  EXPECT_TRUE(has("hid enumerate 16c0:8888: 13 collections"));
  EXPECT_TRUE(has("hid entry /dev/hidraw3 16c0:8888 usage ff00:0001 serial \"888800000001\""));
  EXPECT_TRUE(
      has("hid open /dev/hidraw3: failed: Failed to open a device with path "
          "'/dev/hidraw3': Permission denied"));
  for (const auto& line : lines) EXPECT_EQ(line.find("hidraw1"), std::string::npos) << line;

  Use(std::string(kHidAdapter) + "; set-errno 32");
  recorder.Clear();
  EXPECT_FALSE(link.ReadWord(0x09, value));
  const auto events = recorder.Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(DescribeBusEvent(events.front()),
            "hid set > 01 17 09 00 00 00 03 02 (failed: ioctl (SFEATURE): Broken pipe)");
}

// An adapter that keeps failing is reported once, not once per read; after it has answered
// again, the next time it stops is reported again.
TEST_F(BackendsFixture, StoppedAdapterIsReportedOncePerLoss) {
  const std::string stalled = kGoodHid + "; set-errno 32";
  std::uint16_t value = 0;
  Use(stalled);
  EXPECT_FALSE(link.ReadWord(0x09, value));
  EXPECT_FALSE(link.ReadWord(0x09, value));
  EXPECT_EQ(messages.Texts().size(), 1u);
  Use(kGoodHid);
  EXPECT_TRUE(link.ReadWord(0x09, value));
  Use(stalled);
  EXPECT_FALSE(link.ReadWord(0x09, value));
  EXPECT_EQ(messages.Texts().size(), 2u);
}

// A pipe read that times out halfway still tells its caller how much arrived.
TEST_F(BackendsFixture, ExportedBulkInCountsThePartBeforeATimeOut) {
  Use(std::string(kBulkAdapter) + "; bulk-in-error -7 partial=12");
  const int in = OpenUsbPort_Bulkin();
  ASSERT_GT(in, 0);
  std::array<std::uint8_t, 64> buffer{};
  std::uint32_t count = 99;
  EXPECT_EQ(BulkIn(in, buffer.data(), buffer.size(), &count), 0);
  EXPECT_EQ(count, 12u);
  EXPECT_EQ(CloseUsbPort_Bulkin(in), 1);
}

}  // namespace
}  // namespace cw::link
