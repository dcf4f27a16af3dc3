#include "exports/pipe_table.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "common/doc_dir.h"
#include "fake_usb_backend.h"
#include "recording_usb_backend.h"

namespace cw::exports {
namespace {

using testing::FakeUsbBackend;
using testing::RecordingUsbBackend;

constexpr std::uint16_t kVendor = common::ProductConstants{}.adapter_vendor_id;

std::vector<std::string> Names(const std::vector<testing::UsbCall>& calls) {
  std::vector<std::string> names;
  for (const auto& call : calls) names.push_back(call.what);
  return names;
}

// A bus with one adapter (bulk product) behind a recording layer.
struct OneAdapter {
  FakeUsbBackend fake{{{kVendor, common::kBulkProductId, 3}}};
  RecordingUsbBackend bus{fake};
  PipeTable table{bus, common::ProductConstants{}};
};

TEST(PipeTableDevice, OpensTheFirstBulkProductOfTheAdapterVendor) {
  FakeUsbBackend fake({
      {0x046D, common::kBulkProductId, 0},  // another maker's device with the same product id
      {kVendor, common::kHidProductId, 0},  // the HID adapter is not the driver's device
      {kVendor, common::kBulkProductId, 0},
      {kVendor, common::kBulkProductId, 0},
  });
  RecordingUsbBackend bus(fake);
  PipeTable table(bus, common::ProductConstants{});

  EXPECT_EQ(table.Open(PipeKind::kControl), kFirstHandle);
  const auto opens = bus.Calls("open");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].index, 2);
  EXPECT_EQ(Names(bus.Calls()), (std::vector<std::string>{"open", "claim"}));
  EXPECT_EQ(bus.Calls("claim")[0].index, kPipeInterface);
  // The list is not kept once the device is open.
  EXPECT_EQ(bus.free_list_calls, bus.list_calls);
}

TEST(PipeTableDevice, VendorIdComesFromTheProductConstants) {
  common::ProductConstants constants;
  constants.adapter_vendor_id = 0x1234;
  FakeUsbBackend fake({{kVendor, common::kBulkProductId, 0}, {0x1234, common::kBulkProductId, 0}});
  RecordingUsbBackend bus(fake);
  PipeTable table(bus, constants);

  ASSERT_NE(table.Open(PipeKind::kBulkIn), kInvalidHandle);
  EXPECT_EQ(bus.Calls("open").at(0).index, 1);
}

TEST(PipeTableDevice, DetachesAnActiveKernelDriverBeforeClaiming) {
  OneAdapter adapter;
  adapter.bus.faults.kernel_driver_active = true;
  ASSERT_NE(adapter.table.Open(PipeKind::kControl), kInvalidHandle);
  EXPECT_EQ(Names(adapter.bus.Calls()), (std::vector<std::string>{"open", "detach", "claim"}));
}

