// The real backends on whatever bus this machine has (usually none): they must answer
// out-of-range requests with failures, and their event thread must stop when they go away.

#include <gtest/gtest.h>

#include <atomic>

#include "exports/pipe_table.h"
#include "link/hidapi_backend.h"
#include "link/libusb_backend.h"

namespace cw::link {
namespace {

TEST(LibusbBackend, RequestsOutsideTheDeviceListFail) {
  LibusbBackend backend;
  EXPECT_FALSE(backend.ReadDeviceDescriptor(0).has_value());
  EXPECT_EQ(backend.Open(0), nullptr);
  const auto count = backend.ListDevices();
  if (count) {
    EXPECT_FALSE(backend.ReadDeviceDescriptor(*count).has_value());
    EXPECT_EQ(backend.Open(*count), nullptr);
    for (std::size_t i = 0; i < *count; ++i) EXPECT_TRUE(backend.ReadDeviceDescriptor(i));
  }
  backend.FreeDeviceList();
  backend.FreeDeviceList();
  EXPECT_FALSE(backend.ReadDeviceDescriptor(0).has_value());
}

TEST(LibusbBackend, HotplugRegistrationCanBeReplacedAndStopsWithTheBackend) {
  std::atomic<int> events{0};
  {
    LibusbBackend backend;
    EXPECT_FALSE(backend.RegisterHotplug(0x16C0, nullptr));
    const bool first = backend.RegisterHotplug(0x16C0, [&](UsbHotplugEvent) { ++events; });
    const bool second = backend.RegisterHotplug(0x16C0, [&](UsbHotplugEvent) { ++events; });
    EXPECT_EQ(first, second);
    // The destructor joins the event thread; a thread that never notices the stop hangs here.
  }
  EXPECT_EQ(events.load(), 0);
}

TEST(LibusbBackend, PipeTableFindsNoAdapterOnABusWithoutOne) {
  LibusbBackend backend;
  const auto count = backend.ListDevices();
  bool adapter_present = false;
  for (std::size_t i = 0; count && i < *count; ++i) {
    const auto descriptor = backend.ReadDeviceDescriptor(i);
    adapter_present |= descriptor &&
                       descriptor->vendor_id == common::ProductConstants{}.adapter_vendor_id &&
                       descriptor->product_id == common::kBulkProductId;
  }
  backend.FreeDeviceList();
  if (adapter_present) GTEST_SKIP() << "a real adapter is plugged in";
  exports::PipeTable table(backend, common::ProductConstants{});
  EXPECT_EQ(table.Open(exports::PipeKind::kControl), exports::kInvalidHandle);
  EXPECT_EQ(table.OpenHandleCount(), 0u);
}

TEST(HidapiBackend, CollectionsThatCannotBeOpenedGiveNull) {
  HidapiBackend backend(0x16C0);
  for (const auto& info : backend.Enumerate()) EXPECT_EQ(info.vendor_id, 0x16C0u);
  EXPECT_EQ(backend.Open(HidCollectionInfo{}), nullptr);
  EXPECT_EQ(backend.Open(HidCollectionInfo{.path = "/dev/cellwarden-no-such-hidraw"}), nullptr);
}

}  // namespace
}  // namespace cw::link
