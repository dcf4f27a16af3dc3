#include "link/adapter_transport.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "link/bulk_protocol.h"
#include "link/messages.h"
#include "link/pec.h"

namespace cw::link {
namespace {

using common::Millis;

constexpr int kHidTries = 10;
constexpr Millis kNoWait{0};
constexpr Millis kStatusFetchSettle{1};
constexpr Millis kBulkTurnaround{8};

constexpr std::uint8_t ToPackedBcd(std::uint8_t value) {
  return static_cast<std::uint8_t>(((value / 10) << 4) | (value % 10));
}

}  // namespace

Millis TransactSettleTime(std::uint8_t write_count, std::uint8_t read_count, std::size_t count) {
  if (write_count <= 3 && count <= 5) return Millis{8};
  if (read_count == hid::kBlockLengthFromGauge) return Millis{25};
  return (write_count + read_count < 29) ? Millis{20} : Millis{30};
}

Millis TransactFastSettleTime(std::uint8_t write_count, std::size_t count) {
  return (write_count > 3 || count > 5) ? Millis{10} : Millis{5};
}

Millis SendCheckedSettleTime(std::uint8_t write_count) {
  if (write_count >= 26) return Millis{30};
  if (write_count < 9) return Millis{8};
  return Millis{20};
}

AdapterTransport::AdapterTransport(HidBackend& hid, UsbBackend& usb, common::Clock& clock)
    : hid_(hid), usb_(usb), clock_(clock) {}

AdapterTransport::~AdapterTransport() {
  CloseBulkDevice();
  CloseHidCollections();
}

void AdapterTransport::Wait(Millis duration) {
  if (duration.count() > 0) clock_.SleepFor(duration);
}

void AdapterTransport::CloseHidCollections() {
  for (auto& collection : collections_) collection.reset();
}

void AdapterTransport::CloseBulkDevice() {
  if (bulk_device_) {
    bulk_device_->ReleaseInterface(bulk::kInterface);
    bulk_device_.reset();
  }
  bulk_node_.clear();
}

const std::string& AdapterTransport::adapter_node() const {
  return transport_ == Transport::kHid ? hid_node_ : bulk_node_;
}

bool AdapterTransport::OpenHidAdapter() {
  connect_problems_.clear();
  return OpenHid();
}

bool AdapterTransport::OpenBulkAdapter() {
  connect_problems_.clear();
  return OpenBulk();
}

bool AdapterTransport::OpenHid() {
  connected_ = false;
  // A reopen after a drop must not keep the handles of the previous open alive.
  CloseHidCollections();
  hid_node_.clear();
  // On Linux every collection of the adapter is an entry of its own on one hidraw node; the node
  // is opened once and its handle serves every slot. Entries that are not the adapter's are
  // never opened.
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
    collections_[static_cast<std::size_t>(slot)] = node->second;
    if (hid_node_.empty()) hid_node_ = info.path;
    connected_ = true;
  }
  return connected_;
}

bool AdapterTransport::OpenBulk() {
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
  bulk_device_ = std::move(accepted);
  bulk_node_ = std::move(accepted_node);
  return true;
}

bool AdapterTransport::EnsureConnected() {
  fault_ = {};
  if (connected_) return true;
  connect_problems_.clear();
  auto try_bulk = [this] {
    CloseBulkDevice();
    if (!OpenBulk()) return false;
    transport_ = Transport::kBulk;
    connected_ = true;
    return true;
  };
  auto try_hid = [this] {
    if (!OpenHid()) return false;
    transport_ = Transport::kHid;
    connected_ = true;
    return true;
  };
  // After a drop, the transport that was not in use is tried first.
  const bool opened =
      transport_ == Transport::kHid ? try_bulk() || try_hid() : try_hid() || try_bulk();
  if (opened) connect_problems_.clear();
  return opened;
}

bool AdapterTransport::RegisterDeviceNotifications(std::function<void(UsbHotplugEvent)> callback) {
  return usb_.RegisterHotplug(vendor_id_, std::move(callback));
}

HidCollection* AdapterTransport::CollectionFor(std::uint8_t report_id) {
  const int slot = hid::UsageSlot(report_id);
  if (slot < 0) return nullptr;
  return collections_[static_cast<std::size_t>(slot)].get();
}

