#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "link/adapter_fault.h"
#include "link/hid_backend.h"
#include "link/usb_backend.h"

namespace cw::link {

// Who may open a device node, as the file system tells it.
struct NodeAccess {
  bool exists = false;
  std::string mode;         // "crw-rw----"
  std::string owner;        // user name, or the uid when it has none
  std::string group;        // group name, or the gid
  bool read_write = false;  // this process may open it for reading and writing
};

enum class AdapterKind { kHid, kBulk };

// One device with the adapter's vendor id: its ids, its node and what opening it did.
struct AdapterCandidate {
  AdapterKind kind = AdapterKind::kHid;
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::string node;
  std::string serial;
  std::vector<HidCollectionInfo> collections;  // HID: every collection on the node
  bool adapter_collections = false;  // HID: one of them is the adapter's (page FF00, its usages)
  NodeAccess access;
  bool product_matches = false;  // the product id the link opens
  bool serial_matches = true;    // bulk: the configured prefix followed by 00000001
  bool opened = false;
  AdapterFault open_fault;
  bool kernel_driver = false;   // bulk: a kernel driver holds interface 0
  std::optional<bool> claimed;  // bulk: whether interface 0 could be claimed (then released)
  AdapterFault claim_fault;
  // The link would use this device: right ids, open, and for bulk the serial and the claim.
  bool usable = false;
};

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
};

struct AdapterSurvey {
  std::vector<AdapterCandidate> candidates;
  AdapterFault usb_fault;  // libusb could not list devices
  UdevRuleCheck rule;
  GroupCheck group;
  std::vector<NextStep> steps;
  bool usable() const;
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
