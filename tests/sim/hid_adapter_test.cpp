#include <gtest/gtest.h>

#include <map>

#include "common/clock.h"
#include "link/hid_reports.h"
#include "link/pec.h"
#include "sim/sim_pack.h"

namespace cw::sim {
namespace {

using Report = std::vector<std::uint8_t>;

class HidAdapterTest : public ::testing::Test {
 protected:
  HidAdapterTest() { OpenAll(); }

  void OpenAll() {
    collections_.clear();
    for (const auto& info : pack_.hid_backend().Enumerate()) {
      collections_[info.usage] = pack_.hid_backend().Open(info);
    }
  }
  link::HidCollection& Collection(std::uint8_t usage) { return *collections_.at(usage); }
  bool Set(const Report& report) { return Collection(report[0]).SetFeature(report); }
  Report Get(std::uint8_t id) {
    Report report(link::hid::ReportLength(id), 0xEE);
    report[0] = id;
    EXPECT_TRUE(Collection(id).GetFeature(report));
    return report;
  }
  std::uint8_t FetchStatus() {
    EXPECT_TRUE(Set({10, 0xFF, 1, 0, 0, 0, 0, 0}));
    return Get(3)[1];
  }

  common::ManualClock clock_;
  SimPack pack_{clock_, DefaultSimOptions(common::ProductConstants{}, SimAdapters::kHid)};
  std::map<std::uint8_t, std::unique_ptr<link::HidCollection>> collections_;
};

TEST_F(HidAdapterTest, EnumeratesOneCollectionPerUsageWithTheConfiguredIds) {
  const auto infos = pack_.hid_backend().Enumerate();
  ASSERT_EQ(infos.size(), link::hid::kUsageTable.size());
  for (std::size_t i = 0; i < infos.size(); ++i) {
    EXPECT_EQ(infos[i].usage, link::hid::kUsageTable[i]);
    EXPECT_EQ(infos[i].vendor_id, common::ProductConstants{}.adapter_vendor_id);
    EXPECT_EQ(infos[i].product_id, 0x8888);
    EXPECT_EQ(infos[i].usage_page, 0xFF00);
  }
  SimOptions options = DefaultSimOptions(common::ProductConstants{}, SimAdapters::kHid);
  options.hid_adapters[0].usage_page = 0xFF01;
  SimPack other(clock_, options);
  EXPECT_EQ(other.hid_backend().Enumerate().front().usage_page, 0xFF01);
}

TEST_F(HidAdapterTest, WordReadPutsDataPecAndStatusInReportThree) {
  ASSERT_TRUE(Set({1, 0x17, 0x09, 0, 0, 0, 3, 2}));
  EXPECT_EQ(Get(3), (Report{3, 0x60, 0x3B, link::Pec({0x16, 0x09, 0x17, 0x60, 0x3B}), 0, 0, 0, 0}));
  // Unknown command: the gauge does not acknowledge, and the status byte says so.
  ASSERT_TRUE(Set({1, 0x17, 0x30, 0, 0, 0, 3, 2}));
  EXPECT_NE(Get(3)[4], 0);
}

TEST_F(HidAdapterTest, BlockReadOfGaugeGivenLengthPutsTheStatusAfterTheData) {
  ASSERT_TRUE(Set({1, 0x17, 0x21, 0, 0, 0, 255, 2}));
  const Report response = Get(6);
  EXPECT_EQ(response[1], 8);
  EXPECT_EQ(std::string(response.begin() + 2, response.begin() + 10), "KT580714");
  EXPECT_EQ(response[10], 0);  // status at count + 2: no PEC is read
}

TEST_F(HidAdapterTest, ManufacturerBlockAccessThroughTheLongHeader) {
  const std::uint8_t pec = link::Pec({0x16, 0x44, 2, 0x54, 0});
  ASSERT_TRUE(Set({2, 0x16, 0x44, 2, 0x54, 0, pec, 0, 0, 0, 0, 0, 0, 0, 0, 6}));
  EXPECT_EQ(FetchStatus(), 0);
  ASSERT_TRUE(Set({1, 0x17, 0x44, 0, 0, 0, 6, 2}));
  const Report response = Get(3);  // N = 7: report 3, status at byte 7
  EXPECT_EQ(response[1], 4);
  EXPECT_EQ(response[2], 0x54);
  EXPECT_EQ(response[3], 0);
  EXPECT_EQ(response[6], link::Pec({0x16, 0x44, 0x17, 4, 0x54, 0, response[4], response[5]}));
  EXPECT_EQ(response[7], 0);
}

TEST_F(HidAdapterTest, WriteCompletedByADataReportAndItsStatus) {
  const std::uint8_t select_pec = link::Pec({0x16, 0x77, 0x30, 0});
  ASSERT_TRUE(Set({1, 0x16, 0x77, 0x30, 0, select_pec, 0, 5}));
  EXPECT_EQ(FetchStatus(), 0);
  // Page 2 of subclass 0x30 (9 bytes): count in the header, data and PEC in report 4.
  const Report data = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  Report pec_input = {0x16, 0x7A, 9};
  pec_input.insert(pec_input.end(), data.begin(), data.end());
  ASSERT_TRUE(Set({1, 0x16, 0x7A, 9, 0, 0, 10, 3}));
  EXPECT_NE(FetchStatus(), 0);  // the write still waits for its data
  Report data_report(16, 0);
  data_report[0] = 4;
  std::copy(data.begin(), data.end(), data_report.begin() + 1);
  data_report[10] = link::Pec(pec_input);
  ASSERT_TRUE(Set({1, 0x16, 0x7A, 9, 0, 0, 10, 3}));
  ASSERT_TRUE(Set(data_report));
  EXPECT_EQ(FetchStatus(), 0);
  const auto memory = pack_.gauge().State().memory;
  EXPECT_TRUE(std::equal(data.begin(), data.end(), memory.data.begin() + 0x083 + 64));

  data_report[10] ^= 0xFF;  // a wrong PEC is refused and reported
  ASSERT_TRUE(Set({1, 0x16, 0x7A, 9, 0, 0, 10, 3}));
  ASSERT_TRUE(Set(data_report));
  EXPECT_NE(FetchStatus(), 0);
}

TEST_F(HidAdapterTest, MalformedHeadersAreRefusedWithoutReachingTheGauge) {
  const std::uint8_t pec = link::Pec({0x16, 0x01, 0x00, 0x03});
  const std::pair<Report, std::uint8_t> writes[] = {
      {{1, 0x16, 0x01, 0x00, 0x03, pec, 0, 0}, 0x02},  // no write phase at all
      {{1, 0x16, 0x01, 0x00, 0x03, pec, 0, 6}, 0x02},  // more inline bytes than the header holds
      {{1, 0x20, 0x01, 0x00, 0x03, pec, 0, 5}, 0x01},  // nobody at that address
  };
  for (const auto& [header, status] : writes) {
    ASSERT_TRUE(Set(header));
    EXPECT_EQ(FetchStatus(), status);
  }
  ASSERT_TRUE(Set({1, 0x17, 0x01, 0, 0, 0, 3, 2}));
  EXPECT_EQ(Get(3)[1], 300 & 0xFF);                  // Remaining Capacity Alarm kept its value
  ASSERT_TRUE(Set({1, 0x17, 0x09, 0, 0, 0, 3, 1}));  // a read without its command byte
  EXPECT_NE(Get(3)[4], 0);
}

TEST_F(HidAdapterTest, AdapterVersionInReportThree) {
  ASSERT_TRUE(Set({10, 0xFF, 2, 0, 0, 0, 7, 0}));
  const Report response = Get(3);
  EXPECT_EQ(response[3], 2);
  EXPECT_EQ(response[4], 1);
  EXPECT_EQ((Report{response[5], response[6], response[7]}), (Report{3, 7, 1}));
}

TEST_F(HidAdapterTest, ReportsOutsideTheirCollectionOrLengthFail) {
  Report header = {1, 0x17, 0x09, 0, 0, 0, 3, 2};
  EXPECT_FALSE(Collection(2).SetFeature(header));
  header[0] = 3;
  EXPECT_FALSE(Collection(1).SetFeature(header));
  Report short_header = {1, 0x17, 0x09, 3, 2};
  EXPECT_FALSE(Collection(1).SetFeature(short_header));
  Report get = {1, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(Collection(1).GetFeature(get));  // headers are set, never fetched
  Report unused = {9, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(Collection(9).SetFeature(unused));
}

TEST_F(HidAdapterTest, AResponseNeverRunsPastItsReport) {
  ASSERT_TRUE(Set({1, 0x17, 0x21, 0, 0, 0, 255, 2}));
  Report big(64, 0xAA);
  big[0] = 3;
  ASSERT_TRUE(Collection(3).GetFeature(big));
  EXPECT_EQ(big[1], 8);
  EXPECT_TRUE(std::all_of(big.begin() + 8, big.end(), [](std::uint8_t b) { return b == 0xAA; }));
}

TEST_F(HidAdapterTest, UnpluggedAdapterFailsAndOldHandlesStayDeadAfterReplug) {
  pack_.Unplug();
  EXPECT_TRUE(pack_.hid_backend().Enumerate().empty());
  EXPECT_FALSE(Set({1, 0x17, 0x09, 0, 0, 0, 3, 2}));
  pack_.Plug();
  EXPECT_FALSE(Set({1, 0x17, 0x09, 0, 0, 0, 3, 2}));
  OpenAll();
  EXPECT_TRUE(Set({1, 0x17, 0x09, 0, 0, 0, 3, 2}));
  EXPECT_EQ(Get(3)[1], 0x60);
}

}  // namespace
}  // namespace cw::sim