TEST(PipeTableDevice, OpenFailsCleanlyWhenNoAdapterCanBeHadAndSaysWhy) {
  struct Case {
    const char* name;
    std::vector<link::UsbDeviceDescriptor> devices;
    testing::UsbFaults faults;
    std::vector<std::string> calls;  // what reached the devices
    PipeFailureKind kind;
    std::string reason;  // after the routine's name
  };
  const std::vector<link::UsbDeviceDescriptor> one = {{kVendor, common::kBulkProductId, 0}};
  const std::string no_adapter = "no adapter found: no USB device 16c0:8000 is plugged in";
  const std::vector<Case> cases = {
      {"empty bus", {}, {}, {}, PipeFailureKind::kNoAdapter, no_adapter},
      {"only the HID adapter",
       {{kVendor, common::kHidProductId, 0}},
       {},
       {},
       PipeFailureKind::kNoAdapter,
       no_adapter},
      {"device list fails",
       one,
       {.fail_list = true},
       {},
       PipeFailureKind::kNoAdapter,
       "the USB devices cannot be listed: no reason given"},
      {"open fails",
       one,
       {.fail_open = true, .open_fault = {link::FaultKind::kGone, "No such device", ""}},
       {},
       PipeFailureKind::kNoAdapter,
       "the adapter 16c0:8000 cannot be opened: No such device"},
      {"access denied",
       one,
       {.fail_open = true,
        .open_fault = {link::FaultKind::kAccessDenied, "Permission denied", "LIBUSB_ERROR_ACCESS"}},
       {},
       PipeFailureKind::kAccessDenied,
       "the adapter 16c0:8000 cannot be opened: Permission denied (LIBUSB_ERROR_ACCESS); install "
       "the udev rule 70-cellwarden.rules (see " CW_DOC_DIR
       "/bring-up.md) or add yourself to the plugdev group"},
      {"interface busy",
       one,
       {.failing_claims = 100},
       {"open", "claim", "close"},
       PipeFailureKind::kAdapterBusy,
       "the adapter 16c0:8000 is held by another program (interface 0 cannot be claimed: "
       "LIBUSB_ERROR_BUSY); close that program and try again"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeUsbBackend fake(c.devices);
    RecordingUsbBackend bus(fake);
    bus.faults = c.faults;
    PipeTable table(bus, common::ProductConstants{});
    for (PipeKind kind :
         {PipeKind::kControl, PipeKind::kBulkIn, PipeKind::kBulkOut, PipeKind::kInterruptIn}) {
      PipeFailure failure;
      EXPECT_EQ(table.Open(kind, &failure), kInvalidHandle);
      EXPECT_EQ(failure.kind, c.kind);
      EXPECT_EQ(failure.text, std::string(OpenRoutineName(kind)) + ": " + c.reason);
    }
    EXPECT_EQ(table.OpenHandleCount(), 0u);
    // Each kind tried again from scratch; a device that could not be claimed was closed.
    EXPECT_EQ(bus.list_calls, 4);
    std::vector<std::string> expected;
    for (int i = 0; i < 4; ++i) expected.insert(expected.end(), c.calls.begin(), c.calls.end());
    EXPECT_EQ(Names(bus.Calls()), expected);
  }
}

TEST(PipeTableDevice, SkipsAnAdapterAnotherProgramHoldsForAFreeOne) {
  FakeUsbBackend fake({{kVendor, common::kBulkProductId, 0}, {kVendor, common::kBulkProductId, 0}});
  RecordingUsbBackend bus(fake);
  bus.faults.failing_claims = 1;
  PipeTable table(bus, common::ProductConstants{});
  ASSERT_NE(table.Open(PipeKind::kControl), kInvalidHandle);
  EXPECT_EQ(Names(bus.Calls()),
            (std::vector<std::string>{"open", "claim", "close", "open", "claim"}));
  EXPECT_EQ(bus.Calls("open").at(1).index, 1);
}

TEST(PipeTableHandles, CountUpAndAreNotReusedWhileOtherNumbersAreFree) {
  OneAdapter adapter;
  PipeTable& table = adapter.table;
  EXPECT_EQ(table.Open(PipeKind::kControl), 1);
  EXPECT_EQ(table.Open(PipeKind::kBulkIn), 2);
  EXPECT_EQ(table.Open(PipeKind::kBulkOut), 3);
  EXPECT_EQ(table.Open(PipeKind::kInterruptIn), 4);

  EXPECT_TRUE(table.Close(PipeKind::kBulkIn, 2));
  EXPECT_TRUE(table.Close(PipeKind::kControl, 1));
  EXPECT_EQ(table.Open(PipeKind::kBulkOut), 5);
  EXPECT_EQ(table.Open(PipeKind::kBulkIn), 6);
  EXPECT_EQ(table.OpenHandleCount(), 4u);

  // A stale copy of a closed handle reaches nothing, not even a pipe of its old kind.
  std::uint32_t count = 0;
  std::array<std::uint8_t, 4> buffer{};
  PipeFailure failure;
  EXPECT_FALSE(table.BulkIn(2, buffer, count, &failure));
  EXPECT_EQ(failure.kind, PipeFailureKind::kBadHandle);
  EXPECT_EQ(failure.text, "BulkIn: handle 2 is not open (it was closed, or never handed out)");
  EXPECT_FALSE(table.Close(PipeKind::kControl, 1, &failure));
  EXPECT_EQ(failure.text,
            "CloseUsbPort_Control: handle 1 is not open (it was closed, or never handed out)");
  EXPECT_TRUE(table.BulkOut(5, buffer, count));
  EXPECT_EQ(table.OpenHandleCount(), 4u);
}

TEST(PipeTableHandles, TableHasAFixedCapacity) {
  OneAdapter adapter;
  for (std::size_t i = 0; i < kMaxHandles; ++i) {
    ASSERT_EQ(adapter.table.Open(PipeKind::kBulkIn), kFirstHandle + static_cast<int>(i));
  }
  PipeFailure failure;
  EXPECT_EQ(adapter.table.Open(PipeKind::kBulkIn, &failure), kInvalidHandle);
  EXPECT_EQ(failure.kind, PipeFailureKind::kHandleLimit);
  EXPECT_EQ(failure.text, "OpenUsbPort_Bulkin: all 64 handles are open; close one first");
  ASSERT_TRUE(adapter.table.Close(PipeKind::kBulkIn, 10));
  EXPECT_EQ(adapter.table.Open(PipeKind::kControl), 65);
  EXPECT_EQ(adapter.bus.Count("claim"), 1u);
}

TEST(PipeTableHandles, WrongKindUnknownAndClosedHandlesFailWithoutTouchingTheDevice) {
  OneAdapter adapter;
  PipeTable& table = adapter.table;
  const int control = table.Open(PipeKind::kControl);
  const int bulk_in = table.Open(PipeKind::kBulkIn);
  const int bulk_out = table.Open(PipeKind::kBulkOut);
  const int interrupt_in = table.Open(PipeKind::kInterruptIn);
  const int closed = table.Open(PipeKind::kBulkIn);
  ASSERT_TRUE(table.Close(PipeKind::kBulkIn, closed));
  adapter.bus.Clear();

  std::array<std::uint8_t, 8> buffer{};
  const VendorRequest request{0x10, 1, 2};
  struct Case {
    const char* operation;
    int handle;
  };
  const std::vector<Case> cases = {
      {"BulkIn", control},
      {"BulkIn", bulk_out},
      {"BulkOut", control},
      {"BulkOut", bulk_in},
      {"BulkOut", interrupt_in},
      {"ControlIn", bulk_in},
      {"ControlIn", bulk_out},
      {"ControlIn", interrupt_in},
      {"ControlOut", bulk_in},
      {"ControlOut", bulk_out},
      {"ControlOut", interrupt_in},
      {"BulkIn", closed},
      {"BulkOut", 99},
      {"ControlIn", -1},
      {"ControlOut", 0},
      {"BulkIn", kInvalidHandle},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.operation) + " on handle " + std::to_string(c.handle));
    std::uint32_t count = 77;
    const std::string op = c.operation;
    bool ok = true;
    if (op == "BulkIn") ok = table.BulkIn(c.handle, buffer, count);
    if (op == "BulkOut") ok = table.BulkOut(c.handle, buffer, count);
    if (op == "ControlIn") ok = table.VendorControlIn(c.handle, request, buffer, count);
    if (op == "ControlOut") ok = table.VendorControlOut(c.handle, request, buffer, count);
    EXPECT_FALSE(ok);
    EXPECT_EQ(count, 0u);
  }
  EXPECT_TRUE(adapter.bus.Calls().empty());

  // Closing with the wrong routine leaves the handle open; closing twice is harmless.
  EXPECT_FALSE(table.Close(PipeKind::kBulkIn, bulk_out));
  EXPECT_FALSE(table.Close(PipeKind::kControl, interrupt_in));
  EXPECT_FALSE(table.Close(PipeKind::kBulkIn, closed));
  EXPECT_FALSE(table.Close(PipeKind::kBulkIn, -1));
  EXPECT_FALSE(table.Close(PipeKind::kBulkIn, 1000));
  EXPECT_EQ(table.OpenHandleCount(), 4u);
  EXPECT_TRUE(table.Close(PipeKind::kBulkOut, bulk_out));
  EXPECT_FALSE(table.Close(PipeKind::kBulkOut, bulk_out));
  EXPECT_TRUE(adapter.bus.Calls().empty());
}

