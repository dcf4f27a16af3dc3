#include "link/adapter_connection.h"

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "common/bytes.h"
#include "link/bulk_packets.h"
#include "link/hid_reports.h"
#include "link/messages.h"

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

bool AdapterConnection::OpenHidAdapter() {
  connect_problems_.clear();
  return OpenHid();
}

bool AdapterConnection::OpenBulkAdapter() {
  connect_problems_.clear();
  return OpenBulk();
}

bool AdapterConnection::OpenHid() {
  state_.connected = false;
  // A reopen after a drop must not keep the handles of the previous open alive.
  hid_protocol_.Close();
  hid_node_.clear();
  // On Linux every collection of the adapter is an entry of its own on one hidraw node; the node
  // is opened once and its handle serves every slot. Entries that are not the adapter's are
  // never opened.
  HidCollections collections;
  std::vector<std::pair<std::string, std::shared_ptr<HidCollection>>> nodes;
  for (const auto& info : hid_.EnumerateMatching(vendor_id_, hid_product_id_)) {
    const int slot =
        info.usage <= 0xFF ? hid::UsageSlot(static_cast<std::uint8_t>(info.usage)) : -1;
    const bool wanted = info.vendor_id == vendor_id_ && info.product_id == hid_product_id_ &&
                        info.usage_page == hid::kUsagePage && slot >= 0;
    if (!wanted) continue;
    auto node = std::find_if(nodes.begin(), nodes.end(),
                             [&](const auto& entry) { return entry.first == info.path; });
    if (node == nodes.end()) {
      std::shared_ptr<HidCollection> opened = hid_.Open(info);
      if (!opened) {
        AdapterFault fault = hid_.LastOpenFault();
        if (!fault) fault.kind = FaultKind::kOther;
        connect_problems_.push_back({info.path, std::move(fault)});
      }
      nodes.emplace_back(info.path, std::move(opened));
      node = nodes.end() - 1;
    }
    if (!node->second) continue;
    collections[static_cast<std::size_t>(slot)] = node->second;
    if (hid_node_.empty()) hid_node_ = info.path;
    state_.connected = true;
  }
  hid_protocol_.Attach(std::move(collections));
  return state_.connected;
}

bool AdapterConnection::OpenBulk() {
  const auto device_count = usb_.ListDevices();
  if (!device_count) return false;
  const std::string wanted_serial = serial_prefix_ + common::kSerialSuffix;
  std::unique_ptr<UsbDevice> accepted;
  std::string accepted_node;
  for (std::size_t index = 0; index < *device_count && !accepted; ++index) {
    const auto descriptor = usb_.ReadDeviceDescriptor(index);
    if (!descriptor) break;
    if (descriptor->vendor_id != vendor_id_ || descriptor->product_id != bulk_product_id_) {
      continue;
    }
    std::string node = usb_.DevicePath(index);
    if (node.empty()) {
      node = fmt::format(fmt::runtime(messages::kUsbIds), descriptor->vendor_id,
                         descriptor->product_id);
    }
    auto device = usb_.Open(index);
    if (!device) {
      AdapterFault fault = usb_.LastFault();
      if (!fault) fault.kind = FaultKind::kOther;
      connect_problems_.push_back({node, std::move(fault)});
      continue;
    }
    const std::string serial = device->ReadSerialNumber();
    if (!serial.empty() && serial == wanted_serial) {
      accepted = std::move(device);
      accepted_node = std::move(node);
    }
  }
  // The list is always freed: the devices opened from it stay open on their own.
  usb_.FreeDeviceList();
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
  connect_problems_.clear();
  auto try_bulk = [this] {
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
  return opened;
}

bool AdapterConnection::RegisterDeviceNotifications(std::function<void(UsbHotplugEvent)> callback) {
  return usb_.RegisterHotplug(vendor_id_, std::move(callback));
}

}  // namespace cw::link
