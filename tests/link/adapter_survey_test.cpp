// What the survey behind `doctor` advises, and the udev rule the product ships.
#include "link/adapter_survey.h"

#include <gtest/gtest.h>

#include <fstream>

namespace cw::link {
namespace {

using Kind = NextStep::Kind;

AdapterSeen Hid(std::uint16_t product, FaultKind open_fault = FaultKind::kNone) {
  AdapterSeen candidate;
  candidate.transport = Transport::kHid;
  candidate.vendor_id = 0x16C0;
  candidate.product_id = product;
  candidate.node = "/dev/hidraw3";
  candidate.product_matches = product == 0x8888;
  candidate.opened = open_fault == FaultKind::kNone;
  candidate.open_fault.kind = open_fault;
  candidate.usable = candidate.opened && candidate.product_matches;
  return candidate;
}

UdevRuleCheck Rule(std::vector<std::uint16_t> products) {
  UdevRuleCheck rule;
  rule.path = "/etc/udev/rules.d/70-cellwarden.rules";
  rule.names_vendor = true;
  rule.products = std::move(products);
  return rule;
}

TEST(AdapterSurveyTest, AccessDeniedAdviceFollowsWhatIsMissing) {
  struct Case {
    const char* what;
    UdevRuleCheck rule;
    GroupCheck group;
    Kind step;
  };
  const Case cases[] = {
      {"no rule", {}, {"plugdev", true, false}, Kind::kInstallRule},
      {"rule without the id", Rule({0x8000}), {"plugdev", true, true}, Kind::kAddProductToRule},
      {"not in the group", Rule({0x8888}), {"plugdev", true, false}, Kind::kJoinGroup},
      {"all in place", Rule({0x8888}), {"plugdev", true, true}, Kind::kReloadRules},
      {"no such group", Rule({0x8888}), {"plugdev", false, false}, Kind::kReloadRules},
  };
  for (const auto& c : cases) {
    AdapterSurvey survey;
    survey.candidates = {Hid(0x8888, FaultKind::kAccessDenied)};
    survey.rule = c.rule;
    survey.group = c.group;
    const auto steps = NextSteps(survey);
    ASSERT_EQ(steps.size(), 1u) << c.what;
    EXPECT_EQ(steps[0].kind, c.step) << c.what;
  }
}

TEST(AdapterSurveyTest, OtherSituationsHaveTheirOwnAdvice) {
  AdapterSurvey none;
  none.usb_fault = {FaultKind::kOther, "", "libusb_init: LIBUSB_ERROR_OTHER"};
  EXPECT_EQ(NextSteps(none), (std::vector<NextStep>{
                                 {Kind::kUsbUnavailable, 0, {}, "libusb_init: LIBUSB_ERROR_OTHER"},
                                 {Kind::kPlugIn}}));

  // Only another maker's device on the shared vendor id; and the adapter's ids on a node that
  // is not the adapter.
  AdapterSurvey other;
  other.candidates = {Hid(0x05DC)};
  other.candidates[0].transport = Transport::kBulk;
  EXPECT_EQ(NextSteps(other), std::vector<NextStep>{{Kind::kPlugIn}});
  AdapterSurvey impostor;
  impostor.candidates = {Hid(0x8888)};
  impostor.candidates[0].usable = false;
  EXPECT_EQ(NextSteps(impostor),
            (std::vector<NextStep>{{Kind::kNoAdapterCollections, 0x8888, "/dev/hidraw3"}}));

  AdapterSurvey ready;
  ready.candidates = {Hid(0x8889), Hid(0x8888)};
  EXPECT_EQ(NextSteps(ready), std::vector<NextStep>{{Kind::kReady}});

  AdapterSurvey wrong_serial;
  AdapterSeen bulk;
  bulk.transport = Transport::kBulk;
  bulk.product_id = 0x8000;
  bulk.product_matches = true;
  bulk.node = "/dev/bus/usb/001/005";
  bulk.opened = true;
  bulk.serial = "123400000001";
  bulk.serial_matches = false;
  wrong_serial.candidates = {bulk};
  EXPECT_EQ(NextSteps(wrong_serial),
            (std::vector<NextStep>{
                {Kind::kCheckSerial, 0x8000, "/dev/bus/usb/001/005", "123400000001"}}));

  AdapterSurvey held;
  bulk.serial_matches = true;
  bulk.claimed = false;
  bulk.claim_fault = {FaultKind::kBusy, "Resource busy", {}};
  held.candidates = {bulk};
  EXPECT_EQ(NextSteps(held),
            (std::vector<NextStep>{{Kind::kCloseOtherProgram, 0, "/dev/bus/usb/001/005"}}));
}

// The shipped rule must serve a login that is not on a seat as well as the one at the desk, for
// both products of the built-in vendor id.
TEST(AdapterSurveyTest, ShippedRuleGrantsBothProductsToSeatAndGroup) {
  SurveySettings settings;
  settings.vendor_id = 0x16C0;
  settings.rule_directories = {std::filesystem::path(CW_UDEV_RULE).parent_path()};
  const UdevRuleCheck rule = CheckUdevRule(settings);
  ASSERT_FALSE(rule.path.empty());
  EXPECT_TRUE(rule.Grants(0x8888));
  EXPECT_TRUE(rule.Grants(0x8000));
  std::ifstream file(CW_UDEV_RULE);
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line.starts_with("#")) continue;
    EXPECT_NE(line.find("TAG+=\"uaccess\""), std::string::npos) << line;
    EXPECT_NE(line.find("MODE=\"0660\""), std::string::npos) << line;
    EXPECT_NE(line.find("GROUP=\"plugdev\""), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace cw::link