// Every set and get is tried up to ten times on the collection that carries the report id. When
// no collection carries it, or every try failed, the adapter counts as gone: the next
// transaction opens it again. A report that timed out is not tried again: the kernel has just
// spent its whole time-out on it, and ten of those would keep a silent adapter busy for minutes.
bool AdapterTransport::TryReport(std::uint8_t report_id, Millis wait_after_failure,
                                 common::FunctionRef<bool(HidCollection&)> exchange) {
  HidCollection* collection = CollectionFor(report_id);
  if (collection == nullptr) {
    fault_ = {FaultKind::kOther, fmt::format(fmt::runtime(messages::kNoCollection), report_id), {}};
  }
  for (int attempt = 0; collection != nullptr && attempt < kHidTries; ++attempt) {
    if (exchange(*collection)) return true;
    fault_ = collection->LastFault();
    if (!fault_) fault_.kind = FaultKind::kOther;
    if (fault_.kind == FaultKind::kTimedOut) break;
    Wait(wait_after_failure);
  }
  connected_ = false;
  return false;
}

bool AdapterTransport::SetReport(std::span<const std::uint8_t> report, Millis wait_after_failure) {
  return TryReport(report.empty() ? 0 : report[0], wait_after_failure,
                   [&](HidCollection& collection) { return collection.SetFeature(report); });
}

bool AdapterTransport::GetReport(std::span<std::uint8_t> report, Millis wait_after_failure) {
  return TryReport(report.empty() ? 0 : report[0], wait_after_failure,
                   [&](HidCollection& collection) { return collection.GetFeature(report); });
}

bool AdapterTransport::HidSend(std::span<const std::uint8_t> request) {
  return SetReport(request, Millis{10});
}

bool AdapterTransport::HidSendQuick(std::span<const std::uint8_t> request) {
  return SetReport(request, kNoWait);
}

bool AdapterTransport::HidSendData(std::size_t count, HidReport& report) {
  const auto size = hid::SizeClassFor(count);
  report[0] = size.report_id;
  return SetReport(std::span(report).first(size.length), Millis{10});
}

bool AdapterTransport::HidSendDataQuick(std::size_t count, HidReport& report) {
  const auto size = hid::SizeClassFor(count);
  report[0] = size.report_id;
  return SetReport(std::span(report).first(size.length), kNoWait);
}

std::optional<std::uint8_t> AdapterTransport::HidFetchStatus() {
  const std::array<std::uint8_t, hid::kAdapterCommandLength> request = {
      hid::kAdapterCommandId, 0xFF, hid::kAdapterFetchStatus, 0, 0, 0, 0, 0};
  if (!SetReport(request, Millis{10})) return std::nullopt;
  Wait(kStatusFetchSettle);
  std::array<std::uint8_t, 8> response{};
  response[0] = 3;
  response[1] = 0xFF;
  if (!GetReport(response, Millis{10})) return std::nullopt;
  return response[1];
}

std::optional<std::uint8_t> AdapterTransport::HidSendChecked(
    std::span<const std::uint8_t> request) {
  if (!HidSend(request)) return std::nullopt;
  Wait(SendCheckedSettleTime(request.back()));
  return HidFetchStatus();
}

bool AdapterTransport::Transact(std::span<const std::uint8_t> request, std::size_t count,
                                HidReport& response, ExchangeWaits waits, Millis between) {
  if (!SetReport(request, waits.after_failed_set)) return false;
  Wait(between);
  const auto size = hid::SizeClassFor(count);
  response.fill(0);
  response[0] = size.report_id;
  if (count < size.length) response[count] = 0xFF;  // a status the adapter did not write fails
  return GetReport(std::span(response).first(size.length), waits.after_failed_get);
}

bool AdapterTransport::HidTransact(std::span<const std::uint8_t> request, std::size_t count,
                                   HidReport& response) {
  const std::size_t length = request.size();
  const Millis between = TransactSettleTime(request[length - 1], request[length - 2], count);
  return Transact(request, count, response, {Millis{10}, Millis{10}}, between);
}

bool AdapterTransport::HidTransactFast(std::span<const std::uint8_t> request, std::size_t count,
                                       HidReport& response) {
  const Millis between = TransactFastSettleTime(request.back(), count);
  return Transact(request, count, response, {Millis{5}, Millis{10}}, between);
}

bool AdapterTransport::HidTransactNoWait(std::span<const std::uint8_t> request, std::size_t count,
                                         HidReport& response) {
  return Transact(request, count, response, {kNoWait, Millis{2}}, kNoWait);
}

bool AdapterTransport::DropBulk() {
  connected_ = false;
  return false;
}

bool AdapterTransport::BulkTransferWhole(std::uint8_t endpoint, std::span<std::uint8_t, 64> packet,
                                         unsigned timeout_ms) {
  const int result = bulk_device_->BulkTransfer(endpoint, packet, timeout_ms);
  if (result == static_cast<int>(bulk::kPacketLength)) return true;
  if (result < 0) {
    fault_ = {FaultKindOfUsbResult(result), usb_.ErrorText(result),
              std::string(UsbResultName(result))};
    if (!fault_) fault_.kind = FaultKind::kOther;
  } else {
    fault_ = {FaultKind::kShortReply,
              fmt::format(fmt::runtime(messages::kShortReply), result, bulk::kPacketLength),
              {}};
  }
  return false;
}

