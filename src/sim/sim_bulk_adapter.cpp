#include "sim/sim_bulk_adapter.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <tuple>

#include "link/bulk_packets.h"
#include "sim/adapter_identity.h"

namespace cw::sim {

namespace bulk = link::bulk;
using Packet = std::array<std::uint8_t, bulk::kPacketLength>;

// A packet the adapter cannot take yet is NAKed, and the host controller tries it again in the
// next frame (1 ms at full speed) until the transfer's time-out.
constexpr common::Millis kRetryInterval{1};

// One physical bulk adapter. Host-side operations (claim, driver detach) and USB transfers go
// through here; a handle passes its id and the plug generation it was opened in.
class BulkAdapterDevice {
 public:
  BulkAdapterDevice(std::shared_ptr<SimBus> bus, SimBulkAdapterConfig config, common::Clock& clock)
      : bus_(std::move(bus)), config_(std::move(config)), clock_(clock) {}

  const SimBulkAdapterConfig& config() const { return config_; }
  std::uint64_t NewHandleId() {
    std::lock_guard lock(mutex_);
    return ++last_handle_id_;
  }

  std::string ReadSerialNumber(std::uint64_t generation);
  bool KernelDriverActive(int interface_number, std::uint64_t generation);
  int DetachKernelDriver(int interface_number, std::uint64_t generation);
  int Claim(int interface_number, std::uint64_t handle, std::uint64_t generation);
  int Release(int interface_number, std::uint64_t handle, std::uint64_t generation);
  link::UsbTransfer Bulk(std::uint8_t endpoint, std::span<std::uint8_t> data, std::uint64_t handle,
                         std::uint64_t generation, unsigned timeout_ms);
  int Interrupt(std::uint8_t endpoint, std::span<std::uint8_t> data, std::uint64_t handle,
                std::uint64_t generation);
  int Control(std::uint8_t request_type, std::uint8_t request, std::uint16_t value,
              std::uint16_t index, std::span<std::uint8_t> data, std::uint64_t generation);

 private:
  // A re-plugged adapter comes back fresh: no claim, its driver bound, nothing buffered.
  void CatchUp(std::uint64_t generation);
  int Exchange(std::uint64_t generation, const std::function<int()>& body);
  // As much of a bulk transfer as the adapter takes now, `moved` bytes being done already;
  // nullopt while it must wait for the reply slot (out) or a reply (in).
  std::optional<link::UsbTransfer> BulkStep(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                            std::uint64_t handle, std::size_t& moved);
  Packet Process(const Packet& request);

  std::mutex mutex_;
  const std::shared_ptr<SimBus> bus_;
  const SimBulkAdapterConfig config_;
  common::Clock& clock_;
  std::uint64_t seen_generation_ = 0;
  std::uint64_t last_handle_id_ = 0;
  std::uint64_t claimed_by_ = 0;
  bool kernel_driver_active_ = config_.kernel_driver_active;
  std::optional<Packet> pending_in_;
  std::map<std::tuple<std::uint8_t, std::uint16_t, std::uint16_t>, common::Bytes> control_store_;
};

namespace {

class SimUsbDevice final : public link::UsbDevice {
 public:
  SimUsbDevice(std::shared_ptr<BulkAdapterDevice> device, std::uint64_t generation)
      : device_(std::move(device)), generation_(generation), id_(device_->NewHandleId()) {}
  // Closing a handle gives up its claim, as libusb_close does.
  ~SimUsbDevice() override { device_->Release(bulk::kInterface, id_, generation_); }

