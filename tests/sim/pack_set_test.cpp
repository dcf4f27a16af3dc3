// A set of simulated packs: each its own adapters, faults and state file; views with lists of
// their own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/clock.h"
#include "sim/sim_pack_set.h"

namespace cw::sim {
namespace {

namespace fs = std::filesystem;

class PackSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("cw_pack_set_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::unique_ptr<SimPackSet> Make(SimPackSetOptions options) {
    auto set = SimPackSet::Create(clock_, std::move(options));
    EXPECT_TRUE(set.has_value()) << set.error().message;
    return set ? std::move(*set) : nullptr;
  }

  common::ManualClock clock_;
  fs::path folder_;
};

TEST_F(PackSetTest, RefusesWhatCannotBeBuilt) {
  std::ofstream(folder_.string()) << "a file where the folder should be";
  const SimPackSetOptions cases[] = {
      {.packs = 0},
      {.packs = kMaxPacks + 1},
      {.packs = 3, .pack_faults = {{4, FaultConfig{.nack_every = 2}}}},
      {.packs = 2, .state = folder_.string(), .state_folder = true},
  };
  for (const auto& options : cases) {
    const auto set = SimPackSet::Create(clock_, options);
    ASSERT_FALSE(set.has_value()) << options.packs;
    EXPECT_FALSE(set.error().message.empty());
  }
}

TEST_F(PackSetTest, EachPackHasItsOwnSerialNodesAndFaults) {
  auto set = Make({.packs = 3,
                   .transport = SimAdapters::kBoth,
                   .faults = FaultConfig{.seed = 5},
                   .pack_faults = {{2, FaultConfig{.nack_every = 1}}}});
  ASSERT_TRUE(set);
  EXPECT_EQ(set->serial(2), "888800000003");
  EXPECT_EQ(set->Find("888800000002"), 1u);
  EXPECT_EQ(set->Find("sim:bulk2"), 2u);
  EXPECT_EQ(set->Find("sim:hid0"), 0u);
  EXPECT_EQ(set->Find("888800000004"), std::nullopt);
  for (std::size_t index = 0; index < 3; ++index) {
    const bool faulty = index == 1;
    EXPECT_EQ(set->pack(index).options().faults.nack_every, faulty ? 1 : 0);
    EXPECT_EQ(set->pack(index).options().faults.seed, faulty ? 0u : 5u);
  }
}

TEST_F(PackSetTest, APackTakesItsStateFileOnlyWhenUsed) {
  auto set = Make({.packs = 2, .state = folder_.string(), .state_folder = true});
  ASSERT_TRUE(set);
  ASSERT_TRUE(set->Use(1).has_value());
  EXPECT_TRUE(fs::exists(folder_ / "888800000002.json.lock")) << "held from first use";
  EXPECT_FALSE(fs::exists(folder_ / "888800000001.json.lock"));
  EXPECT_TRUE(set->Use(1).has_value()) << "a second use is the same pack";
  const auto other = set->pack(1).AttachStateFile((folder_ / "other.json").string());
  EXPECT_FALSE(other.has_value());
  set.reset();
  EXPECT_TRUE(fs::exists(folder_ / "888800000002.json"));
  EXPECT_FALSE(fs::exists(folder_ / "888800000001.json"));
}

TEST_F(PackSetTest, ViewsListEveryAdapterWithoutDisturbingAPacksOwnList) {
  auto set = Make({.packs = 2, .transport = SimAdapters::kBoth});
  ASSERT_TRUE(set);
  auto hid = set->NewHidView();
  EXPECT_EQ(hid->Enumerate().size(), 2 * 13u);
  EXPECT_NE(hid->Open(hid->Enumerate().back()), nullptr);

  auto& own = set->pack(1).usb_backend();
  ASSERT_EQ(own.ListDevices(), 1u);
  auto usb = set->NewUsbView();
  ASSERT_EQ(usb->ListDevices(), 2u);
  EXPECT_EQ(usb->DevicePath(1), "sim:bulk1");
  usb->FreeDeviceList();
  // The pack's link is between listing and opening: another user's list is not its own.
  auto device = own.Open(0);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->ReadSerialNumber(), "888800000002");
}

}  // namespace
}  // namespace cw::sim
