// Several adapters in one process: device strings that name them, one Workbench per adapter on
// one AdapterHost, and adapters that never wait on each other.
#include "app/adapter_host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <latch>
#include <thread>

#include "app/device_string.h"
#include "app/workbench.h"
#include "sim/sim_pack.h"
#include "sim/sim_pack_set.h"
#include "support/link_fixture.h"

namespace cw::app {
namespace {

using link::AdapterChoice;
using link::Transport;

TEST(AdapterDeviceStringTest, NamesOneAdapterOrManySimulatedPacks) {
  struct Case {
    const char* text;
    DeviceSelection expected;
  };
  const Case cases[] = {
      {"hid:888800000002", {.adapter = {Transport::kHid, "888800000002"}}},
      {"hid:/dev/hidraw3", {.adapter = {Transport::kHid, "/dev/hidraw3"}}},
      {"hid", {.adapter = {Transport::kHid, ""}}},
      {"bulk", {.adapter = {Transport::kBulk, ""}}},
      {"bulk:/dev/bus/usb/001/005", {.adapter = {Transport::kBulk, "/dev/bus/usb/001/005"}}},
      {"sim:packs=3", {.simulated = true, .packs = 3}},
      {"sim:packs=3:adapter=888800000002",
       {.simulated = true, .packs = 3, .adapter = {std::nullopt, "888800000002"}}},
      {"sim:packs=3:transport=both:adapter=bulk:888800000002",
       {.simulated = true,
        .transport = SimAdapters::kBoth,
        .packs = 3,
        .adapter = {Transport::kBulk, "888800000002"}}},
      // A node holds a colon of its own: the name takes the rest of the string.
      {"sim:packs=2:adapter=hid:sim:hid1",
       {.simulated = true, .packs = 2, .adapter = {Transport::kHid, "sim:hid1"}}},
      {"sim:packs=4:faults=nack-every=2@3:faults=drop-after=9@1:faults=seed=4",
       {.simulated = true,
        .faults = "seed=4",
        .packs = 4,
        .pack_faults = {{3, "nack-every=2"}, {1, "drop-after=9"}}}},
      {"sim:packs=2:state=packs:transport=both",
       {.simulated = true, .transport = SimAdapters::kBoth, .state_file = "packs", .packs = 2}},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseDeviceString(c.text);
    ASSERT_TRUE(parsed.has_value()) << c.text << ": " << parsed.error();
    EXPECT_EQ(*parsed, c.expected) << c.text;
  }
  for (const char* text : {"hid:", "bulk:", "usb:1", "sim:packs=0", "sim:packs=65", "sim:packs=2x",
                           "sim:faults=nack-every=2@", "sim:faults=nack-every=2@0",
                           "sim:faults=nack-every=2@two", "sim:adapter=", "sim:adapter=hid:"}) {
    const auto parsed = ParseDeviceString(text);
    ASSERT_FALSE(parsed.has_value()) << text;
    EXPECT_FALSE(parsed.error().empty());
  }
  // --sim-state goes in before the adapter's name, not into it.
  EXPECT_EQ(SelectDevice("sim:packs=2:adapter=hid:sim:hid1", false, "packs"),
            ParseDeviceString("sim:packs=2:state=packs:adapter=hid:sim:hid1"));
}

// One host with three simulated packs on the virtual clock, and a workbench per adapter asked.
class AdapterHostTest : public ::testing::Test {
 protected:
  void MakeHost(const std::string& device) {
    auto host = AdapterHost::Create(*ParseDeviceString(device), common::ProductConstants{});
    ASSERT_TRUE(host.has_value()) << host.error().message;
    host_ = std::move(*host);
  }
  std::unique_ptr<Workbench> Open(std::string serial) {
    auto bench =
        Workbench::Create(host_, AdapterChoice{std::nullopt, std::move(serial)}, {}, messages_);
    EXPECT_TRUE(bench.has_value()) << bench.error();
    if (!bench) return nullptr;
    EXPECT_TRUE((*bench)->Start()) << (messages_.Texts().empty() ? "" : messages_.Texts().back());
    return std::move(*bench);
  }

