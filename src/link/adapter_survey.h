#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "link/adapter_seen.h"
#include "link/hid_backend.h"
#include "link/transport.h"
#include "link/usb_backend.h"

namespace cw::link {

struct UdevRuleCheck {
  std::filesystem::path path;  // empty when the rule is not installed
  std::vector<std::filesystem::path> searched;
  // The product ids the rule grants for the adapter's vendor, lower-case hex as udev writes them.
  std::vector<std::uint16_t> products;
  bool names_vendor = false;
  bool Grants(std::uint16_t product_id) const;
};

struct GroupCheck {
  std::string name;
  bool exists = false;
  bool member = false;
};

// What the engineer should do next, most useful first.
struct NextStep {
  enum class Kind {
    kReady,                 // an adapter can be used now
    kPlugIn,                // nothing with the vendor id is there
    kUsbUnavailable,        // libusb could not list the devices; `detail` says why
    kInstallRule,           // access denied and the rule is missing
    kAddProductToRule,      // the rule does not name `product_id`
    kJoinGroup,             // the rule is there but this user is not in the group
    kReloadRules,           // the rule is there and names the ids, yet access is denied
    kUsePid,                // the HID adapter answers as `product_id`, not the one asked for
    kCheckSerial,           // the bulk adapter's serial does not fit the prefix
    kCloseOtherProgram,     // the device or its interface is held elsewhere; `node`
    kCannotOpen,            // another failure on `node`; `detail` says why
    kNoAdapterCollections,  // `node` opens but carries none of the adapter's collections
  };
  Kind kind;
  std::uint16_t product_id = 0;
  std::string node;
  std::string detail;
  bool operator==(const NextStep&) const = default;
};

struct SurveySettings {
  std::uint16_t vendor_id = 0;
  std::uint16_t hid_product_id = 0;
  std::uint16_t bulk_product_id = 0;
  std::string serial_prefix;
  std::vector<std::filesystem::path> rule_directories = {
      "/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
  std::string rule_name = "70-cellwarden.rules";
  std::string group = "plugdev";

  // The product id the link opens on `transport`.
  std::uint16_t ProductId(Transport transport) const;
};

struct AdapterSurvey {
  std::vector<AdapterSeen> candidates;
  AdapterFault usb_fault;  // libusb could not list devices
  UdevRuleCheck rule;
  GroupCheck group;
  std::vector<NextStep> steps;
  bool usable() const;
  // The devices with the adapter's vendor and the product id of their transport: the adapters,
  // whether they can be opened or not.
  std::vector<AdapterSeen> Adapters(const SurveySettings& settings) const;
};

// Looks at every device with the adapter's vendor id (HID nodes and other USB devices), opens
// each node once and, for a bulk adapter, claims and releases interface 0. Devices of other
// vendors are not opened. Nothing is sent to the adapter.
AdapterSurvey SurveyAdapters(HidBackend& hid, UsbBackend& usb, const SurveySettings& settings);

NodeAccess AccessOf(const std::string& node);
UdevRuleCheck CheckUdevRule(const SurveySettings& settings);
GroupCheck CheckGroup(const std::string& name);
std::vector<NextStep> NextSteps(const AdapterSurvey& survey);

}  // namespace cw::link
