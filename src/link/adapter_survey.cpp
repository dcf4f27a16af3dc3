#include "link/adapter_survey.h"

#include <fmt/format.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <regex>

#include "common/product_constants.h"
#include "link/bulk_packets.h"
#include "link/hid_reports.h"
#include "link/messages.h"

namespace cw::link {
namespace {

std::string ModeText(mode_t mode) {
  std::string text = S_ISCHR(mode) ? "c" : S_ISDIR(mode) ? "d" : S_ISREG(mode) ? "-" : "?";
  constexpr std::array<std::pair<mode_t, char>, 9> kBits = {{{S_IRUSR, 'r'},
                                                             {S_IWUSR, 'w'},
                                                             {S_IXUSR, 'x'},
                                                             {S_IRGRP, 'r'},
                                                             {S_IWGRP, 'w'},
                                                             {S_IXGRP, 'x'},
                                                             {S_IROTH, 'r'},
                                                             {S_IWOTH, 'w'},
                                                             {S_IXOTH, 'x'}}};
  for (const auto& [bit, letter] : kBits) text.push_back((mode & bit) != 0 ? letter : '-');
  return text;
}

std::string UserName(uid_t uid) {
  passwd entry{};
  passwd* found = nullptr;
  std::array<char, 4096> buffer{};
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  group entry{};
  group* found = nullptr;
  std::array<char, 4096> buffer{};
  if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->gr_name;
  }
  return std::to_string(gid);
}

void SurveyHid(HidBackend& hid, const SurveySettings& settings, AdapterSurvey& survey) {
  // One candidate per device node: every collection of an adapter belongs to it.
  for (HidDevice& device : hid.EnumerateDevices(settings.vendor_id, 0)) {
    AdapterSeen candidate;
    candidate.transport = Transport::kHid;
    candidate.vendor_id = device.vendor_id;
    candidate.product_id = device.product_id;
    candidate.node = device.node;
    candidate.serial = device.serial;
    candidate.collections = std::move(device.collections);
    candidate.product_matches = candidate.product_id == settings.hid_product_id;
    candidate.access = AccessOf(candidate.node);
    // One open per node, closed again at once: enough to learn whether the link could.
    if (const auto opened = hid.Open(candidate.collections.front())) {
      candidate.opened = true;
    } else {
      candidate.open_fault = hid.LastOpenFault();
      if (!candidate.open_fault) candidate.open_fault.kind = FaultKind::kOther;
    }
    candidate.adapter_collections =
        std::ranges::any_of(candidate.collections, hid::IsAdapterCollection);
    candidate.usable =
        candidate.opened && candidate.product_matches && candidate.adapter_collections;
    survey.candidates.push_back(std::move(candidate));
  }
}

void ClaimAndRelease(UsbDevice& device, UsbBackend& usb, AdapterSeen& candidate) {
  candidate.kernel_driver = device.KernelDriverActive(bulk::kInterface);
  // A kernel driver is detached by the link when it opens the adapter; the survey leaves the
  // system as it found it and does not try.
  if (candidate.kernel_driver) return;
  const int claimed = device.ClaimInterface(bulk::kInterface);
  candidate.claimed = claimed >= 0;
  if (claimed < 0) {
    candidate.claim_fault = {FaultKindOfUsbResult(claimed), usb.ErrorText(claimed),
                             fmt::format("libusb_claim_interface: {}", UsbResultName(claimed))};
    return;
  }
  device.ReleaseInterface(bulk::kInterface);
}

void SurveyUsb(UsbBackend& usb, const SurveySettings& settings, AdapterSurvey& survey) {
  const std::string wanted_serial = settings.serial_prefix + common::kSerialSuffix;
  const bool listed = usb.VisitDevices(settings.vendor_id, [&](const UsbListedDevice& listed) {
    // The HID adapter shows on this list too; it was looked at through its hidraw node.
    if (listed.descriptor.product_id == settings.hid_product_id) return true;
    AdapterSeen candidate;
    candidate.transport = Transport::kBulk;
    candidate.vendor_id = listed.descriptor.vendor_id;
    candidate.product_id = listed.descriptor.product_id;
    candidate.node = listed.node;
    candidate.product_matches = candidate.product_id == settings.bulk_product_id;
    if (!candidate.node.empty()) candidate.access = AccessOf(candidate.node);
    if (auto device = usb.Open(listed.index)) {
      candidate.opened = true;
      candidate.serial = device->ReadSerialNumber();
      candidate.serial_matches = candidate.serial == wanted_serial;
      ClaimAndRelease(*device, usb, candidate);
    } else {
      candidate.open_fault = usb.LastFault();
      if (!candidate.open_fault) candidate.open_fault.kind = FaultKind::kOther;
    }
    candidate.usable = candidate.opened && candidate.product_matches && candidate.serial_matches &&
                       (candidate.kernel_driver || candidate.claimed.value_or(false));
    survey.candidates.push_back(std::move(candidate));
    return true;
  });
  if (!listed) {
    survey.usb_fault = usb.LastFault();
    if (!survey.usb_fault) survey.usb_fault.kind = FaultKind::kOther;
  }
}

// Names each adapter the way the command line picks it: by its serial number where no other of
// its transport shares it, else by its node.
void NameAdapters(std::vector<AdapterSeen>& candidates) {
  for (AdapterSeen& candidate : candidates) {
    const bool serial_names_it =
        !candidate.serial.empty() &&
        std::ranges::count_if(candidates, [&](const AdapterSeen& other) {
          return other.transport == candidate.transport && other.serial == candidate.serial;
        }) == 1;
    candidate.choice = {candidate.transport, serial_names_it ? candidate.serial : candidate.node};
  }
}

}  // namespace

