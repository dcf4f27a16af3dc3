// Several adapters on one machine: which one the connection opens, with and without a name.
#include <gtest/gtest.h>

#include <set>

#include "link/adapter_connection.h"
#include "link/adapter_survey.h"
#include "support/link_fixture.h"

namespace cw::test {
namespace {

using link::AdapterChoice;
using link::Transport;

// Two HID and two bulk adapters on one pack's bus: serials 888800000001 and 888800000002, nodes
// sim:hid0, sim:hid1, sim:bulk0, sim:bulk1.
sim::SimOptions TwoOfEach() {
  sim::SimOptions options = OptionsFor(Adapters::kBoth);
  auto hid = options.hid_adapters[0];
  hid.serial = "888800000002";
  options.hid_adapters.push_back(hid);
  auto bulk = options.bulk_adapters[0];
  bulk.serial = "888800000002";
  options.bulk_adapters.push_back(bulk);
  return options;
}

// Remembers the path of every collection the connection opens.
class OpenRecordingHid final : public link::HidBackend {
 public:
  explicit OpenRecordingHid(link::HidBackend& inner) : inner_(inner) {}
  std::vector<link::HidCollectionInfo> Enumerate() override { return inner_.Enumerate(); }
  std::unique_ptr<link::HidCollection> Open(const link::HidCollectionInfo& info) override {
    opened.insert(info.path);
    return inner_.Open(info);
  }
  std::set<std::string> opened;

 private:
  link::HidBackend& inner_;
};

struct ChoiceFixture {
  explicit ChoiceFixture(sim::SimOptions options = TwoOfEach())
      : pack(clock, std::move(options)),
        hid(pack.hid_backend()),
        link(hid, pack.usb_backend(), clock, messages, lock) {
    link.connection().SetVendorId(common::ProductConstants{}.adapter_vendor_id);
  }
  bool Open(AdapterChoice choice) {
    link.connection().SetChoice(std::move(choice));
    return link.EnsureConnected();
  }
  std::set<std::string> OpenedNodes() const {
    std::set<std::string> nodes;
    for (const auto& path : hid.opened) nodes.insert(path.substr(0, path.rfind(':')));
    return nodes;
  }