TEST(PipeTableDevice, IsClaimedOnceAndReleasedWhenTheLastHandleCloses) {
  OneAdapter adapter;
  PipeTable& table = adapter.table;
  const int control = table.Open(PipeKind::kControl);
  const int bulk_in = table.Open(PipeKind::kBulkIn);
  const int bulk_out = table.Open(PipeKind::kBulkOut);
  const int interrupt_in = table.Open(PipeKind::kInterruptIn);
  EXPECT_EQ(Names(adapter.bus.Calls()), (std::vector<std::string>{"open", "claim"}));
  EXPECT_EQ(adapter.bus.list_calls, 1);

  ASSERT_TRUE(table.Close(PipeKind::kControl, control));
  ASSERT_TRUE(table.Close(PipeKind::kBulkIn, bulk_in));
  ASSERT_TRUE(table.Close(PipeKind::kInterruptIn, interrupt_in));
  EXPECT_EQ(adapter.bus.Count("release"), 0u);
  ASSERT_TRUE(table.Close(PipeKind::kBulkOut, bulk_out));
  EXPECT_EQ(Names(adapter.bus.Calls()),
            (std::vector<std::string>{"open", "claim", "release", "close"}));
  EXPECT_EQ(adapter.bus.Calls("release")[0].index, kPipeInterface);

  // The next open finds and claims the adapter afresh.
  adapter.bus.Clear();
  ASSERT_NE(table.Open(PipeKind::kBulkIn), kInvalidHandle);
  EXPECT_EQ(Names(adapter.bus.Calls()), (std::vector<std::string>{"open", "claim"}));
}

