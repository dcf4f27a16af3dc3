#include "link/adapter_transport.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "link/bulk_protocol.h"
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
}

bool AdapterTransport::OpenHidAdapter() {
  connected_ = false;
  // A reopen after a drop must not keep the handles of the previous open alive.
  CloseHidCollections();
  for (const auto& info : hid_.Enumerate()) {
    auto collection = hid_.Open(info);
    if (!collection) continue;
    const int slot = info.usage <= 0xFF ? hid::UsageSlot(static_cast<std::uint8_t>(info.usage))
                                        : -1;
    const bool accepted = info.vendor_id == vendor_id_ && info.product_id == hid_product_id_ &&
                          info.usage_page == hid::kUsagePage && slot >= 0;
    if (!accepted) continue;  // the collection closes as it goes out of scope
    collections_[static_cast<std::size_t>(slot)] = std::move(collection);
    connected_ = true;
  }
  return connected_;
}

bool AdapterTransport::OpenBulkAdapter() {
  const auto device_count = usb_.ListDevices();
  if (!device_count) return false;
  const std::string wanted_serial = serial_prefix_ + common::kSerialSuffix;
  std::unique_ptr<UsbDevice> accepted;
  for (std::size_t index = 0; index < *device_count && !accepted; ++index) {
    const auto descriptor = usb_.ReadDeviceDescriptor(index);
    if (!descriptor) break;
    if (descriptor->vendor_id != vendor_id_ || descriptor->product_id != bulk_product_id_) {
      continue;
    }
    auto device = usb_.Open(index);
    if (!device) continue;
    const std::string serial = device->ReadSerialNumber();
    if (!serial.empty() && serial == wanted_serial) accepted = std::move(device);
  }
  // The list is always freed: the devices opened from it stay open on their own.
  usb_.FreeDeviceList();
  if (!accepted) return false;
  if (accepted->KernelDriverActive(bulk::kInterface)) {
    accepted->DetachKernelDriver(bulk::kInterface);
  }
  if (accepted->ClaimInterface(bulk::kInterface) < 0) return false;
  bulk_device_ = std::move(accepted);
  return true;
}

bool AdapterTransport::EnsureConnected() {
  if (connected_) return true;
  auto try_bulk = [this] {
    CloseBulkDevice();
    if (!OpenBulkAdapter()) return false;
    transport_ = Transport::kBulk;
    connected_ = true;
    return true;
  };
  auto try_hid = [this] {
    if (!OpenHidAdapter()) return false;
    transport_ = Transport::kHid;
    connected_ = true;
    return true;
  };
  // After a drop, the transport that was not in use is tried first.
  if (transport_ == Transport::kHid) return try_bulk() || try_hid();
  return try_hid() || try_bulk();
}

bool AdapterTransport::RegisterDeviceNotifications(
    std::function<void(UsbHotplugEvent)> callback) {
  return usb_.RegisterHotplug(vendor_id_, std::move(callback));
}

HidCollection* AdapterTransport::CollectionFor(std::uint8_t report_id) {
  const int slot = hid::UsageSlot(report_id);
  if (slot < 0) return nullptr;
  return collections_[static_cast<std::size_t>(slot)].get();
}

// Every set and get is tried up to ten times on the collection that carries the report id. When
// no collection carries it, or every try failed, the adapter counts as gone: the next
// transaction opens it again.
bool AdapterTransport::TryReport(std::uint8_t report_id, Millis wait_after_failure,
                                 common::FunctionRef<bool(HidCollection&)> exchange) {
  if (HidCollection* collection = CollectionFor(report_id)) {
    for (int attempt = 0; attempt < kHidTries; ++attempt) {
      if (exchange(*collection)) return true;
      Wait(wait_after_failure);
    }
  }
  connected_ = false;
  return false;
}

bool AdapterTransport::SetReport(std::span<const std::uint8_t> report,
                                 Millis wait_after_failure) {
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

bool AdapterTransport::HidTransactNoWait(std::span<const std::uint8_t> request,
                                         std::size_t count, HidReport& response) {
  return Transact(request, count, response, {kNoWait, Millis{2}}, kNoWait);
}

bool AdapterTransport::BulkExchange(std::span<std::uint8_t, 64> packet, unsigned timeout_ms) {
  if (!bulk_device_) {
    connected_ = false;
    return false;
  }
  const std::uint8_t opcode = packet[0];
  if (bulk_device_->BulkTransfer(bulk::kEndpointOut, packet, timeout_ms) !=
      static_cast<int>(bulk::kPacketLength)) {
    connected_ = false;
    return false;
  }
  Wait(kBulkTurnaround);
  std::fill(packet.begin(), packet.end(), 0);
  if (bulk_device_->BulkTransfer(bulk::kEndpointIn, packet, timeout_ms) !=
      static_cast<int>(bulk::kPacketLength)) {
    connected_ = false;
    return false;
  }
  if (opcode == bulk::kOpVersion) return true;
  if (packet[0] != opcode || packet[bulk::kAckByte] == 0) {
    connected_ = false;
    return false;
  }
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
    version.bytes = {ToPackedBcd(response[5]), ToPackedBcd(response[6]),
                     ToPackedBcd(response[7]),
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
