// Finding and choosing the adapter, the HID exchange rules and the adapter version.
#include <gtest/gtest.h>

#include "link/adapter_connection.h"
#include "link/hid_protocol.h"
#include "support/link_fixture.h"

namespace cw::test {
namespace {

using common::Bytes;
using common::Millis;
using link::Transport;

// The HID protocol of the adapter the link opened, whose report exchanges these tests drive.
link::HidProtocol& HidOf(link::GaugeLink& gauge_link) {
  return dynamic_cast<link::HidProtocol&>(gauge_link.connection().protocol());
}

TEST(TransportChoiceTest, FirstCallWithTheHidFlagTriesBulkFirst) {
  LinkFixture fx(Adapters::kBoth);
  ASSERT_TRUE(fx.link->EnsureConnected());
  EXPECT_EQ(fx.link->connection().transport(), Transport::kBulk);
}

TEST(TransportChoiceTest, StartUpOpenOfHidKeepsHid) {
  LinkFixture fx(Adapters::kBoth);
  ASSERT_TRUE(fx.link->OpenHidAdapter());
  ASSERT_TRUE(fx.link->EnsureConnected());
  EXPECT_EQ(fx.link->connection().transport(), Transport::kHid);
}

TEST(TransportChoiceTest, AfterADropTheOtherTransportIsTriedFirst) {
  LinkFixture fx(Adapters::kBoth);
  ASSERT_TRUE(fx.link->EnsureConnected());
  ASSERT_EQ(fx.link->connection().transport(), Transport::kBulk);
  fx.link->connection().ClearConnected();
  ASSERT_TRUE(fx.link->EnsureConnected());
  EXPECT_EQ(fx.link->connection().transport(), Transport::kHid);
  fx.link->connection().ClearConnected();
  ASSERT_TRUE(fx.link->EnsureConnected());
  EXPECT_EQ(fx.link->connection().transport(), Transport::kBulk);
}

TEST(TransportChoiceTest, ExchangesSpeakTheProtocolOfTheAdapterOpenedForThem) {
  using Kind = link::BusEvent::Kind;
  LinkFixture fx(Adapters::kBoth);
  std::uint16_t value = 0;
  ASSERT_TRUE(fx.link->ReadWord(0x09, value));
  const auto on_bulk = fx.TakeEvents();
  ASSERT_FALSE(on_bulk.empty());
  EXPECT_EQ(on_bulk.back().kind, Kind::kUsbIn);
  fx.link->connection().ClearConnected();
  ASSERT_TRUE(fx.link->ReadWord(0x09, value));
  const auto on_hid = fx.TakeEvents();
  ASSERT_FALSE(on_hid.empty());
  EXPECT_EQ(on_hid.back().kind, Kind::kHidGet);
  EXPECT_EQ(on_hid.back().bytes[0], 3);
}

TEST(TransportChoiceTest, HidWithTheWrongUsagePageIsIgnored) {
  sim::SimOptions options = OptionsFor(Adapters::kHid);
  options.hid_adapters[0].usage_page = 0xFF01;
  LinkFixture fx(std::move(options));
  EXPECT_FALSE(fx.link->OpenHidAdapter());
  EXPECT_FALSE(fx.link->EnsureConnected());
  EXPECT_EQ(fx.link->link_status(), link::LinkStatus::kNoAdapter);
}

TEST(TransportChoiceTest, BulkWithTheWrongSerialIsSkippedForTheRightOne) {
  sim::SimOptions options = OptionsFor(Adapters::kBulk);
  auto wrong = options.bulk_adapters[0];
  wrong.serial = "888800000002";
  options.bulk_adapters.insert(options.bulk_adapters.begin(), wrong);
  LinkFixture fx(std::move(options));
  ASSERT_TRUE(fx.link->EnsureConnected());
  std::uint16_t value = 0;
  EXPECT_TRUE(fx.link->ReadWord(0x09, value));
}

TEST(TransportChoiceTest, BulkWithOnlyAWrongSerialIsNotOpened) {
  sim::SimOptions options = OptionsFor(Adapters::kBulk);
  options.bulk_adapters[0].serial = "888900000001";
  LinkFixture fx(std::move(options));
  EXPECT_FALSE(fx.link->EnsureConnected());
}

TEST(TransportChoiceTest, SerialPrefixSelectsAnotherBulkAdapter) {
  sim::SimOptions options = OptionsFor(Adapters::kBulk);
  options.bulk_adapters[0].serial = "123400000001";
  LinkFixture fx(std::move(options));
  EXPECT_FALSE(fx.link->EnsureConnected());
  fx.link->connection().SetSerialPrefix("1234");
  EXPECT_TRUE(fx.link->EnsureConnected());
}

TEST(TransportChoiceTest, HidWithAnotherProductIdIsIgnored) {
  sim::SimOptions options = OptionsFor(Adapters::kHid);
  options.hid_adapters[0].product_id = 0x8889;
  LinkFixture fx(std::move(options));
  EXPECT_FALSE(fx.link->EnsureConnected());
  fx.link->connection().SetHidProductId(0x8889);
  EXPECT_TRUE(fx.link->EnsureConnected());
}

TEST(AdapterIdTest, HidTextIsAHexProductId) {
  sim::SimOptions options = OptionsFor(Adapters::kHid);
  options.hid_adapters[0].product_id = 0x8889;
  LinkFixture fx(std::move(options));
  EXPECT_TRUE(fx.link->SetAdapterId("0x8889"));
  EXPECT_EQ(fx.link->connection().hid_product_id(), 0x8889);
  EXPECT_FALSE(fx.link->SetAdapterId("88G9")) << "not a number: the id stays";
  EXPECT_EQ(fx.link->connection().hid_product_id(), 0x8889);
  EXPECT_EQ(fx.TakeWaits().front(), Millis{50});
}

TEST(AdapterIdTest, BulkTextLosesItsFirstTwoCharactersToBecomeThePrefix) {
  sim::SimOptions options = OptionsFor(Adapters::kBulk);
  options.bulk_adapters[0].serial = "123400000001";
  LinkFixture fx(std::move(options));
  fx.link->connection().SetSerialPrefix("1234");
  ASSERT_TRUE(fx.link->EnsureConnected());
  ASSERT_EQ(fx.link->connection().transport(), Transport::kBulk);
  EXPECT_FALSE(fx.link->SetAdapterId("0x8888"));
  EXPECT_EQ(fx.link->connection().serial_prefix(), "8888");
  EXPECT_TRUE(fx.link->SetAdapterId("xx1234"));
  EXPECT_EQ(fx.link->connection().serial_prefix(), "1234");
}

TEST(HidExchangeTest, MissingCollectionFailsAndForcesAReopen) {
  LinkFixture fx;
  ASSERT_TRUE(fx.link->EnsureConnected());
  const std::array<std::uint8_t, 8> unknown_report = {7, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_FALSE(HidOf(*fx.link).HidSend(unknown_report));
  EXPECT_FALSE(fx.link->connection().connected());
  EXPECT_TRUE(fx.TakeWaits().empty()) << "no tries without a handle";
}

TEST(HidExchangeTest, FailedSetIsTriedTenTimesWithItsWait) {
  struct Case {
    const char* name;
    std::function<bool(link::HidProtocol&)> exchange;
    Millis wait;
  };
  const std::array<std::uint8_t, 8> header = {1, 0x17, 0x09, 0, 0, 0, 3, 2};
  link::HidReport response{};
  const std::vector<Case> cases = {
      {"HidSend", [&](auto& t) { return t.HidSend(header); }, Millis{10}},
      {"HidTransact", [&](auto& t) { return t.HidTransact(header, 4, response); }, Millis{10}},
      {"HidTransactFast", [&](auto& t) { return t.HidTransactFast(header, 4, response); },
       Millis{5}},
      {"HidTransactNoWait", [&](auto& t) { return t.HidTransactNoWait(header, 4, response); },
       Millis{0}},
      {"HidSendQuick", [&](auto& t) { return t.HidSendQuick(header); }, Millis{0}},
      {"HidFetchStatus", [&](auto& t) { return t.HidFetchStatus().has_value(); }, Millis{10}},
      {"HidSendChecked", [&](auto& t) { return t.HidSendChecked(header).has_value(); },
       Millis{10}},
  };
  for (const auto& c : cases) {
    LinkFixture fx;
    ASSERT_TRUE(fx.link->EnsureConnected());
    fx.pack->Unplug();
    fx.TakeEvents();
    EXPECT_FALSE(c.exchange(HidOf(*fx.link))) << c.name;
    EXPECT_EQ(fx.TakeEvents().size(), 10u) << c.name;
    const auto waits = fx.TakeWaits();
    if (c.wait.count() == 0) {
      EXPECT_TRUE(waits.empty()) << c.name;
    } else {
      EXPECT_EQ(waits, std::vector<Millis>(10, c.wait)) << c.name;
    }
    EXPECT_FALSE(fx.link->connection().connected()) << c.name;
  }
}

TEST(HidExchangeTest, FailedGetIsTriedTenTimesWithItsWait) {
  struct Case {
    const char* name;
    std::function<bool(link::HidProtocol&)> exchange;
    Millis settle;  // the wait between the set and the first get
    Millis wait;    // after every failed get
  };
  const std::array<std::uint8_t, 8> header = {1, 0x17, 0x09, 0, 0, 0, 3, 2};
  const std::array<std::uint8_t, 8> write = {1, 0x16, 0x00, 0x41, 0x00, 0x5D, 0, 5};
  link::HidReport response{};
  const std::vector<Case> cases = {
      {"HidTransact", [&](auto& t) { return t.HidTransact(header, 4, response); }, Millis{8},
       Millis{10}},
      {"HidTransactFast", [&](auto& t) { return t.HidTransactFast(header, 4, response); },
       Millis{5}, Millis{10}},
      {"HidTransactNoWait", [&](auto& t) { return t.HidTransactNoWait(header, 4, response); },
       Millis{0}, Millis{2}},
      {"HidFetchStatus", [&](auto& t) { return t.HidFetchStatus().has_value(); }, Millis{1},
       Millis{10}},
      {"HidSendChecked", [&](auto& t) { return t.HidSendChecked(write).has_value(); }, Millis{8},
       Millis{10}},
  };
  for (const auto& c : cases) {
    common::ManualClock clock;
    sim::SimPack pack(clock, OptionsFor(Adapters::kHid));
    FlakyHidBackend hid(pack.hid_backend());
    common::NullMessageSink messages;
    link::BusLock lock("test");
    link::GaugeLink gauge_link(hid, pack.usb_backend(), clock, messages, lock);
    gauge_link.connection().SetVendorId(common::ProductConstants{}.adapter_vendor_id);
    ASSERT_TRUE(gauge_link.EnsureConnected());
    hid.fail_gets = true;
    EXPECT_FALSE(c.exchange(HidOf(gauge_link))) << c.name;
    auto waits = clock.Waits();
    if (c.name == std::string("HidSendChecked")) {
      ASSERT_FALSE(waits.empty());
      EXPECT_EQ(waits.front(), Millis{8}) << "settle after the write";
      waits.erase(waits.begin());
      EXPECT_EQ(waits.front(), Millis{1}) << "then the status fetch";
      waits.erase(waits.begin());
    } else if (c.settle.count() > 0) {
      ASSERT_FALSE(waits.empty());
      EXPECT_EQ(waits.front(), c.settle) << c.name;
      waits.erase(waits.begin());
    }
    EXPECT_EQ(waits, std::vector<Millis>(10, c.wait)) << c.name;
    EXPECT_FALSE(gauge_link.connection().connected()) << c.name;
  }
}

TEST(HidExchangeTest, SettleTimesFollowTheHeaderAndResponseSize) {
  struct Case {
    std::uint8_t write_count;
    std::uint8_t read_count;
    std::size_t count;
    Millis transact;
    Millis fast;
  };
  const Case cases[] = {
      {2, 3, 4, Millis{8}, Millis{5}},     {3, 4, 5, Millis{8}, Millis{5}},
      {2, 255, 32, Millis{25}, Millis{10}}, {2, 22, 23, Millis{20}, Millis{10}},
      {4, 24, 25, Millis{20}, Millis{10}}, {5, 24, 25, Millis{30}, Millis{10}},
      {2, 34, 35, Millis{30}, Millis{10}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(link::TransactSettleTime(c.write_count, c.read_count, c.count), c.transact)
        << int{c.write_count} << "/" << int{c.read_count} << "/" << c.count;
    EXPECT_EQ(link::TransactFastSettleTime(c.write_count, c.count), c.fast);
  }
  EXPECT_EQ(link::SendCheckedSettleTime(5), Millis{8});
  EXPECT_EQ(link::SendCheckedSettleTime(9), Millis{20});
  EXPECT_EQ(link::SendCheckedSettleTime(25), Millis{20});
  EXPECT_EQ(link::SendCheckedSettleTime(26), Millis{30});
}

TEST(HidExchangeTest, StatusFetchAsksReport10AndReadsByte1) {
  LinkFixture fx;
  ASSERT_TRUE(fx.link->EnsureConnected());
  fx.TakeEvents();
  const auto status = HidOf(*fx.link).HidFetchStatus();
  ASSERT_TRUE(status.has_value());
  const auto events = fx.TakeEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].bytes, (Bytes{10, 0xFF, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(events[1].bytes.size(), 8u);
  EXPECT_EQ(events[1].bytes[0], 3);
  EXPECT_EQ(*status, events[1].bytes[1]);
  EXPECT_EQ(fx.TakeWaits(), (std::vector<Millis>{Millis{1}}));
}

// Counts the collections that are open right now.
class CountingHidBackend final : public link::HidBackend {
 public:
  explicit CountingHidBackend(link::HidBackend& inner) : inner_(inner) {}
  std::vector<link::HidCollectionInfo> Enumerate() override { return inner_.Enumerate(); }
  std::unique_ptr<link::HidCollection> Open(const link::HidCollectionInfo& info) override {
    auto collection = inner_.Open(info);
    if (!collection) return nullptr;
    return std::make_unique<Counted>(std::move(collection), open_);
  }
  int open() const { return open_; }

 private:
  struct Counted final : link::HidCollection {
    Counted(std::unique_ptr<link::HidCollection> inner, int& open)
        : inner(std::move(inner)), open(open) {
      ++open;
    }
    ~Counted() override { --open; }
    bool SetFeature(std::span<const std::uint8_t> report) override {
      return inner->SetFeature(report);
    }
    bool GetFeature(std::span<std::uint8_t> report) override { return inner->GetFeature(report); }
    std::unique_ptr<link::HidCollection> inner;
    int& open;
  };
  link::HidBackend& inner_;
  int open_ = 0;
};

TEST(HidExchangeTest, ReopenClosesTheCollectionsOfThePreviousOpen) {
  common::ManualClock clock;
  sim::SimPack pack(clock, OptionsFor(Adapters::kHid));
  CountingHidBackend hid(pack.hid_backend());
  common::NullMessageSink messages;
  link::BusLock lock("test");
  link::GaugeLink gauge_link(hid, pack.usb_backend(), clock, messages, lock);
  gauge_link.connection().SetVendorId(common::ProductConstants{}.adapter_vendor_id);
  ASSERT_TRUE(gauge_link.OpenHidAdapter());
  EXPECT_EQ(hid.open(), 13) << "one handle per collection of the usage table";
  ASSERT_TRUE(gauge_link.OpenHidAdapter());
  EXPECT_EQ(hid.open(), 13);
}

TEST(AdapterVersionTest, HidVersionIsPackedAndPrintedWithAPoint) {
  LinkFixture fx;
  const auto version = fx.link->ReadAdapterVersion();
  ASSERT_TRUE(version.has_value());
  const auto events = fx.TakeEvents();
  EXPECT_EQ(events[events.size() - 2].bytes, (Bytes{10, 0xFF, 2, 0, 0, 0, 7, 0}));
  const auto& reply = events.back().bytes;
  auto bcd = [](std::uint8_t v) { return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10)); };
  EXPECT_EQ(version->bytes[0], bcd(reply[5]));
  EXPECT_EQ(version->bytes[2], bcd(reply[7]));
  const std::uint8_t hardware = static_cast<std::uint8_t>((reply[3] << 4) | (reply[4] & 0x0F));
  EXPECT_EQ(version->bytes[3], hardware);
  EXPECT_EQ(version->text.size(), 5u);
  EXPECT_EQ(version->text[1], '.');
  EXPECT_EQ(version->text.substr(3), "00");
}

TEST(AdapterVersionTest, BulkVersionIsTheFloatWithThreeDecimals) {
  LinkFixture fx(Adapters::kBulk);
  const auto version = fx.link->ReadAdapterVersion();
  ASSERT_TRUE(version.has_value());
  const auto events = fx.TakeEvents();
  EXPECT_EQ(events[events.size() - 2].bytes[0], 0x8A);
  const auto& reply = events.back().bytes;
  EXPECT_EQ(version->bytes[0], reply[14]);
  EXPECT_EQ(version->bytes[2], reply[12]);
  const auto point = version->text.find('.');
  ASSERT_NE(point, std::string::npos);
  EXPECT_EQ(version->text.size() - point - 1, 3u);
}

}  // namespace
}  // namespace cw::test