TEST(PipeTableDevice, ATransferRunningWhenTheLastHandleClosesKeepsTheDeviceUntilItReturns) {
  OneAdapter adapter;
  const int bulk_in = adapter.table.Open(PipeKind::kBulkIn);
  bool closed = false;
  std::size_t releases_while_running = 99;
  adapter.fake.during_transfer = [&] {
    closed = adapter.table.Close(PipeKind::kBulkIn, bulk_in);
    releases_while_running = adapter.bus.Count("release");
  };
  std::array<std::uint8_t, 64> buffer{};
  std::uint32_t count = 0;
  EXPECT_TRUE(adapter.table.BulkIn(bulk_in, buffer, count));
  EXPECT_TRUE(closed);
  EXPECT_EQ(releases_while_running, 0u);
  EXPECT_EQ(Names(adapter.bus.Calls()),
            (std::vector<std::string>{"open", "claim", "bulk", "release", "close"}));
}

TEST(PipeTableTransfers, UseTheirEndpointAndTimeOut) {
  OneAdapter adapter;
  PipeTable& table = adapter.table;
  const int bulk_in = table.Open(PipeKind::kBulkIn);
  const int bulk_out = table.Open(PipeKind::kBulkOut);
  const int interrupt_in = table.Open(PipeKind::kInterruptIn);
  adapter.bus.Clear();

  std::array<std::uint8_t, 64> packet{};
  packet[0] = 0x02;
  packet[63] = 0x3C;
  std::uint32_t count = 0;
  ASSERT_TRUE(table.BulkOut(bulk_out, packet, count));
  EXPECT_EQ(count, 64u);
  std::array<std::uint8_t, 64> in{};
  ASSERT_TRUE(table.BulkIn(bulk_in, in, count));
  EXPECT_EQ(count, 64u);
  std::array<std::uint8_t, 8> status{};
  ASSERT_TRUE(table.BulkIn(interrupt_in, status, count));
  EXPECT_EQ(count, 8u);

  const auto calls = adapter.bus.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].what, "bulk");
  EXPECT_EQ(calls[0].endpoint_or_type, 0x01);
  EXPECT_EQ(calls[0].data, common::Bytes(packet.begin(), packet.end()));
  EXPECT_EQ(calls[1].what, "bulk");
  EXPECT_EQ(calls[1].endpoint_or_type, 0x81);
  EXPECT_EQ(calls[1].length, 64u);
  EXPECT_EQ(calls[2].what, "interrupt");
  EXPECT_EQ(calls[2].endpoint_or_type, 0x82);
  EXPECT_EQ(calls[2].length, 8u);
  for (const auto& call : calls) EXPECT_EQ(call.timeout_ms, 60000u);
}

TEST(PipeTableTransfers, AFailedTransferReportsFailureAndNoBytes) {
  OneAdapter adapter;
  const int bulk_in = adapter.table.Open(PipeKind::kBulkIn);
  const int bulk_out = adapter.table.Open(PipeKind::kBulkOut);
  const int control = adapter.table.Open(PipeKind::kControl);
  adapter.bus.faults.transfer_result = link::kUsbErrorTimeout;
  std::array<std::uint8_t, 64> buffer{};
  std::uint32_t count = 5;
  EXPECT_FALSE(adapter.table.BulkIn(bulk_in, buffer, count));
  EXPECT_EQ(count, 0u);
  count = 5;
  EXPECT_FALSE(adapter.table.BulkOut(bulk_out, buffer, count));
  EXPECT_EQ(count, 0u);
  count = 5;
  EXPECT_FALSE(adapter.table.VendorControlIn(control, {}, buffer, count));
  EXPECT_EQ(count, 0u);
  count = 5;
  EXPECT_FALSE(adapter.table.VendorControlOut(control, {}, buffer, count));
  EXPECT_EQ(count, 0u);
  // The handles stay usable once the device answers again.
  adapter.bus.faults.transfer_result = 0;
  EXPECT_TRUE(adapter.table.BulkIn(bulk_in, buffer, count));
}