bool UdevRuleCheck::Grants(std::uint16_t product_id) const {
  return names_vendor && std::find(products.begin(), products.end(), product_id) != products.end();
}

std::uint16_t SurveySettings::ProductId(Transport transport) const {
  return transport == Transport::kHid ? hid_product_id : bulk_product_id;
}

std::string AdapterSeen::Problem() const {
  if (!opened) return DescribeFault(open_fault);
  if (transport == Transport::kHid) {
    return adapter_collections ? std::string() : std::string(messages::kNoAdapterCollections);
  }
  if (claimed && !*claimed) return DescribeFault(claim_fault);
  return {};
}

std::vector<AdapterSeen> AdapterSurvey::Adapters(const SurveySettings& settings) const {
  std::vector<AdapterSeen> adapters;
  for (const AdapterSeen& candidate : candidates) {
    if (candidate.product_id == settings.ProductId(candidate.transport)) {
      adapters.push_back(candidate);
    }
  }
  NameAdapters(adapters);
  return adapters;
}

bool AdapterSurvey::usable() const {
  return std::any_of(candidates.begin(), candidates.end(),
                     [](const AdapterSeen& candidate) { return candidate.usable; });
}

NodeAccess AccessOf(const std::string& node) {
  NodeAccess access;
  struct stat status {};
  if (::stat(node.c_str(), &status) != 0) return access;
  access.exists = true;
  access.mode = ModeText(status.st_mode);
  access.owner = UserName(status.st_uid);
  access.group = GroupName(status.st_gid);
  access.read_write = ::access(node.c_str(), R_OK | W_OK) == 0;
  return access;
}