  std::string ReadSerialNumber() override { return device_->ReadSerialNumber(generation_); }
  bool KernelDriverActive(int interface_number) override {
    return device_->KernelDriverActive(interface_number, generation_);
  }
  int DetachKernelDriver(int interface_number) override {
    return device_->DetachKernelDriver(interface_number, generation_);
  }
  int ClaimInterface(int interface_number) override {
    return device_->Claim(interface_number, id_, generation_);
  }
  int ReleaseInterface(int interface_number) override {
    return device_->Release(interface_number, id_, generation_);
  }
  int BulkTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data,
                   unsigned timeout_ms) override {
    const link::UsbTransfer transfer = BulkTransferCounted(endpoint, data, timeout_ms);
    return transfer.status < 0 ? transfer.status : static_cast<int>(transfer.transferred);
  }
  link::UsbTransfer BulkTransferCounted(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                        unsigned timeout_ms) override {
    return device_->Bulk(endpoint, data, id_, generation_, timeout_ms);
  }
  int InterruptTransfer(std::uint8_t endpoint, std::span<std::uint8_t> data, unsigned) override {
    return device_->Interrupt(endpoint, data, id_, generation_);
  }
  int ControlTransfer(std::uint8_t request_type, std::uint8_t request, std::uint16_t value,
                      std::uint16_t index, std::span<std::uint8_t> data, unsigned) override {
    return device_->Control(request_type, request, value, index, data, generation_);
  }

 private:
  const std::shared_ptr<BulkAdapterDevice> device_;
  const std::uint64_t generation_;
  const std::uint64_t id_;
};

}  // namespace

void BulkAdapterDevice::CatchUp(std::uint64_t generation) {
  if (generation == seen_generation_) return;
  seen_generation_ = generation;
  claimed_by_ = 0;
  kernel_driver_active_ = config_.kernel_driver_active;
  pending_in_.reset();
  control_store_.clear();
}

int BulkAdapterDevice::Exchange(std::uint64_t generation, const std::function<int()>& body) {
  int result = link::kUsbErrorNoDevice;
  {
    std::lock_guard lock(mutex_);
    if (bus_->BeginExchange(generation)) {
      CatchUp(generation);
      result = body();
    }
  }
  bus_->DeliverHotplugEvents();
  return result;
}

std::string BulkAdapterDevice::ReadSerialNumber(std::uint64_t generation) {
  std::string serial;
  Exchange(generation, [&] {
    serial = config_.serial;
    return 0;
  });
  return serial;
}

bool BulkAdapterDevice::KernelDriverActive(int interface_number, std::uint64_t generation) {
  std::lock_guard lock(mutex_);
  if (!bus_->Alive(generation)) return false;
  CatchUp(generation);
  return interface_number == bulk::kInterface && kernel_driver_active_;
}

int BulkAdapterDevice::DetachKernelDriver(int interface_number, std::uint64_t generation) {
  std::lock_guard lock(mutex_);
  if (!bus_->Alive(generation)) return link::kUsbErrorNoDevice;
  CatchUp(generation);
  if (interface_number != bulk::kInterface || !kernel_driver_active_) {
    return link::kUsbErrorNotFound;
  }
  kernel_driver_active_ = false;
  return link::kUsbSuccess;
}

int BulkAdapterDevice::Claim(int interface_number, std::uint64_t handle, std::uint64_t generation) {
  std::lock_guard lock(mutex_);
  if (!bus_->Alive(generation)) return link::kUsbErrorNoDevice;
  CatchUp(generation);
  if (interface_number != bulk::kInterface) return link::kUsbErrorNotFound;
  if (kernel_driver_active_ || (claimed_by_ != 0 && claimed_by_ != handle)) {
    return link::kUsbErrorBusy;
  }
  claimed_by_ = handle;
  return link::kUsbSuccess;
}

int BulkAdapterDevice::Release(int interface_number, std::uint64_t handle,
                               std::uint64_t generation) {
  std::lock_guard lock(mutex_);
  if (!bus_->Alive(generation)) return link::kUsbErrorNoDevice;
  CatchUp(generation);
  if (interface_number != bulk::kInterface || claimed_by_ != handle) {
    return link::kUsbErrorNotFound;
  }
  claimed_by_ = 0;
  return link::kUsbSuccess;
}

link::UsbTransfer BulkAdapterDevice::Bulk(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                          std::uint64_t handle, std::uint64_t generation,
                                          unsigned timeout_ms) {
  // The clock is read only once the transfer has to wait: a handle that outlives its pack (and
  // the pack's clock) fails at the first step.
  std::optional<common::Millis> started;
  std::size_t moved = 0;
  bool counted = false;
  for (;;) {
    std::optional<link::UsbTransfer> done;
    {
      std::lock_guard lock(mutex_);
      // One transfer is one exchange, however long it waits.
      const bool alive = counted ? bus_->Alive(generation) : bus_->BeginExchange(generation);
      counted = true;
      if (alive) {
        CatchUp(generation);
        done = BulkStep(endpoint, data, handle, moved);
      } else {
        done = link::UsbTransfer{link::kUsbErrorNoDevice, moved};
      }
    }
    bus_->DeliverHotplugEvents();
    if (done) return *done;
    if (!started) started = clock_.Now();
    // A time-out of 0 is no time limit to libusb.
    if (timeout_ms != 0 && clock_.Now() - *started >= common::Millis(timeout_ms)) {
      return {link::kUsbErrorTimeout, moved};
    }
    clock_.SleepFor(kRetryInterval);
  }
}