TEST(PipeTableControl, RequestFieldsReachTheDeviceExactly) {
  OneAdapter adapter;
  const int control = adapter.table.Open(PipeKind::kControl);
  adapter.bus.Clear();

  const common::Bytes data = {0x11, 0x22, 0x33, 0x44, 0x55};
  std::uint32_t count = 0;
  ASSERT_TRUE(adapter.table.VendorControlOut(control, {0xA5, 0x1234, 0xBEEF}, data, count));
  EXPECT_EQ(count, 5u);
  std::array<std::uint8_t, 7> reply{};
  ASSERT_TRUE(adapter.table.VendorControlIn(control, {0xA5, 0x1234, 0xBEEF}, reply, count));
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(common::Bytes(reply.begin(), reply.begin() + 5), data);

  const auto calls = adapter.bus.Calls("control");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].endpoint_or_type, 0x40);
  EXPECT_EQ(calls[1].endpoint_or_type, 0xC0);
  for (const auto& call : calls) {
    EXPECT_EQ(call.request, 0xA5);
    EXPECT_EQ(call.value, 0x1234);
    EXPECT_EQ(call.index, 0xBEEF);
    EXPECT_EQ(call.timeout_ms, 2000u);
  }
  EXPECT_EQ(calls[0].length, 5u);
  EXPECT_EQ(calls[0].data, data);
  EXPECT_EQ(calls[1].length, 7u);
}