  common::ManualClock clock;
  RecordingMessageSink messages;
  sim::SimPack pack;
  OpenRecordingHid hid;
  link::BusLock lock{"MutexToProtectRWAccess-test"};
  link::GaugeLink link;
};

TEST(AdapterChoiceTest, NamedAdapterIsTheOnlyOneOpened) {
  struct Case {
    AdapterChoice choice;
    Transport transport;
    std::string node;  // of the adapter in use
  };
  const Case cases[] = {
      {{Transport::kHid, "888800000002"}, Transport::kHid, "sim:hid1:1"},
      {{Transport::kHid, "sim:hid1"}, Transport::kHid, "sim:hid1:1"},
      {{Transport::kHid, "sim:hid1:3"}, Transport::kHid, "sim:hid1:1"},  // one collection's path
      {{Transport::kHid, "888800000001"}, Transport::kHid, "sim:hid0:1"},
      // Named by serial, a bulk adapter need not fit the serial rule.
      {{Transport::kBulk, "888800000002"}, Transport::kBulk, "sim:bulk1"},
      {{Transport::kBulk, "sim:bulk0"}, Transport::kBulk, "sim:bulk0"},
      // Either transport, by the transport rules: bulk first on a first open.
      {{std::nullopt, "888800000002"}, Transport::kBulk, "sim:bulk1"},
      {{std::nullopt, "sim:hid1"}, Transport::kHid, "sim:hid1:1"},
      // A kind alone: the one adapter of that kind (of two bulk ones, one fits the serial rule).
      {{Transport::kBulk, ""}, Transport::kBulk, "sim:bulk0"},
  };
  for (const auto& c : cases) {
    ChoiceFixture fx;
    const std::string name = link::DescribeChoice(c.choice);
    ASSERT_TRUE(fx.Open(c.choice)) << name;
    EXPECT_EQ(fx.link.connection().transport(), c.transport) << name;
    EXPECT_EQ(fx.link.connection().adapter_node(), c.node) << name;
    // Nothing else is opened: a bulk adapter is chosen without touching the HID ones.
    const std::set<std::string> opened =
        c.transport == Transport::kHid ? std::set<std::string>{c.node.substr(0, c.node.rfind(':'))}
                                       : std::set<std::string>{};
    EXPECT_EQ(fx.OpenedNodes(), opened) << name;
    std::uint16_t value = 0;
    EXPECT_TRUE(fx.link.ReadWord(0x09, value)) << name;
  }
}

TEST(AdapterChoiceTest, WithoutANameOneHidAdapterIsUsedNotAMixOfTwo) {
  sim::SimOptions options = OptionsFor(Adapters::kHid);
  options.hid_adapters.push_back(options.hid_adapters[0]);
  ChoiceFixture fx(std::move(options));
  ASSERT_TRUE(fx.link.OpenHidAdapter());
  // Every report of an exchange goes to the adapter whose collections were opened together.
  EXPECT_EQ(fx.OpenedNodes(), std::set<std::string>{"sim:hid0"});
  std::uint16_t value = 0;
  EXPECT_TRUE(fx.link.ReadWord(0x09, value));
}

TEST(AdapterChoiceTest, NameThatFitsNothingOrSeveralIsRefusedSayingWhatIsThere) {
  struct Case {
    AdapterChoice choice;
    std::string notice;
  };
  const Case cases[] = {
      {{Transport::kHid, "999900000001"},
       "hid:999900000001: no adapter has this serial number or node; found: HID sim:hid0 serial "
       "\"888800000001\", HID sim:hid1 serial \"888800000002\""},
      {{Transport::kBulk, "sim:hid0"},
       "bulk:sim:hid0: no adapter has this serial number or node; found: bulk sim:bulk0 serial "
       "\"888800000001\", bulk sim:bulk1 serial \"888800000002\""},
      {{std::nullopt, "nobody"},
       "adapter=nobody: no adapter has this serial number or node; found: bulk sim:bulk0 serial "
       "\"888800000001\", bulk sim:bulk1 serial \"888800000002\", HID sim:hid0 serial "
       "\"888800000001\", HID sim:hid1 serial \"888800000002\""},
  };
  for (const auto& c : cases) {
    ChoiceFixture fx;
    EXPECT_FALSE(fx.Open(c.choice));
    EXPECT_TRUE(fx.link.connection().choice_unmatched());
    EXPECT_EQ(fx.link.link_status(), link::LinkStatus::kNoAdapter);
    EXPECT_EQ(fx.messages.Texts(), std::vector<std::string>{c.notice});
    EXPECT_TRUE(fx.hid.opened.empty()) << "nothing is opened that was not named";
  }

  // Only the kind named is looked at, and the notice says which kind was missing.
  ChoiceFixture hid_only(OptionsFor(Adapters::kHid));
  EXPECT_FALSE(hid_only.Open({Transport::kBulk, "888800000001"}));
  EXPECT_EQ(hid_only.messages.Texts(),
            std::vector<std::string>{"bulk:888800000001: no adapter has this serial number or "
                                     "node; found: no bulk adapter"});

  // Real bulk adapters all report the serial of the serial rule: two of them under one name.
  sim::SimOptions options = OptionsFor(Adapters::kBulk);
  options.bulk_adapters.push_back(options.bulk_adapters[0]);
  ChoiceFixture twins(std::move(options));
  EXPECT_FALSE(twins.Open({Transport::kBulk, "888800000001"}));
  EXPECT_TRUE(twins.link.connection().choice_unmatched());
  EXPECT_EQ(twins.messages.Texts(),
            std::vector<std::string>{"bulk:888800000001: 2 adapters have this serial number "
                                     "(sim:bulk0, sim:bulk1): name one by its node"});
  EXPECT_TRUE(twins.Open({Transport::kBulk, "sim:bulk1"}));
}

TEST(AdapterChoiceTest, AKindAloneOpensItsOneAdapterOrSaysWhatIsThere) {
  sim::SimOptions one_hid = OptionsFor(Adapters::kBoth);
  ChoiceFixture single(std::move(one_hid));
  ASSERT_TRUE(single.Open({Transport::kHid, ""}));
  EXPECT_EQ(single.link.connection().transport(), Transport::kHid);

  ChoiceFixture two_hid;
  EXPECT_FALSE(two_hid.Open({Transport::kHid, ""}));
  EXPECT_EQ(two_hid.link.link_status(), link::LinkStatus::kNoAdapter);
  EXPECT_EQ(two_hid.messages.Texts(),
            std::vector<std::string>{"hid: 2 adapters of this kind are plugged in (sim:hid0, "
                                     "sim:hid1): name one by its serial number or node"});
  EXPECT_TRUE(two_hid.hid.opened.empty());

  ChoiceFixture hid_only(OptionsFor(Adapters::kHid));
  EXPECT_FALSE(hid_only.Open({Transport::kBulk, ""}));
  EXPECT_EQ(hid_only.messages.Texts(),
            std::vector<std::string>{
                "bulk: no adapter of this kind is plugged in; found: no bulk adapter"});
}

TEST(AdapterChoiceTest, SurveyListsEachHidAdapterOnceByItsNode) {
  ChoiceFixture fx;
  link::SurveySettings settings{.vendor_id = common::ProductConstants{}.adapter_vendor_id,
                                .hid_product_id = common::kHidProductId,
                                .bulk_product_id = common::kBulkProductId,
                                .serial_prefix = std::string(common::kDefaultSerialPrefix)};
  const auto survey = link::SurveyAdapters(fx.pack.hid_backend(), fx.pack.usb_backend(), settings);
  std::vector<std::string> listed;
  for (const auto& candidate : survey.candidates) {
    listed.push_back(candidate.node + " " + candidate.serial + (candidate.usable ? " usable" : ""));
  }
  EXPECT_EQ(listed, (std::vector<std::string>{
                        "sim:hid0 888800000001 usable", "sim:hid1 888800000002 usable",
                        "sim:bulk0 888800000001 usable", "sim:bulk1 888800000002"}));
}

}  // namespace
}  // namespace cw::test
