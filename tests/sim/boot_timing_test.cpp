// The boot loader's busy times against the host's own polling: what the host waits before its
// first status read must cover a record, and its reads must cover an erase with room to spare.
#include <gtest/gtest.h>

#include "common/clock.h"
#include "support/recording_sinks.h"
#include "link/bus_lock.h"
#include "link/gauge_link.h"
#include "sim/sim_pack.h"
#include "sim_test_support.h"

namespace cw::sim {
namespace {

using testing::DataRecord;
using testing::PlainRecord;
using testing::Scramble;

// Passes every transaction to the gauge and counts the status reads of 0x47.
class StatusReadCounter final : public link::SmbusTarget {
 public:
  explicit StatusReadCounter(SimGauge& gauge) : gauge_(gauge) {}
  bool Write(std::span<const std::uint8_t> bytes) override { return gauge_.Write(bytes); }
  std::optional<std::vector<std::uint8_t>> Read(std::uint8_t command, std::size_t count) override {
    if (command == 0x47) ++reads;
    return gauge_.Read(command, count);
  }

  int reads = 0;

 private:
  SimGauge& gauge_;
};

class BootTimingTest : public ::testing::TestWithParam<SimAdapters> {};

TEST_P(BootTimingTest, HostWaitsCoverARecordAndItsReadsAnErase) {
  common::ManualClock clock;
  const SimOptions options = DefaultSimOptions(common::ProductConstants{}, GetParam());
  SimPack pack(clock, options);
  test::RecordingMessageSink messages;
  link::BusLock lock{"MutexToProtectRWAccess-test"};
  link::GaugeLink host(pack.hid_backend(), pack.usb_backend(), clock, messages, lock);
  host.connection().SetVendorId(options.constants.adapter_vendor_id);
  ASSERT_TRUE(host.EnsureConnected());
  StatusReadCounter counter(pack.gauge());
  pack.ReplaceTarget(&counter);
  ASSERT_EQ(host.IspStepPair(true).code, link::kIspSuccess);

  const struct {
    const char* name;
    std::array<std::uint8_t, 31> record;
    int min_reads;
    int max_reads;  // of the 49 the host allows
  } steps[] = {
      {"data record", DataRecord(0, 0x2000, 0, common::Bytes(24, 0x5A)), 1, 1},
      {"erase", PlainRecord(1, 0xFE, common::Bytes{0x04, 0x00, 0x01}), 2, 10},
      {"copy", PlainRecord(2, 0xFC, common::Bytes{0xFF, 0xFE, 0x00, 0xF7, 0xCE, 0x00, 0x02}), 1, 1},
  };
  for (const auto& step : steps) {
    counter.reads = 0;
    const auto record = Scramble(step.record, options.constants.record_mask);
    EXPECT_EQ(host.IspWriteData(record, true).code, link::kIspSuccess) << step.name;
    EXPECT_GE(counter.reads, step.min_reads) << step.name;
    EXPECT_LE(counter.reads, step.max_reads) << step.name;
  }
  pack.ReplaceTarget(nullptr);
  EXPECT_TRUE(messages.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(BothAdapters, BootTimingTest,
                         ::testing::Values(SimAdapters::kHid, SimAdapters::kBulk),
                         [](const auto& info) {
                           return info.param == SimAdapters::kHid ? "hid" : "bulk";
                         });

}  // namespace
}  // namespace cw::sim
