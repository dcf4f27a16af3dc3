// The exported C routines, called through the shared library the way another program calls
// them, on the simulated pack.

#include "cwpipes.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bulk_requests.h"
#include "common/clock.h"
#include "exports/pipe_library.h"
#include "link/bulk_packets.h"
#include "sim/sim_gauge.h"

namespace cw::exports {
namespace {

// The library reads the variable once, on its first call; every test here sets it first.
class CwpipesTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(setenv(kDeviceVariable, "sim", 1), 0); }
};

using testing::ReadRequest;

TEST_F(CwpipesTest, ReadsTheGaugeThroughThePipes) {
  const int bulk_out = OpenUsbPort_Bulkout();
  const int bulk_in = OpenUsbPort_Bulkin();
  ASSERT_GT(bulk_out, 0);
  ASSERT_GT(bulk_in, 0);
  ASSERT_NE(bulk_out, bulk_in);

  // Design voltage: a word from the data flash, the same on every fresh pack.
  constexpr std::uint8_t kDesignVoltage = 0x19;
  const auto request = ReadRequest(kDesignVoltage, 3);
  std::uint32_t count = 0;
  ASSERT_EQ(BulkOut(bulk_out, request.data(), request.size(), &count), 1);
  EXPECT_EQ(count, link::bulk::kPacketLength);
  std::array<std::uint8_t, link::bulk::kPacketLength> reply{};
  ASSERT_EQ(BulkIn(bulk_in, reply.data(), reply.size(), &count), 1);
  EXPECT_EQ(count, link::bulk::kPacketLength);

  common::ManualClock clock;
  sim::SimGauge fresh_gauge(clock, common::ProductConstants{});
  const auto expected = fresh_gauge.Read(kDesignVoltage, 3);
  ASSERT_TRUE(expected.has_value());
  EXPECT_EQ(reply[0], link::bulk::kOpRead);
  EXPECT_NE(reply[link::bulk::kAckByte], 0);
  EXPECT_EQ(std::vector<std::uint8_t>(reply.begin() + 10, reply.begin() + 13), *expected);

  EXPECT_EQ(CloseUsbPort_Bulkout(bulk_out), 1);
  EXPECT_EQ(CloseUsbPort_Bulkin(bulk_in), 1);
  EXPECT_EQ(CloseUsbPort_Bulkin(bulk_in), 0);
}

TEST_F(CwpipesTest, VendorRequestsAndTheInterruptPipe) {
  const int control = OpenUsbPort_Control();
  const int interrupt_in = OpenUsbPort_Interruptin();
  ASSERT_GT(control, 0);
  ASSERT_GT(interrupt_in, 0);

  const std::array<std::uint8_t, 3> data = {0xDE, 0xAD, 0x01};
  std::uint32_t count = 0;
  ASSERT_EQ(VendorControlOut(control, 0x51, 0x0102, 0x0304, data.size(), data.data(), &count), 1);
  EXPECT_EQ(count, 3u);
  std::array<std::uint8_t, 3> back{};
  ASSERT_EQ(VendorControlIn(control, 0x51, 0x0102, 0x0304, back.size(), back.data(), &count), 1);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(back, data);

  std::array<std::uint8_t, 8> status{};
  ASSERT_EQ(BulkIn(interrupt_in, status.data(), status.size(), &count), 1);
  EXPECT_EQ(count, 8u);

  EXPECT_EQ(CloseUsbPort_Control(control), 1);
  EXPECT_EQ(CloseUsbPort_Interruptin(interrupt_in), 1);
}