  test::RecordingMessageSink messages_;
  std::shared_ptr<AdapterHost> host_;
};

TEST_F(AdapterHostTest, ListsEveryPackBySerialAndEachChoiceDrivesOnlyItsPack) {
  MakeHost("sim:packs=3:transport=both:clock=virtual");
  const AdapterList list =
      host_->ListAdapters(host_->SurveySettingsFor(std::nullopt, std::nullopt));
  std::vector<std::string> listed;
  for (const auto& adapter : list.adapters) {
    listed.push_back(adapter.node + " " + adapter.serial + " " + list.Select(adapter) +
                     (adapter.Problem().empty() ? "" : " closed"));
  }
  EXPECT_EQ(listed, (std::vector<std::string>{"sim:hid0 888800000001 adapter=hid:888800000001",
                                              "sim:hid1 888800000002 adapter=hid:888800000002",
                                              "sim:hid2 888800000003 adapter=hid:888800000003",
                                              "sim:bulk0 888800000001 adapter=bulk:888800000001",
                                              "sim:bulk1 888800000002 adapter=bulk:888800000002",
                                              "sim:bulk2 888800000003 adapter=bulk:888800000003"}));
  EXPECT_TRUE(list.simulated);

  auto second = Open("888800000002");
  ASSERT_TRUE(second);
  EXPECT_TRUE(second->link().WriteWord(0x01, 0x0123));
  auto& packs = *host_->sim_packs();
  EXPECT_EQ(second->sim_pack(), &packs.pack(1));
  for (std::size_t index = 0; index < packs.size(); ++index) {
    EXPECT_EQ(packs.pack(index).gauge().State().settings.remaining_capacity_alarm,
              index == 1 ? 0x0123 : 300)
        << "pack " << index + 1;
  }
}

TEST_F(AdapterHostTest, FaultsOfOnePackLeaveTheOthersClean) {
  MakeHost("sim:packs=3:faults=nack-every=1@2:clock=virtual");
  auto faulty = Open("888800000002");
  auto clean = Open("888800000003");
  ASSERT_TRUE(faulty && clean);
  std::uint16_t value = 0;
  EXPECT_FALSE(faulty->link().ReadWord(0x09, value));
  EXPECT_EQ(faulty->link().link_status(), link::LinkStatus::kNotResponding);
  EXPECT_TRUE(clean->link().ReadWord(0x09, value));
  EXPECT_EQ(clean->link().link_status(), link::LinkStatus::kConnected);
}

TEST_F(AdapterHostTest, AdapterNotInTheSetIsSaidAtStartAsForNoAdapter) {
  MakeHost("sim:packs=2:clock=virtual");
  auto bench = Workbench::Create(host_, AdapterChoice{std::nullopt, "888800000009"}, {}, messages_);
  ASSERT_TRUE(bench.has_value()) << bench.error();
  EXPECT_FALSE((*bench)->Start());
  EXPECT_EQ((*bench)->sim_pack(), nullptr);
  EXPECT_EQ((*bench)->link().link_status(), link::LinkStatus::kNoAdapter);
  EXPECT_EQ(messages_.Texts(),
            std::vector<std::string>{
                "adapter=888800000009: no adapter has this serial number or node; found: HID "
                "sim:hid0 serial \"888800000001\", HID sim:hid1 serial \"888800000002\""});
}

TEST_F(AdapterHostTest, OnlyThePacksDrivenTakeAStateFile) {
  const auto folder =
      std::filesystem::temp_directory_path() / ("cw-packs-" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  MakeHost("sim:packs=3:clock=virtual:state=" + folder.string());
  {
    auto third = Open("888800000003");
    ASSERT_TRUE(third);
    EXPECT_TRUE(third->link().WriteWord(0x01, 0x0222));
  }
  host_.reset();
  EXPECT_TRUE(std::filesystem::exists(folder / "888800000003.json"));
  EXPECT_FALSE(std::filesystem::exists(folder / "888800000001.json"));
  EXPECT_FALSE(std::filesystem::exists(folder / "888800000002.json"));
  MakeHost("sim:packs=3:clock=virtual:state=" + folder.string());
  EXPECT_EQ(Open("888800000003")->sim_pack()->gauge().State().settings.remaining_capacity_alarm,
            0x0222);
  std::filesystem::remove_all(folder);
}

// A gauge that keeps a read on the bus until it is let go, like a pack stuck mid-transaction.
class HeldGauge final : public link::SmbusTarget {
 public:
  bool Write(std::span<const std::uint8_t>) override { return true; }
  std::optional<std::vector<std::uint8_t>> Read(std::uint8_t command, std::size_t count) override {
    entered.count_down();
    release.wait();
    return test::WordReply(command, 0x4321, count);
  }
  std::latch entered{1};
  std::latch release{1};
};

class TwoAdaptersTest : public AdapterHostTest,
                        public ::testing::WithParamInterface<const char*> {};

// Proof without a clock: adapter A's thread is stopped inside a transaction, holding A's bus lock,
// A's bus and A's adapter. If B shared any of them, B's transaction could not finish and the test
// would never end; it finishes, and A's transaction after it.
TEST_P(TwoAdaptersTest, AnAdapterStuckMidTransactionNeverHoldsUpAnother) {
  MakeHost(std::string("sim:packs=2:transport=") + GetParam());
  auto a = Open("888800000001");
  auto b = Open("888800000002");
  ASSERT_TRUE(a && b);
  HeldGauge held;
  a->sim_pack()->ReplaceTarget(&held);
  auto stuck = std::async(std::launch::async, [&] {
    std::uint16_t value = 0;
    const bool ok = a->link().ReadWord(0x09, value);
    return ok ? value : 0;
  });
  held.entered.wait();
  std::uint16_t value = 0;
  EXPECT_TRUE(b->link().ReadWord(0x09, value));
  EXPECT_NE(value, 0x4321);
  held.release.count_down();
  EXPECT_EQ(stuck.get(), 0x4321);
  a->sim_pack()->ReplaceTarget(nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothTransports, TwoAdaptersTest, ::testing::Values("hid", "bulk"));

}  // namespace
}  // namespace cw::app