// Only a whole reply to this request whose acknowledge byte is clear is the gauge's refusal;
// every other failure is the adapter's and leaves a fault that says so.
bool AdapterTransport::BulkExchange(std::span<std::uint8_t, 64> packet, unsigned timeout_ms) {
  if (!bulk_device_) {
    fault_ = {FaultKind::kGone, std::string(messages::kNoBulkDevice), {}};
    return DropBulk();
  }
  const std::uint8_t opcode = packet[0];
  if (!BulkTransferWhole(bulk::kEndpointOut, packet, timeout_ms)) return DropBulk();
  Wait(kBulkTurnaround);
  std::fill(packet.begin(), packet.end(), 0);
  if (!BulkTransferWhole(bulk::kEndpointIn, packet, timeout_ms)) return DropBulk();
  if (opcode == bulk::kOpVersion) return true;
  if (packet[0] != opcode) {
    fault_ = {FaultKind::kBadReply,
              fmt::format(fmt::runtime(messages::kReplyToAnother), packet[0], opcode),
              {}};
    return DropBulk();
  }
  if (packet[bulk::kAckByte] == 0) return DropBulk();
  return true;
}

bool AdapterTransport::BulkReadCommand(std::uint8_t command, std::span<std::uint8_t> out) {
  if (out.size() > bulk::kMaxReadLength) return false;
  std::array<std::uint8_t, bulk::kPacketLength> packet{};
  packet[bulk::kOpcodeByte] = bulk::kOpRead;
  packet[bulk::kBusByte] = bulk::kBusValue;
  packet[bulk::kAddressByte] = hid::kWriteAddress;
  packet[bulk::kCommandByte] = command;
  packet[bulk::kReadLengthByte] = static_cast<std::uint8_t>(out.size());
  if (!BulkExchange(packet, kBulkCommandTimeoutMs)) return false;
  std::copy_n(packet.begin() + bulk::kDataStart, out.size(), out.begin());
  return true;
}

bool AdapterTransport::BulkWriteCommand(std::uint8_t command, common::ByteView data) {
  if (data.size() > bulk::kMaxWriteLength) return false;
  std::array<std::uint8_t, bulk::kPacketLength> packet{};
  packet[bulk::kOpcodeByte] = bulk::kOpWrite;
  packet[bulk::kBusByte] = bulk::kBusValue;
  packet[bulk::kAddressByte] = hid::kWriteAddress;
  packet[bulk::kCommandByte] = command;
  packet[bulk::kWriteLengthByte] = static_cast<std::uint8_t>(data.size() + 1);
  std::copy(data.begin(), data.end(), packet.begin() + bulk::kDataStart);
  std::uint8_t pec = PecUpdate(PecUpdate(0, hid::kWriteAddress), command);
  packet[bulk::kDataStart + data.size()] = Pec(data, pec);
  return BulkExchange(packet, kBulkCommandTimeoutMs);
}

std::optional<AdapterVersion> AdapterTransport::ReadAdapterVersion() {
  AdapterVersion version;
  if (transport_ == Transport::kHid) {
    const std::array<std::uint8_t, hid::kAdapterCommandLength> request = {
        hid::kAdapterCommandId, 0xFF, hid::kAdapterReadVersion, 0, 0, 0, 7, 0};
    if (!CollectionFor(hid::kAdapterCommandId) || !CollectionFor(3)) return std::nullopt;
    if (!SetReport(request, Millis{10})) return std::nullopt;
    Wait(kStatusFetchSettle);
    std::array<std::uint8_t, 8> response{};
    response[0] = 3;
    if (!GetReport(response, Millis{10})) return std::nullopt;
    version.bytes = {ToPackedBcd(response[5]), ToPackedBcd(response[6]), ToPackedBcd(response[7]),
                     static_cast<std::uint8_t>((response[3] << 4) | (response[4] & 0x0F)), 0};
    std::string digits = fmt::format("{:04X}", version.bytes[3] << 8);
    version.text = digits.substr(0, 1) + "." + digits.substr(1);
    return version;
  }
  std::array<std::uint8_t, bulk::kPacketLength> packet{};
  packet[bulk::kOpcodeByte] = bulk::kOpVersion;
  if (!BulkExchange(packet, kBulkVersionTimeoutMs)) return std::nullopt;
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | packet[bulk::kVersionFloatByte + i];
  version.text = fmt::sprintf("%0.3f", std::bit_cast<float>(bits));
  version.bytes = {packet[14], packet[13], packet[12], 0, 0};
  return version;
}

}  // namespace cw::link