TEST_F(CwpipesTest, BadArgumentsFailWithoutACrash) {
  const int control = OpenUsbPort_Control();
  const int bulk_in = OpenUsbPort_Bulkin();
  ASSERT_GT(control, 0);
  ASSERT_GT(bulk_in, 0);
  std::array<std::uint8_t, 64> buffer{};
  std::uint32_t count = 42;

  EXPECT_EQ(BulkIn(bulk_in, nullptr, 64, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(BulkOut(bulk_in, buffer.data(), 64, &count), 0);  // wrong kind
  EXPECT_EQ(BulkIn(control, buffer.data(), 64, &count), 0);
  EXPECT_EQ(VendorControlIn(bulk_in, 1, 0, 0, 4, buffer.data(), &count), 0);
  EXPECT_EQ(VendorControlOut(control, 1, 0, 0, 4, nullptr, &count), 0);
  EXPECT_EQ(VendorControlIn(control, 1, 0, 0, 0x10000, buffer.data(), &count), 0);
  EXPECT_EQ(CloseUsbPort_Bulkout(bulk_in), 0);  // wrong kind: the handle stays open
  EXPECT_EQ(CloseUsbPort_Control(-1), 0);
  EXPECT_EQ(CloseUsbPort_Interruptin(12345), 0);

  // The count pointer is optional.
  EXPECT_EQ(VendorControlOut(control, 2, 0, 0, 4, buffer.data(), nullptr), 1);

  EXPECT_EQ(CloseUsbPort_Bulkin(bulk_in), 1);
  EXPECT_EQ(CloseUsbPort_Control(control), 1);
  EXPECT_EQ(CloseUsbPort_Control(control), 0);
  EXPECT_EQ(BulkIn(bulk_in, buffer.data(), 64, &count), 0);
}

TEST_F(CwpipesTest, AStaleHandleAfterReopenReachesNothing) {
  const int first = OpenUsbPort_Bulkout();
  ASSERT_GT(first, 0);
  ASSERT_EQ(CloseUsbPort_Bulkout(first), 1);
  const int second = OpenUsbPort_Bulkout();
  ASSERT_GT(second, 0);
  EXPECT_NE(second, first);

  const auto request = ReadRequest(0x09, 3);
  std::uint32_t count = 7;
  errno = 0;
  EXPECT_EQ(BulkOut(first, request.data(), request.size(), &count), 0);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(std::string(CwPipesLastError()),
            "BulkOut: handle " + std::to_string(first) +
                " is not open (it was closed, or never handed out)");
  EXPECT_EQ(CloseUsbPort_Bulkout(first), 0);
  EXPECT_EQ(errno, EBADF);

  // The pipe that came after is untouched by either.
  EXPECT_EQ(BulkOut(second, request.data(), request.size(), &count), 1);
  EXPECT_EQ(CloseUsbPort_Bulkout(second), 1);
}

TEST_F(CwpipesTest, ASizeBeyondOneTransferIsRefusedBeforeTheBufferIsTouched) {
  const int bulk_in = OpenUsbPort_Bulkin();
  const int bulk_out = OpenUsbPort_Bulkout();
  const int control = OpenUsbPort_Control();
  ASSERT_GT(bulk_in, 0);
  ASSERT_GT(bulk_out, 0);
  ASSERT_GT(control, 0);
  // A 64-byte buffer with the sizes of a -1 turned unsigned, 1 MiB and one byte too many: the
  // address sanitizer of the test build reports any read or write past it.
  std::array<std::uint8_t, 64> buffer{};
  for (const std::uint32_t size : {0xFFFFFFFFu, 1u << 20, CWPIPES_MAX_TRANSFER + 1u}) {
    SCOPED_TRACE(size);
    std::uint32_t count = 7;
    errno = 0;
    EXPECT_EQ(BulkOut(bulk_out, buffer.data(), size, &count), 0);
    EXPECT_EQ(errno, EMSGSIZE);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(BulkIn(bulk_in, buffer.data(), size, &count), 0);
    EXPECT_EQ(errno, EMSGSIZE);
    EXPECT_EQ(VendorControlIn(control, 1, 0, 0, size, buffer.data(), &count), 0);
    EXPECT_EQ(errno, EMSGSIZE);
  }
  errno = 0;
  EXPECT_EQ(VendorControlOut(control, 1, 0, 0, 0xFFFF, buffer.data(), nullptr), 0);
  EXPECT_EQ(errno, EMSGSIZE);
  EXPECT_STREQ(CwPipesLastError(),
               "VendorControlOut: a size of 65535 bytes is more than one transfer carries (4096 "
               "bytes); nothing was sent or read");
}

TEST_F(CwpipesTest, TheLastErrorBelongsToItsThreadAndSuccessChangesNothing) {
  errno = 0;
  EXPECT_EQ(CloseUsbPort_Control(12345), 0);
  EXPECT_EQ(errno, EBADF);
  const std::string mine = CwPipesLastError();
  EXPECT_EQ(mine,
            "CloseUsbPort_Control: handle 12345 is not open (it was closed, or never handed out)");
  std::string before;
  std::string theirs;
  std::thread([&] {
    before = CwPipesLastError();
    BulkIn(54321, nullptr, 8, nullptr);
    theirs = CwPipesLastError();
  }).join();
  EXPECT_EQ(before, "");
  EXPECT_EQ(theirs, "BulkIn: the buffer is NULL but the size is 8");
  EXPECT_EQ(CwPipesLastError(), mine);

  // Whatever the library does on the way (files looked for, libusb) does not show through errno.
  errno = ERANGE;
  const int control = OpenUsbPort_Control();
  ASSERT_GT(control, 0);
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(CloseUsbPort_Control(control), 1);
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(CwPipesLastError(), mine);
}

TEST_F(CwpipesTest, TimeOutsCanBeShortenedForAProgramThatPolls) {
  errno = 0;
  EXPECT_EQ(CwPipesSetTimeouts(0, 100), 0);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(CwPipesSetTimeouts(CWPIPES_TRANSFER_TIMEOUT_MS + 1, 100), 0);
  ASSERT_EQ(CwPipesSetTimeouts(20, 20), 1);
  const int bulk_in = OpenUsbPort_Bulkin();
  ASSERT_GT(bulk_in, 0);
  // Nothing was asked, so the read ends at the shortened time-out.
  std::array<std::uint8_t, CWPIPES_PACKET_SIZE> reply{};
  std::uint32_t count = 0;
  EXPECT_EQ(BulkIn(bulk_in, reply.data(), reply.size(), &count), 0);
  EXPECT_EQ(errno, ETIMEDOUT);
  EXPECT_STREQ(CwPipesLastError(), "BulkIn: no answer within 20 ms (LIBUSB_ERROR_TIMEOUT)");
  ASSERT_EQ(CwPipesSetTimeouts(CWPIPES_TRANSFER_TIMEOUT_MS, CWPIPES_CONTROL_TIMEOUT_MS), 1);
}

TEST(CwpipesLibrary, ExportsThePipeRoutinesAndTheirHelpersOnly) {
  void* library = dlopen(CWPIPES_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  for (const char* name :
       {"OpenUsbPort_Control", "OpenUsbPort_Bulkin", "OpenUsbPort_Bulkout",
        "OpenUsbPort_Interruptin", "CloseUsbPort_Control", "CloseUsbPort_Bulkin",
        "CloseUsbPort_Bulkout", "CloseUsbPort_Interruptin", "BulkIn", "BulkOut", "VendorControlIn",
        "VendorControlOut", "CwPipesLastError", "CwPipesSetTimeouts"}) {
    EXPECT_NE(dlsym(library, name), nullptr) << name;
  }
  // The C++ inside stays private, so it cannot collide with a host program's own symbols.
  EXPECT_EQ(dlsym(library, "_ZN2cw7exports9PipeTable4OpenENS0_8PipeKindEPNS0_11PipeFailureE"),
            nullptr);
  EXPECT_EQ(dlsym(library, "_ZN2cw7exports15ParsePipeDeviceEPKc"), nullptr);
  dlclose(library);
}

TEST(ParsePipeDevice, ReadsTheDeviceVariable) {
  enum class Choice { kUsb, kSim, kNone };
  struct Case {
    const char* value;
    Choice choice;
  };
  for (const Case& c : std::initializer_list<Case>{
           {nullptr, Choice::kUsb},
           {"", Choice::kUsb},
           {"usb", Choice::kUsb},
           {"auto", Choice::kUsb},
           {"sim", Choice::kSim},
           {"SIM", Choice::kNone},
           {"sim ", Choice::kNone},
           {"simulated", Choice::kNone},
           {"sim:transport=bulk", Choice::kSim},
           {"sim:colour=red", Choice::kNone},
       }) {
    const auto selection = ParsePipeDevice(c.value);
    const Choice choice = !selection             ? Choice::kNone
                          : selection->simulated ? Choice::kSim
                                                 : Choice::kUsb;
    EXPECT_EQ(choice, c.choice) << (c.value ? c.value : "(unset)");
  }
  PipeLibrary nothing("sim:colour=red", common::ProductConstants{});
  EXPECT_EQ(nothing.table(), nullptr);
}

}  // namespace
}  // namespace cw::exports