TEST(PipeTableControl, RefusesALengthOneTransferCannotCarry) {
  OneAdapter adapter;
  const int control = adapter.table.Open(PipeKind::kControl);
  adapter.bus.Clear();
  std::vector<std::uint8_t> big(kMaxTransferLength + 1);
  std::uint32_t count = 9;
  EXPECT_FALSE(adapter.table.VendorControlIn(control, {1, 0, 0}, big, count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(adapter.table.VendorControlOut(control, {1, 0, 0}, big, count));
  EXPECT_TRUE(adapter.bus.Calls().empty());
  big.pop_back();
  EXPECT_TRUE(adapter.table.VendorControlIn(control, {1, 0, 0}, big, count));
  EXPECT_EQ(adapter.bus.Calls("control").at(0).length, kMaxTransferLength);
}

TEST(PipeTableFailures, TransfersSayWhyTheyFailed) {
  struct Case {
    int result;
    PipeFailureKind kind;
    std::string bulk_in_text;
  };
  const std::vector<Case> cases = {
      {link::kUsbErrorTimeout, PipeFailureKind::kTimedOut,
       "BulkIn: no answer within 60000 ms (LIBUSB_ERROR_TIMEOUT)"},
      {link::kUsbErrorNoDevice, PipeFailureKind::kAdapterGone,
       "BulkIn: the adapter is gone (LIBUSB_ERROR_NO_DEVICE); close every handle and open again"},
      {link::kUsbErrorPipe, PipeFailureKind::kRefused,
       "BulkIn: the adapter refused the request (LIBUSB_ERROR_PIPE)"},
      {link::kUsbErrorIo, PipeFailureKind::kTransferFailed,
       "BulkIn: the transfer failed (LIBUSB_ERROR_IO)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bulk_in_text);
    OneAdapter adapter;
    const int bulk_in = adapter.table.Open(PipeKind::kBulkIn);
    const int control = adapter.table.Open(PipeKind::kControl);
    adapter.bus.faults.transfer_result = c.result;
    std::array<std::uint8_t, 64> buffer{};
    std::uint32_t count = 0;
    PipeFailure failure;
    EXPECT_FALSE(adapter.table.BulkIn(bulk_in, buffer, count, &failure));
    EXPECT_EQ(failure.kind, c.kind);
    EXPECT_EQ(failure.text, c.bulk_in_text);
    failure = {};
    EXPECT_FALSE(adapter.table.VendorControlOut(control, {}, buffer, count, &failure));
    EXPECT_EQ(failure.kind, c.kind);
    EXPECT_TRUE(failure.text.starts_with("VendorControlOut: ")) << failure.text;
  }
}

TEST(PipeTableFailures, AHandleOfAnotherKindIsNamed) {
  OneAdapter adapter;
  const int bulk_in = adapter.table.Open(PipeKind::kBulkIn);
  const int interrupt_in = adapter.table.Open(PipeKind::kInterruptIn);
  std::array<std::uint8_t, 8> buffer{};
  std::uint32_t count = 0;
  PipeFailure failure;
  EXPECT_FALSE(adapter.table.BulkOut(bulk_in, buffer, count, &failure));
  EXPECT_EQ(failure.kind, PipeFailureKind::kBadHandle);
  EXPECT_EQ(failure.text,
            "BulkOut: handle 1 is a bulk-in handle; this routine takes a bulk-out handle");
  EXPECT_FALSE(adapter.table.VendorControlIn(interrupt_in, {}, buffer, count, &failure));
  EXPECT_EQ(failure.text,
            "VendorControlIn: handle 2 is an interrupt-in handle; this routine takes a control "
            "handle");
  EXPECT_FALSE(adapter.table.Close(PipeKind::kBulkOut, bulk_in, &failure));
  EXPECT_EQ(failure.text,
            "CloseUsbPort_Bulkout: handle 1 is a bulk-in handle; this routine takes a bulk-out "
            "handle");
}

TEST(PipeTableTransfers, ASizeBeyondOneTransferIsRefusedBeforeTheDeviceSeesIt) {
  OneAdapter adapter;
  const int bulk_in = adapter.table.Open(PipeKind::kBulkIn);
  const int bulk_out = adapter.table.Open(PipeKind::kBulkOut);
  adapter.bus.Clear();
  std::vector<std::uint8_t> big(kMaxTransferLength + 1);
  std::uint32_t count = 9;
  PipeFailure failure;
  EXPECT_FALSE(adapter.table.BulkOut(bulk_out, big, count, &failure));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(failure.kind, PipeFailureKind::kTooLong);
  EXPECT_EQ(failure.text,
            "BulkOut: a size of 4097 bytes is more than one transfer carries (4096 bytes); "
            "nothing was sent or read");
  EXPECT_FALSE(adapter.table.BulkIn(bulk_in, big, count, &failure));
  EXPECT_EQ(failure.kind, PipeFailureKind::kTooLong);
  EXPECT_TRUE(adapter.bus.Calls().empty());
  big.pop_back();
  EXPECT_TRUE(adapter.table.BulkOut(bulk_out, big, count));
  EXPECT_EQ(count, kMaxTransferLength);
}

TEST(PipeTableTransfers, TimeOutsCanBeShortenedButNeverLengthenedOrRemoved) {
  OneAdapter adapter;
  const int bulk_in = adapter.table.Open(PipeKind::kBulkIn);
  const int control = adapter.table.Open(PipeKind::kControl);
  PipeFailure failure;
  for (const PipeTimeouts refused : {PipeTimeouts{0, 100}, PipeTimeouts{100, 0},
                                     PipeTimeouts{60001, 100}, PipeTimeouts{100, 2001}}) {
    EXPECT_FALSE(adapter.table.SetTimeouts(refused, &failure));
    EXPECT_EQ(failure.kind, PipeFailureKind::kBadArgument);
  }
  EXPECT_EQ(failure.text,
            "CwPipesSetTimeouts: time-outs of 100 ms and 2001 ms are out of range (1 to 60000 ms "
            "for transfers, 1 to 2000 ms for vendor requests)");
  EXPECT_EQ(adapter.table.timeouts().transfer_ms, kPipeTimeoutMs);

  ASSERT_TRUE(adapter.table.SetTimeouts({25, 5}));
  adapter.bus.Clear();
  std::array<std::uint8_t, 64> buffer{};
  std::uint32_t count = 0;
  ASSERT_TRUE(adapter.table.BulkIn(bulk_in, buffer, count));
  ASSERT_TRUE(adapter.table.VendorControlOut(control, {}, buffer, count));
  EXPECT_EQ(adapter.bus.Calls("bulk").at(0).timeout_ms, 25u);
  EXPECT_EQ(adapter.bus.Calls("control").at(0).timeout_ms, 5u);
}

}  // namespace
}  // namespace cw::exports
