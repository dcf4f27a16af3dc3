#include "link/adapter_connection.h"

#include <fmt/format.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

#include "common/bytes.h"
#include "link/bulk_packets.h"
#include "link/hid_reports.h"

namespace cw::link {

AdapterConnection::AdapterConnection(HidBackend& hid, UsbBackend& usb, common::Clock& clock)
    : hid_(hid), usb_(usb), hid_protocol_(state_, clock), bulk_protocol_(state_, usb, clock) {}

// The one place that knows which protocol the open adapter speaks.
AdapterProtocol& AdapterConnection::protocol() {
  if (transport_ == Transport::kBulk) return bulk_protocol_;
  return hid_protocol_;
}

void AdapterConnection::CloseBulkDevice() {
  bulk_protocol_.Close();
  bulk_node_.clear();
}

const std::string& AdapterConnection::adapter_node() const {
  return transport_ == Transport::kHid ? hid_node_ : bulk_node_;
}

bool AdapterConnection::SetAdapterId(std::string_view text) {
  if (transport_ == Transport::kHid) {
    const auto product_id = common::ParseHexNumber(text, 0xFFFF);
    if (!product_id) return false;
    hid_product_id_ = static_cast<std::uint16_t>(*product_id);
  } else {
    serial_prefix_ = std::string(text.size() > 2 ? text.substr(2) : "");
  }
  state_.connected = false;
  return true;
}

namespace {

bool Names(const AdapterChoice& choice, const HidDevice& node) {
  if (choice.key.empty()) return true;  // a kind alone names every adapter of that kind
  if (choice.key == node.node || (!node.serial.empty() && choice.key == node.serial)) return true;
  return std::any_of(node.collections.begin(), node.collections.end(),
                     [&](const HidCollectionInfo& info) { return info.path == choice.key; });
}

// An adapter of the product the open saw, for the message when the choice names none.
AdapterSeen Seen(Transport transport, std::string node, std::string serial) {
  AdapterSeen seen;
  seen.transport = transport;
  seen.node = std::move(node);
  seen.serial = std::move(serial);
  seen.opened = true;
  seen.adapter_collections = true;
  return seen;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string joined;
  for (const auto& part : parts) {
    if (!joined.empty()) joined += ", ";
    joined += part;
  }
  return joined;
}

}  // namespace

bool AdapterConnection::MayUse(Transport transport) const {
  return !choice_.transport || *choice_.transport == transport;
}

void AdapterConnection::BeginOpen() {
  connect_problems_.clear();
  seen_.clear();
  ambiguous_.clear();
  hid_matches_ = 0;
  bulk_matches_ = 0;
  choice_unmatched_ = false;
}

bool AdapterConnection::EndOpen(bool opened) {
  if (opened || choice_.any()) return opened;
  std::string why;
  if (!ambiguous_.empty()) {
    why = fmt::format(
        fmt::runtime(choice_.key.empty()
                         ? "{} adapters of this kind are plugged in ({}): name one by its serial "
                           "number or node"
                         : "{} adapters have this serial number ({}): name one by its node"),
        ambiguous_.size(), Joined(ambiguous_));
  } else if (hid_matches_ + bulk_matches_ == 0) {
    std::vector<std::string> found;
    for (const auto& seen : seen_) {
      const std::string problem = seen.Problem();
      found.push_back(problem.empty()
                          ? fmt::format("{} {} serial \"{}\"", TransportName(seen.transport),
                                        seen.node, seen.serial)
                          : fmt::format("{} {} (not opened: {})", TransportName(seen.transport),
                                        seen.node, problem));
    }
    std::string listed = Joined(found);
    if (found.empty()) {
      listed = choice_.transport ? fmt::format("no {} adapter", TransportName(*choice_.transport))
                                 : std::string("no adapter at all");
    }
    why = fmt::format(
        fmt::runtime(choice_.key.empty() ? "no adapter of this kind is plugged in; found: {}"
                                         : "no adapter has this serial number or node; found: {}"),
        listed);
  } else {
    return false;  // the adapter named is there but would not open: its own problem says why
  }
  choice_unmatched_ = true;
  connect_problems_.insert(connect_problems_.begin(),
                           {DescribeChoice(choice_), {FaultKind::kOther, std::move(why), {}}});
  return false;
}

bool AdapterConnection::OpenHidAdapter() {
  BeginOpen();
  return EndOpen(OpenHid());
}

bool AdapterConnection::OpenBulkAdapter() {
  BeginOpen();
  return EndOpen(OpenBulk());
}

bool AdapterConnection::OpenHid() {
  state_.connected = false;
  // A reopen after a drop must not keep the handles of the previous open alive.
  hid_protocol_.Close();
  hid_node_.clear();
  if (!MayUse(Transport::kHid)) return false;
  std::vector<HidDevice> nodes = hid_.EnumerateDevices(vendor_id_, hid_product_id_);
  for (auto& node : nodes) std::erase_if(node.collections, std::not_fn(hid::IsAdapterCollection));
  std::erase_if(nodes, [](const HidDevice& node) { return node.collections.empty(); });
  if (!choice_.any()) {
    for (const auto& node : nodes) seen_.push_back(Seen(Transport::kHid, node.node, node.serial));
    std::erase_if(nodes, [&](const HidDevice& node) { return !Names(choice_, node); });
    hid_matches_ = static_cast<int>(nodes.size());
    // Two adapters under one name: opening either could drive the wrong pack.
    if (nodes.size() > 1) {
      for (const auto& node : nodes) ambiguous_.push_back(node.node);
      return false;
    }
  }
  // Each node is one adapter: the first that opens is used, and its collections only, so that the
  // reports of one exchange never go to two adapters. A node that carries every collection
  // (hidraw) is opened once and its handle serves every slot; entries that are not the adapter's
  // are never opened.
  for (const auto& node : nodes) {
    HidCollections collections;
    std::vector<std::pair<std::string, std::shared_ptr<HidCollection>>> opened;
    for (const auto& info : node.collections) {
      auto path = std::find_if(opened.begin(), opened.end(),
                               [&](const auto& entry) { return entry.first == info.path; });
      if (path == opened.end()) {
        std::shared_ptr<HidCollection> handle = hid_.Open(info);
        if (!handle) {
          AdapterFault fault = hid_.LastOpenFault();
          if (!fault) fault.kind = FaultKind::kOther;
          connect_problems_.push_back({info.path, std::move(fault)});
        }
        opened.emplace_back(info.path, std::move(handle));
        path = opened.end() - 1;
      }
      if (!path->second) continue;
      collections[hid::UsageSlot(static_cast<std::uint8_t>(info.usage))] = path->second;
      if (hid_node_.empty()) hid_node_ = info.path;
      state_.connected = true;
    }
    if (state_.connected) {
      hid_protocol_.Attach(std::move(collections));
      return true;
    }
  }
  return false;
}

bool AdapterConnection::OpenBulk() {
  if (!MayUse(Transport::kBulk)) return false;
  const std::string wanted_serial = serial_prefix_ + common::kSerialSuffix;
  std::unique_ptr<UsbDevice> accepted;
  std::string accepted_node;
  std::vector<std::string> matching_nodes;
  // With a choice every device of the product is looked at, so that a second one of the same
  // name is refused rather than a coin tossed between them.
  const bool listed = usb_.VisitDevices(vendor_id_, [&](const UsbListedDevice& listed_device) {
    if (listed_device.descriptor.product_id != bulk_product_id_) return true;
    std::string node = listed_device.node.empty()
                           ? fmt::format("usb {:04x}:{:04x}", vendor_id_, bulk_product_id_)
                           : listed_device.node;
    AdapterSeen& seen = seen_.emplace_back(Seen(Transport::kBulk, node, {}));
    auto device = usb_.Open(listed_device.index);
    if (!device) {
      seen.opened = false;
      seen.open_fault = usb_.LastFault();
      if (!seen.open_fault) seen.open_fault.kind = FaultKind::kOther;
      connect_problems_.push_back({node, seen.open_fault});
      return true;
    }
    seen.serial = device->ReadSerialNumber();
    // Without a name, the product's adapters are known by the serial rule.
    const bool chosen = choice_.key.empty() ? !seen.serial.empty() && seen.serial == wanted_serial
                                            : choice_.key == seen.serial || choice_.key == node;
    if (chosen) {
      matching_nodes.push_back(node);
      if (!accepted) {
        accepted = std::move(device);
        accepted_node = std::move(node);
      }
    }
    return !accepted || !choice_.any();
  });
  if (!listed) return false;
  if (!choice_.any()) {
    bulk_matches_ = static_cast<int>(matching_nodes.size());
    if (matching_nodes.size() > 1) {
      ambiguous_.insert(ambiguous_.end(), matching_nodes.begin(), matching_nodes.end());
      return false;
    }
  }
  if (!accepted) return false;
  if (accepted->KernelDriverActive(bulk::kInterface)) {
    accepted->DetachKernelDriver(bulk::kInterface);
  }
  if (const int claimed = accepted->ClaimInterface(bulk::kInterface); claimed < 0) {
    connect_problems_.push_back(
        {accepted_node,
         {FaultKindOfUsbResult(claimed), usb_.ErrorText(claimed),
          fmt::format("libusb_claim_interface: {}", UsbResultName(claimed))}});
    return false;
  }
  bulk_protocol_.Attach(std::move(accepted));
  bulk_node_ = std::move(accepted_node);
  return true;
}

bool AdapterConnection::EnsureConnected() {
  state_.fault = {};
  if (state_.connected) return true;
  BeginOpen();
  auto try_bulk = [this] {
    if (!MayUse(Transport::kBulk)) return false;
    CloseBulkDevice();
    if (!OpenBulk()) return false;
    transport_ = Transport::kBulk;
    state_.connected = true;
    return true;
  };
  auto try_hid = [this] {
    if (!OpenHid()) return false;
    transport_ = Transport::kHid;
    state_.connected = true;
    return true;
  };
  // After a drop, the transport that was not in use is tried first.
  const bool opened =
      transport_ == Transport::kHid ? try_bulk() || try_hid() : try_hid() || try_bulk();
  if (opened) connect_problems_.clear();
  return EndOpen(opened);
}

bool AdapterConnection::RegisterDeviceNotifications(std::function<void(UsbHotplugEvent)> callback) {
  return usb_.RegisterHotplug(vendor_id_, std::move(callback));
}

}  // namespace cw::link
