#include <gtest/gtest.h>

#include <cstring>

#include "common/clock.h"
#include "link/bulk_packets.h"
#include "link/pec.h"
#include "sim/sim_pack.h"

namespace cw::sim {
namespace {

using Packet = std::array<std::uint8_t, 64>;

Packet ReadRequest(std::uint8_t command, std::uint8_t count) {
  Packet packet{};
  packet[0] = 0x02;
  packet[4] = 0x02;
  packet[5] = 0x16;
  packet[7] = command;
  packet[9] = count;
  return packet;
}

Packet WriteRequest(std::uint8_t command, std::initializer_list<std::uint8_t> data) {
  Packet packet{};
  packet[0] = 0x07;
  packet[4] = 0x02;
  packet[5] = 0x16;
  packet[7] = command;
  packet[8] = static_cast<std::uint8_t>(data.size() + 1);
  std::copy(data.begin(), data.end(), packet.begin() + 10);
  common::Bytes covered = {0x16, command};
  covered.insert(covered.end(), data.begin(), data.end());
  packet[10 + data.size()] = link::Pec(covered);
  return packet;
}

class BulkAdapterTest : public ::testing::Test {
 protected:
  std::unique_ptr<link::UsbDevice> OpenFirst(SimPack& pack) {
    auto& usb = pack.usb_backend();
    if (usb.ListDevices().value_or(0) == 0) return nullptr;
    auto device = usb.Open(0);
    usb.FreeDeviceList();
    return device;
  }
  std::optional<Packet> Exchange(link::UsbDevice& device, Packet request) {
    if (device.BulkTransfer(0x01, request, 1000) != 64) return std::nullopt;
    Packet response{};
    if (device.BulkTransfer(0x81, response, 1000) != 64) return std::nullopt;
    return response;
  }