std::optional<link::UsbTransfer> BulkAdapterDevice::BulkStep(std::uint8_t endpoint,
                                                             std::span<std::uint8_t> data,
                                                             std::uint64_t handle,
                                                             std::size_t& moved) {
  if (claimed_by_ != handle) return link::UsbTransfer{link::kUsbErrorIo, moved};
  if (endpoint == bulk::kEndpointOut) {
    // A zero-length write carries no request.
    while (moved < data.size()) {
      if (pending_in_) return std::nullopt;
      const std::size_t length = std::min(bulk::kPacketLength, data.size() - moved);
      Packet request{};
      std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(moved), length, request.begin());
      pending_in_ = Process(request);
      moved += length;
    }
    return link::UsbTransfer{link::kUsbSuccess, moved};
  }
  if (endpoint == bulk::kEndpointIn) {
    if (!pending_in_) return std::nullopt;
    // The adapter always sends a whole packet; a shorter buffer overflows.
    if (data.size() < bulk::kPacketLength) return link::UsbTransfer{link::kUsbErrorIo, 0};
    std::copy(pending_in_->begin(), pending_in_->end(), data.begin());
    pending_in_.reset();
    return link::UsbTransfer{link::kUsbSuccess, bulk::kPacketLength};
  }
  return link::UsbTransfer{link::kUsbErrorNotFound, 0};
}

int BulkAdapterDevice::Interrupt(std::uint8_t endpoint, std::span<std::uint8_t> data,
                                 std::uint64_t handle, std::uint64_t generation) {
  return Exchange(generation, [&]() -> int {
    if (claimed_by_ != handle) return link::kUsbErrorIo;
    if (endpoint != adapter::kInterruptEndpoint) return link::kUsbErrorNotFound;
    if (data.size() < adapter::kInterruptStatusLength) return link::kUsbErrorIo;
    std::fill_n(data.begin(), adapter::kInterruptStatusLength, 0);
    data[0] = pending_in_ ? adapter::kReplyWaiting : adapter::kIdle;
    return static_cast<int>(adapter::kInterruptStatusLength);
  });
}

int BulkAdapterDevice::Control(std::uint8_t request_type, std::uint8_t request, std::uint16_t value,
                               std::uint16_t index, std::span<std::uint8_t> data,
                               std::uint64_t generation) {
  return Exchange(generation, [&]() -> int {
    const auto key = std::make_tuple(request, value, index);
    if (request_type == adapter::kVendorOut) {
      control_store_[key] = common::Bytes(data.begin(), data.end());
      return static_cast<int>(data.size());
    }
    if (request_type == adapter::kVendorIn) {
      const auto found = control_store_.find(key);
      // A request the adapter does not know stalls the control pipe.
      if (found == control_store_.end()) return link::kUsbErrorPipe;
      const std::size_t count = std::min(data.size(), found->second.size());
      std::copy_n(found->second.begin(), count, data.begin());
      return static_cast<int>(count);
    }
    return link::kUsbErrorPipe;
  });
}