UdevRuleCheck CheckUdevRule(const SurveySettings& settings) {
  UdevRuleCheck check;
  check.searched = settings.rule_directories;
  for (const auto& directory : settings.rule_directories) {
    std::ifstream file(directory / settings.rule_name);
    if (!file) continue;
    check.path = directory / settings.rule_name;
    const std::string vendor = fmt::format("{:04x}", settings.vendor_id);
    static const std::regex kVendor(R"(idVendor\}==\"([0-9A-Fa-f]{4})\")");
    static const std::regex kProduct(R"(idProduct\}==\"([0-9A-Fa-f]{4})\")");
    for (std::string line; std::getline(file, line);) {
      if (line.starts_with("#")) continue;
      std::smatch match;
      if (!std::regex_search(line, match, kVendor)) continue;
      std::string found = match[1];
      std::transform(found.begin(), found.end(), found.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (found != vendor) continue;
      check.names_vendor = true;
      if (std::regex_search(line, match, kProduct)) {
        check.products.push_back(
            static_cast<std::uint16_t>(std::stoul(match[1].str(), nullptr, 16)));
      }
    }
    break;  // udev reads the first file of a name and ignores the others
  }
  return check;
}

GroupCheck CheckGroup(const std::string& name) {
  GroupCheck check;
  check.name = name;
  group entry{};
  group* found = nullptr;
  std::array<char, 16384> buffer{};
  if (getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr) {
    return check;
  }
  check.exists = true;
  const gid_t wanted = found->gr_gid;
  if (getegid() == wanted) check.member = true;
  const int count = getgroups(0, nullptr);
  std::vector<gid_t> groups(static_cast<std::size_t>(std::max(count, 0)));
  if (count > 0 && getgroups(count, groups.data()) == count) {
    check.member |= std::find(groups.begin(), groups.end(), wanted) != groups.end();
  }
  return check;
}

std::vector<NextStep> NextSteps(const AdapterSurvey& survey) {
  using Kind = NextStep::Kind;
  std::vector<NextStep> steps;
  auto add = [&](NextStep step) {
    if (std::find(steps.begin(), steps.end(), step) == steps.end()) steps.push_back(step);
  };
  if (survey.usable()) return {{Kind::kReady}};
  if (survey.candidates.empty()) {
    if (survey.usb_fault) add({Kind::kUsbUnavailable, 0, {}, DescribeFault(survey.usb_fault)});
    add({Kind::kPlugIn});
    return steps;
  }
  for (const auto& candidate : survey.candidates) {
    const bool hid = candidate.transport == Transport::kHid;
    if (hid && !candidate.product_matches) add({Kind::kUsePid, candidate.product_id});
    if (hid && candidate.opened && candidate.product_matches && !candidate.adapter_collections) {
      add({Kind::kNoAdapterCollections, candidate.product_id, candidate.node});
    }
    if (!hid && candidate.opened && !candidate.serial_matches) {
      add({Kind::kCheckSerial, candidate.product_id, candidate.node, candidate.serial});
    }
    const FaultKind fault =
        candidate.open_fault ? candidate.open_fault.kind : candidate.claim_fault.kind;
    switch (fault) {
      case FaultKind::kNone:
        break;
      case FaultKind::kAccessDenied:
        if (survey.rule.path.empty()) {
          add({Kind::kInstallRule});
        } else if (!survey.rule.Grants(candidate.product_id)) {
          add({Kind::kAddProductToRule, candidate.product_id});
        } else if (survey.group.exists && !survey.group.member) {
          add({Kind::kJoinGroup});
        } else {
          add({Kind::kReloadRules});
        }
        break;
      case FaultKind::kBusy:
        add({Kind::kCloseOtherProgram, 0, candidate.node});
        break;
      default:
        add({Kind::kCannotOpen, 0, candidate.node,
             DescribeFault(candidate.open_fault ? candidate.open_fault : candidate.claim_fault)});
        break;
    }
  }
  // The id asked for is not among those found and the rule was written for it: the other id
  // also needs its line in the rule before it can be opened without root.
  for (const auto& step : std::vector<NextStep>(steps)) {
    if (step.kind == Kind::kUsePid && !survey.rule.path.empty() &&
        !survey.rule.Grants(step.product_id)) {
      add({Kind::kAddProductToRule, step.product_id});
    }
  }
  // Only other devices of the vendor (it is shared by many makers' small devices).
  if (steps.empty()) add({Kind::kPlugIn});
  return steps;
}

AdapterSurvey SurveyAdapters(HidBackend& hid, UsbBackend& usb, const SurveySettings& settings) {
  AdapterSurvey survey;
  SurveyHid(hid, settings, survey);
  SurveyUsb(usb, settings, survey);
  survey.rule = CheckUdevRule(settings);
  survey.group = CheckGroup(settings.group);
  survey.steps = NextSteps(survey);
  return survey;
}

}  // namespace cw::link
