// The pipe table on the simulated pack's bulk adapter: what the adapter and the gauge behind it
// see and answer.

#include <gtest/gtest.h>

#include <array>
#include <thread>
#include <vector>

#include "bulk_requests.h"
#include "common/clock.h"
#include "exports/pipe_table.h"
#include "link/bulk_packets.h"
#include "recording_usb_backend.h"
#include "sim/adapter_identity.h"
#include "sim/sim_pack.h"

namespace cw::exports {
namespace {

namespace bulk = link::bulk;
using testing::Packet;

using testing::ReadRequest;
using testing::WriteWordRequest;

class SimPipes : public ::testing::Test {
 protected:
  common::ManualClock clock_;
  sim::SimPack pack_{clock_,
                     sim::DefaultSimOptions(common::ProductConstants{}, sim::SimAdapters::kBulk)};
  testing::RecordingUsbBackend bus_{pack_.usb_backend()};
  PipeTable table_{bus_, common::ProductConstants{}};

  // Whether another program could claim the adapter right now.
  bool AdapterFree() {
    auto& usb = pack_.usb_backend();
    if (usb.ListDevices().value_or(0) == 0) return false;
    auto other = usb.Open(0);
    usb.FreeDeviceList();
    if (!other || other->ClaimInterface(kPipeInterface) != link::kUsbSuccess) return false;
    other->ReleaseInterface(kPipeInterface);
    return true;
  }
};

TEST_F(SimPipes, AdapterIsClaimedOnceAndFreedWithTheLastHandle) {
  ASSERT_TRUE(AdapterFree());
  const int control = table_.Open(PipeKind::kControl);
  const int bulk_in = table_.Open(PipeKind::kBulkIn);
  const int bulk_out = table_.Open(PipeKind::kBulkOut);
  ASSERT_NE(control, kInvalidHandle);
  ASSERT_NE(bulk_in, kInvalidHandle);
  ASSERT_NE(bulk_out, kInvalidHandle);
  const auto claims = bus_.Calls("claim");
  ASSERT_EQ(claims.size(), 1u);
  EXPECT_EQ(claims[0].result, link::kUsbSuccess);
  EXPECT_FALSE(AdapterFree());

  ASSERT_TRUE(table_.Close(PipeKind::kControl, control));
  ASSERT_TRUE(table_.Close(PipeKind::kBulkIn, bulk_in));
  EXPECT_FALSE(AdapterFree());
  ASSERT_TRUE(table_.Close(PipeKind::kBulkOut, bulk_out));
  const auto releases = bus_.Calls("release");
  ASSERT_EQ(releases.size(), 1u);
  EXPECT_EQ(releases[0].result, link::kUsbSuccess);
  EXPECT_TRUE(AdapterFree());
}

TEST_F(SimPipes, AReadPacketOutAndInGivesTheGaugesReply) {
  const int bulk_out = table_.Open(PipeKind::kBulkOut);
  const int bulk_in = table_.Open(PipeKind::kBulkIn);
  constexpr std::uint8_t kDesignVoltage = 0x19;
  std::uint32_t count = 0;
  ASSERT_TRUE(table_.BulkOut(bulk_out, ReadRequest(kDesignVoltage, 3), count));
  EXPECT_EQ(count, bulk::kPacketLength);
  Packet reply{};
  ASSERT_TRUE(table_.BulkIn(bulk_in, reply, count));
  EXPECT_EQ(count, bulk::kPacketLength);

  EXPECT_EQ(reply[bulk::kOpcodeByte], bulk::kOpRead);
  EXPECT_EQ(reply[bulk::kAckByte], sim::adapter::kAck);
  const auto expected = pack_.gauge().Read(kDesignVoltage, 3);
  ASSERT_TRUE(expected.has_value());
  EXPECT_EQ(common::Bytes(reply.begin() + 10, reply.begin() + 13), *expected);
}

TEST_F(SimPipes, AWritePacketReachesTheGauge) {
  const int bulk_out = table_.Open(PipeKind::kBulkOut);
  const int bulk_in = table_.Open(PipeKind::kBulkIn);
  constexpr std::uint8_t kRemainingCapacityAlarm = 0x01;
  std::uint32_t count = 0;
  ASSERT_TRUE(table_.BulkOut(bulk_out, WriteWordRequest(kRemainingCapacityAlarm, 0x01F4), count));
  Packet reply{};
  ASSERT_TRUE(table_.BulkIn(bulk_in, reply, count));
  EXPECT_EQ(reply[bulk::kOpcodeByte], bulk::kOpWrite);
  EXPECT_EQ(reply[bulk::kAckByte], sim::adapter::kAck);
  EXPECT_EQ(pack_.gauge().State().settings.remaining_capacity_alarm, 0x01F4);
}

TEST_F(SimPipes, InterruptPipeReportsWhetherAReplyIsWaiting) {
  const int bulk_out = table_.Open(PipeKind::kBulkOut);
  const int bulk_in = table_.Open(PipeKind::kBulkIn);
  const int interrupt_in = table_.Open(PipeKind::kInterruptIn);
  std::array<std::uint8_t, sim::adapter::kInterruptStatusLength> status{};
  std::uint32_t count = 0;
  ASSERT_TRUE(table_.BulkIn(interrupt_in, status, count));
  EXPECT_EQ(count, status.size());
  EXPECT_EQ(status[0], sim::adapter::kIdle);

  ASSERT_TRUE(table_.BulkOut(bulk_out, ReadRequest(0x09, 3), count));
  ASSERT_TRUE(table_.BulkIn(interrupt_in, status, count));
  EXPECT_EQ(status[0], sim::adapter::kReplyWaiting);
  Packet reply{};
  ASSERT_TRUE(table_.BulkIn(bulk_in, reply, count));
  ASSERT_TRUE(table_.BulkIn(interrupt_in, status, count));
  EXPECT_EQ(status[0], sim::adapter::kIdle);
  // Nothing more to read: the bulk read times out and says so.
  EXPECT_FALSE(table_.BulkIn(bulk_in, reply, count));
  EXPECT_EQ(count, 0u);
}

TEST_F(SimPipes, VendorRequestsAreKeptPerRequestValueAndIndex) {
  const int control = table_.Open(PipeKind::kControl);
  const common::Bytes first = {1, 2, 3, 4};
  const common::Bytes second = {9, 8};
  std::uint32_t count = 0;
  ASSERT_TRUE(table_.VendorControlOut(control, {0x30, 0x0001, 0x0100}, first, count));
  ASSERT_TRUE(table_.VendorControlOut(control, {0x30, 0x0100, 0x0001}, second, count));

  std::array<std::uint8_t, 4> back{};
  ASSERT_TRUE(table_.VendorControlIn(control, {0x30, 0x0001, 0x0100}, back, count));
  EXPECT_EQ(common::Bytes(back.begin(), back.begin() + count), first);
  ASSERT_TRUE(table_.VendorControlIn(control, {0x30, 0x0100, 0x0001}, back, count));
  EXPECT_EQ(common::Bytes(back.begin(), back.begin() + count), second);
  // A request the adapter never stored stalls, and the caller hears of it.
  EXPECT_FALSE(table_.VendorControlIn(control, {0x31, 0x0001, 0x0100}, back, count));
  EXPECT_EQ(count, 0u);
}

TEST_F(SimPipes, AfterTheAdapterIsPulledTransfersFailUntilAllHandlesAreReopened) {
  const int bulk_out = table_.Open(PipeKind::kBulkOut);
  std::uint32_t count = 0;
  pack_.Unplug();
  EXPECT_FALSE(table_.BulkOut(bulk_out, ReadRequest(0x09, 3), count));
  EXPECT_EQ(table_.Open(PipeKind::kBulkIn), 2);  // shares the dead device, like its siblings
  EXPECT_TRUE(table_.Close(PipeKind::kBulkIn, 2));
  EXPECT_TRUE(table_.Close(PipeKind::kBulkOut, bulk_out));
  EXPECT_EQ(table_.Open(PipeKind::kBulkOut), kInvalidHandle);

  pack_.Plug();
  const int fresh = table_.Open(PipeKind::kBulkOut);
  ASSERT_NE(fresh, kInvalidHandle);
  EXPECT_TRUE(table_.BulkOut(fresh, ReadRequest(0x09, 3), count));
}

// Two requests in one write, as libusb sends a long buffer: the adapter holds one reply, so the
// second packet waits until the first reply has been read.
std::vector<std::uint8_t> TwoReadRequests() {
  const Packet voltage = ReadRequest(0x09, 3);
  const Packet charge = ReadRequest(0x0D, 3);
  std::vector<std::uint8_t> both(voltage.begin(), voltage.end());
  both.insert(both.end(), charge.begin(), charge.end());
  return both;
}

TEST_F(SimPipes, ALongWriteStopsAtTheTimeOutWhileNobodyReadsTheReply) {
  const int bulk_out = table_.Open(PipeKind::kBulkOut);
  const int bulk_in = table_.Open(PipeKind::kBulkIn);
  ASSERT_TRUE(table_.SetTimeouts({50, kControlTimeoutMs}));
  std::uint32_t count = 0;
  PipeFailure failure;
  EXPECT_FALSE(table_.BulkOut(bulk_out, TwoReadRequests(), count, &failure));
  EXPECT_EQ(count, bulk::kPacketLength);
  EXPECT_EQ(failure.kind, PipeFailureKind::kTimedOut);
  EXPECT_EQ(failure.text,
            "BulkOut: no answer within 50 ms (LIBUSB_ERROR_TIMEOUT); 64 of 128 bytes moved");
  // The wait went by on the pack's clock.
  EXPECT_GE(clock_.Now(), common::Millis(50));

  // The first request was carried out, the second never reached the adapter.
  Packet reply{};
  ASSERT_TRUE(table_.BulkIn(bulk_in, reply, count));
  EXPECT_EQ(reply[bulk::kCommandByte], 0x09);
  EXPECT_FALSE(table_.BulkIn(bulk_in, reply, count, &failure));
  EXPECT_EQ(failure.text, "BulkIn: no answer within 50 ms (LIBUSB_ERROR_TIMEOUT)");
}

// On the system clock, as a program meets the library: each side waits for the other.
TEST(SimPipesThreads, AWriteWaitsForTheReaderAndAReadForTheWriter) {
  common::SystemClock clock;
  sim::SimPack pack(clock,
                    sim::DefaultSimOptions(common::ProductConstants{}, sim::SimAdapters::kBulk));
  PipeTable table(pack.usb_backend(), common::ProductConstants{});
  const int bulk_out = table.Open(PipeKind::kBulkOut);
  const int bulk_in = table.Open(PipeKind::kBulkIn);
  Packet first{};
  Packet second{};
  std::uint32_t read_count = 0;
  bool read = false;
  std::thread reader([&] {
    read = table.BulkIn(bulk_in, first, read_count) && table.BulkIn(bulk_in, second, read_count);
  });
  std::uint32_t written = 0;
  EXPECT_TRUE(table.BulkOut(bulk_out, TwoReadRequests(), written));
  reader.join();
  EXPECT_EQ(written, 2 * bulk::kPacketLength);
  ASSERT_TRUE(read);
  EXPECT_EQ(first[bulk::kCommandByte], 0x09);
  EXPECT_EQ(second[bulk::kCommandByte], 0x0D);
  EXPECT_EQ(second[bulk::kAckByte], sim::adapter::kAck);
}

}  // namespace
}  // namespace cw::exports