  common::ManualClock clock_;
  SimPack pack_{clock_, DefaultSimOptions(common::ProductConstants{}, SimAdapters::kBulk)};
};

TEST_F(BulkAdapterTest, ListsTheAdapterWithItsIdsAndSerial) {
  auto& usb = pack_.usb_backend();
  ASSERT_EQ(usb.ListDevices(), 1u);
  const auto descriptor = usb.ReadDeviceDescriptor(0);
  ASSERT_TRUE(descriptor);
  EXPECT_EQ(descriptor->vendor_id, common::ProductConstants{}.adapter_vendor_id);
  EXPECT_EQ(descriptor->product_id, 0x8000);
  EXPECT_FALSE(usb.ReadDeviceDescriptor(1));
  auto device = usb.Open(0);
  ASSERT_TRUE(device);
  EXPECT_EQ(device->ReadSerialNumber(), "888800000001");
}

TEST_F(BulkAdapterTest, ClaimNeedsTheDriverDetachedAndOneOwner) {
  SimOptions options = DefaultSimOptions(common::ProductConstants{}, SimAdapters::kBulk);
  options.bulk_adapters[0].kernel_driver_active = true;
  SimPack pack(clock_, options);
  auto first = OpenFirst(pack);
  Packet packet = ReadRequest(0x09, 2);
  EXPECT_LT(first->BulkTransfer(0x01, packet, 1000), 0);  // not claimed
  EXPECT_TRUE(first->KernelDriverActive(0));
  EXPECT_EQ(first->ClaimInterface(0), link::kUsbErrorBusy);
  EXPECT_EQ(first->DetachKernelDriver(0), 0);
  EXPECT_EQ(first->ClaimInterface(0), 0);
  auto second = OpenFirst(pack);
  EXPECT_EQ(second->ClaimInterface(0), link::kUsbErrorBusy);
  first.reset();  // closing gives the interface up
  EXPECT_EQ(second->ClaimInterface(0), 0);
  EXPECT_EQ(second->ClaimInterface(1), link::kUsbErrorNotFound);
}

TEST_F(BulkAdapterTest, PacketsCarryReadsWritesAndTheVersion) {
  auto device = OpenFirst(pack_);
  ASSERT_EQ(device->ClaimInterface(0), 0);
  const auto read = Exchange(*device, ReadRequest(0x09, 3));
  ASSERT_TRUE(read);
  EXPECT_EQ((*read)[0], 0x02);
  EXPECT_NE((*read)[6], 0);
  EXPECT_EQ((*read)[10], 0x60);
  EXPECT_EQ((*read)[11], 0x3B);
  EXPECT_EQ((*read)[12], link::Pec({0x16, 0x09, 0x17, 0x60, 0x3B}));

  const auto write = Exchange(*device, WriteRequest(0x77, {0x30, 0x00}));
  ASSERT_TRUE(write);
  EXPECT_EQ((*write)[0], 0x07);
  EXPECT_NE((*write)[6], 0);
  EXPECT_EQ(pack_.gauge().State().selected_subclass, 0x30);

  Packet bad = WriteRequest(0x77, {0x31, 0x00});
  bad[12] ^= 0x01;  // the PEC
  EXPECT_EQ((*Exchange(*device, bad))[6], 0);
  EXPECT_EQ(pack_.gauge().State().selected_subclass, 0x30);
  EXPECT_EQ((*Exchange(*device, ReadRequest(0x09, 60)))[6], 0);  // longer than a packet holds

  Packet version_request{};
  version_request[0] = 0x8A;
  const auto version = Exchange(*device, version_request);
  ASSERT_TRUE(version);
  float value = 0;
  std::memcpy(&value, version->data() + 8, sizeof value);
  EXPECT_FLOAT_EQ(value, 2.1F);
  EXPECT_EQ((std::array<std::uint8_t, 3>{(*version)[14], (*version)[13], (*version)[12]}),
            (std::array<std::uint8_t, 3>{3, 7, 1}));
}

TEST_F(BulkAdapterTest, PipesControlStoreInterruptStatusAndTimeouts) {
  auto device = OpenFirst(pack_);
  ASSERT_EQ(device->ClaimInterface(0), 0);
  Packet in{};
  EXPECT_EQ(device->BulkTransfer(0x81, in, 100), link::kUsbErrorTimeout);
  std::array<std::uint8_t, 8> status{};
  EXPECT_EQ(device->InterruptTransfer(0x82, status, 100), 8);
  EXPECT_EQ(status[0], 0x01);
  Packet request = ReadRequest(0x0D, 3);
  ASSERT_EQ(device->BulkTransfer(0x01, request, 100), 64);
  EXPECT_EQ(device->InterruptTransfer(0x82, status, 100), 8);
  EXPECT_EQ(status[0], 0x00);  // a reply waits on 0x81

  std::array<std::uint8_t, 4> stored = {1, 2, 3, 4};
  EXPECT_EQ(device->ControlTransfer(0x40, 0x21, 0x0102, 0x0003, stored, 100), 4);
  std::array<std::uint8_t, 4> back{};
  EXPECT_EQ(device->ControlTransfer(0xC0, 0x21, 0x0102, 0x0003, back, 100), 4);
  EXPECT_EQ(back, stored);
  EXPECT_EQ(device->ControlTransfer(0xC0, 0x21, 0x0102, 0x0004, back, 100), link::kUsbErrorPipe);
}

TEST_F(BulkAdapterTest, HotplugReportsEveryAdapterAndDropAfterUnplugs) {
  SimOptions options = DefaultSimOptions(common::ProductConstants{}, SimAdapters::kBoth);
  options.faults.drop_after_exchanges = 4;
  SimPack pack(clock_, options);
  std::vector<link::UsbHotplugEvent> events;
  ASSERT_TRUE(pack.usb_backend().RegisterHotplug(common::ProductConstants{}.adapter_vendor_id,
                                                 [&](link::UsbHotplugEvent event) {
                                                   events.push_back(event);
                                                   // Listeners may look at the bus straight away:
                                                   // no lock of the pack is held.
                                                   pack.usb_backend().ListDevices();
                                                 }));
  ASSERT_TRUE(pack.usb_backend().RegisterHotplug(0x1234, [&](link::UsbHotplugEvent) {
    ADD_FAILURE() << "another vendor's listener was called";
  }));

  auto device = OpenFirst(pack);
  ASSERT_EQ(device->ClaimInterface(0), 0);
  ASSERT_TRUE(Exchange(*device, ReadRequest(0x09, 2)));  // exchanges 1 and 2
  ASSERT_TRUE(Exchange(*device, ReadRequest(0x09, 2)));  // 3 and 4
  EXPECT_TRUE(events.empty());
  Packet request = ReadRequest(0x09, 2);
  EXPECT_EQ(device->BulkTransfer(0x01, request, 100), link::kUsbErrorNoDevice);
  using enum link::UsbHotplugEvent;
  EXPECT_EQ(events, (std::vector{kLeft, kLeft}));  // the HID and the bulk adapter
  EXPECT_EQ(pack.usb_backend().ListDevices(), 0u);
  EXPECT_TRUE(pack.hid_backend().Enumerate().empty());

  pack.Plug();
  EXPECT_EQ(events, (std::vector{kLeft, kLeft, kArrived, kArrived}));
  EXPECT_EQ(device->BulkTransfer(0x01, request, 100), link::kUsbErrorNoDevice);
  auto fresh = OpenFirst(pack);
  ASSERT_EQ(fresh->ClaimInterface(0), 0);
  EXPECT_TRUE(Exchange(*fresh, ReadRequest(0x09, 2)));
}

}  // namespace
}  // namespace cw::sim