Packet BulkAdapterDevice::Process(const Packet& request) {
  Packet response{};
  std::copy_n(request.begin(), bulk::kDataStart, response.begin());
  response[bulk::kAckByte] = adapter::kNoAck;
  const bool to_gauge =
      request[bulk::kBusByte] == bulk::kBusValue && request[bulk::kAddressByte] == 0x16;
  const std::uint8_t command = request[bulk::kCommandByte];
  switch (request[bulk::kOpcodeByte]) {
    case bulk::kOpRead: {
      const std::size_t count = request[bulk::kReadLengthByte];
      if (!to_gauge || count == 0 || count > bulk::kMaxReadLength) break;
      const auto bytes = bus_->Read(command, count);
      if (!bytes) break;
      std::copy(bytes->begin(), bytes->end(), response.begin() + bulk::kDataStart);
      response[bulk::kAckByte] = adapter::kAck;
      break;
    }
    case bulk::kOpWrite: {
      // Data bytes, then the PEC the host appended.
      const std::size_t count = request[bulk::kWriteLengthByte];
      if (!to_gauge || count == 0 || count > bulk::kPacketLength - bulk::kDataStart) break;
      common::Bytes bytes{command};
      bytes.insert(bytes.end(), request.begin() + bulk::kDataStart,
                   request.begin() + bulk::kDataStart + static_cast<std::ptrdiff_t>(count));
      if (bus_->Write(bytes)) response[bulk::kAckByte] = adapter::kAck;
      break;
    }
    case bulk::kOpVersion: {
      std::uint32_t raw = 0;
      std::memcpy(&raw, &adapter::kBulkVersion, sizeof raw);
      for (std::size_t i = 0; i < 4; ++i) {
        response[bulk::kVersionFloatByte + i] = static_cast<std::uint8_t>(raw >> (8 * i));
      }
      // The host reads the numbers back from byte 14 down to byte 12.
      response[12] = adapter::kFirmwareVersion[2];
      response[13] = adapter::kFirmwareVersion[1];
      response[14] = adapter::kFirmwareVersion[0];
      response[bulk::kAckByte] = adapter::kAck;
      break;
    }
    default:
      break;
  }
  return response;
}

SimBulkAdapter::SimBulkAdapter(std::shared_ptr<SimBus> bus,
                               const std::vector<SimBulkAdapterConfig>& adapters,
                               common::Clock& clock)
    : bus_(std::move(bus)) {
  for (std::size_t index = 0; index < adapters.size(); ++index) {
    SimBulkAdapterConfig config = adapters[index];
    if (config.node.empty()) config.node = fmt::format("sim:bulk{}", index);
    devices_.push_back(std::make_shared<BulkAdapterDevice>(bus_, std::move(config), clock));
  }
}

SimBulkAdapter::SimBulkAdapter(std::shared_ptr<SimBus> bus,
                               std::vector<std::shared_ptr<BulkAdapterDevice>> devices)
    : bus_(std::move(bus)), devices_(std::move(devices)) {}

std::unique_ptr<SimBulkAdapter> SimBulkAdapter::NewView() const {
  return std::unique_ptr<SimBulkAdapter>(new SimBulkAdapter(bus_, devices_));
}

SimBulkAdapter::~SimBulkAdapter() = default;

std::optional<std::size_t> SimBulkAdapter::ListDevices() {
  std::lock_guard lock(mutex_);
  listed_.clear();
  if (bus_->plugged()) listed_ = devices_;
  return listed_.size();
}

std::optional<link::UsbDeviceDescriptor> SimBulkAdapter::ReadDeviceDescriptor(std::size_t index) {
  std::lock_guard lock(mutex_);
  if (index >= listed_.size()) return std::nullopt;
  const SimBulkAdapterConfig& config = listed_[index]->config();
  constexpr std::uint8_t kSerialStringIndex = 3;
  return link::UsbDeviceDescriptor{config.vendor_id, config.product_id, kSerialStringIndex};
}

std::unique_ptr<link::UsbDevice> SimBulkAdapter::Open(std::size_t index) {
  std::lock_guard lock(mutex_);
  if (index >= listed_.size() || !bus_->plugged()) return nullptr;
  return std::make_unique<SimUsbDevice>(listed_[index], bus_->generation());
}

std::string SimBulkAdapter::DevicePath(std::size_t index) {
  std::lock_guard lock(mutex_);
  if (index >= listed_.size()) return {};
  return listed_[index]->config().node;
}

void SimBulkAdapter::FreeDeviceList() {
  std::lock_guard lock(mutex_);
  listed_.clear();
}

bool SimBulkAdapter::RegisterHotplug(std::uint16_t vendor_id,
                                     std::function<void(link::UsbHotplugEvent)> callback) {
  bus_->AddHotplugListener(vendor_id, std::move(callback));
  return true;
}

}  // namespace cw::sim
