#include "exports/pipe_table.h"

#include <algorithm>
#include <utility>

namespace cw::exports {

// The open adapter, shared by every handle. Releasing the interface before the device closes
// lets the next open in this process claim it again at once.
struct PipeTable::SharedDevice {
  explicit SharedDevice(std::unique_ptr<link::UsbDevice> opened) : usb(std::move(opened)) {}
  ~SharedDevice() { usb->ReleaseInterface(kPipeInterface); }

  SharedDevice(const SharedDevice&) = delete;
  SharedDevice& operator=(const SharedDevice&) = delete;

  std::unique_ptr<link::UsbDevice> usb;
};

PipeTable::PipeTable(link::UsbBackend& backend, common::ProductConstants constants)
    : backend_(backend), constants_(std::move(constants)) {}

PipeTable::~PipeTable() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

int PipeTable::Open(PipeKind kind) {
  std::lock_guard lock(mutex_);
  auto free_slot = std::find_if(entries_.begin(), entries_.end(),
                                [](const std::optional<Entry>& entry) { return !entry; });
  if (free_slot == entries_.end() && entries_.size() >= kMaxHandles) return kInvalidHandle;
  std::shared_ptr<SharedDevice> device = AcquireDevice();
  if (!device) return kInvalidHandle;
  if (free_slot == entries_.end()) {
    entries_.emplace_back();
    free_slot = entries_.end() - 1;
  }
  *free_slot = Entry{kind, std::move(device)};
  return kFirstHandle + static_cast<int>(free_slot - entries_.begin());
}

bool PipeTable::Close(PipeKind kind, int handle) {
  std::lock_guard lock(mutex_);
  if (handle < kFirstHandle) return false;
  const auto slot = static_cast<std::size_t>(handle - kFirstHandle);
  if (slot >= entries_.size() || !entries_[slot] || entries_[slot]->kind != kind) return false;
  // The last reference releases and closes the device here, under the lock.
  entries_[slot].reset();
  while (!entries_.empty() && !entries_.back()) entries_.pop_back();
  return true;
}

std::shared_ptr<PipeTable::SharedDevice> PipeTable::AcquireDevice() {
  if (auto device = device_.lock()) return device;
  auto device = OpenAdapter();
  device_ = device;
  return device;
}

std::shared_ptr<PipeTable::SharedDevice> PipeTable::OpenAdapter() {
  const std::optional<std::size_t> count = backend_.ListDevices();
  if (!count) return nullptr;
  std::shared_ptr<SharedDevice> found;
  for (std::size_t index = 0; index < *count && !found; ++index) {
    const auto descriptor = backend_.ReadDeviceDescriptor(index);
    if (!descriptor || descriptor->vendor_id != constants_.adapter_vendor_id ||
        descriptor->product_id != common::kBulkProductId) {
      continue;
    }
    std::unique_ptr<link::UsbDevice> usb = backend_.Open(index);
    if (!usb) continue;
    if (usb->KernelDriverActive(kPipeInterface)) usb->DetachKernelDriver(kPipeInterface);
    // A device another program has claimed is no use to us; a second adapter may be free.
    if (usb->ClaimInterface(kPipeInterface) < 0) continue;
    found = std::make_shared<SharedDevice>(std::move(usb));
  }
  backend_.FreeDeviceList();
  return found;
}

std::shared_ptr<PipeTable::SharedDevice> PipeTable::Lookup(int handle,
                                                           std::initializer_list<PipeKind> kinds,
                                                           PipeKind* kind_found) const {
  std::lock_guard lock(mutex_);
  if (handle < kFirstHandle) return nullptr;
  const auto slot = static_cast<std::size_t>(handle - kFirstHandle);
  if (slot >= entries_.size() || !entries_[slot]) return nullptr;
  const Entry& entry = *entries_[slot];
  if (std::find(kinds.begin(), kinds.end(), entry.kind) == kinds.end()) return nullptr;
  if (kind_found != nullptr) *kind_found = entry.kind;
  return entry.device;
}

void PipeTable::Drop(std::shared_ptr<SharedDevice>& device) {
  std::lock_guard lock(mutex_);
  device.reset();
}

// A transfer that fails after moving part of the data (a time-out halfway) still reports that
// part: the caller may already have lost the bytes from the device otherwise.
bool PipeTable::BulkIn(int handle, std::span<std::uint8_t> buffer, std::uint32_t& count) {
  count = 0;
  PipeKind kind = PipeKind::kBulkIn;
  auto device = Lookup(handle, {PipeKind::kBulkIn, PipeKind::kInterruptIn}, &kind);
  if (!device) return false;
  const link::UsbTransfer transfer =
      kind == PipeKind::kInterruptIn
          ? device->usb->InterruptTransferCounted(kInterruptInEndpoint, buffer, kPipeTimeoutMs)
          : device->usb->BulkTransferCounted(kBulkInEndpoint, buffer, kPipeTimeoutMs);
  Drop(device);
  count = static_cast<std::uint32_t>(std::min<std::size_t>(transfer.transferred, buffer.size()));
  return transfer.status >= 0;
}

bool PipeTable::BulkOut(int handle, std::span<const std::uint8_t> data, std::uint32_t& count) {
  count = 0;
  auto device = Lookup(handle, {PipeKind::kBulkOut});
  if (!device) return false;
  // The backend takes a writable span for both directions; the caller's buffer is const.
  std::vector<std::uint8_t> packet(data.begin(), data.end());
  const link::UsbTransfer transfer =
      device->usb->BulkTransferCounted(kBulkOutEndpoint, packet, kPipeTimeoutMs);
  Drop(device);
  count = static_cast<std::uint32_t>(std::min<std::size_t>(transfer.transferred, data.size()));
  return transfer.status >= 0;
}

bool PipeTable::VendorControlIn(int handle, const VendorRequest& request,
                                std::span<std::uint8_t> buffer, std::uint32_t& count) {
  count = 0;
  // The driver's request carried the size as 16 bits; a larger one would have been cut short
  // silently, so it is refused instead.
  if (buffer.size() > kMaxControlLength) return false;
  auto device = Lookup(handle, {PipeKind::kControl});
  if (!device) return false;
  const int result =
      device->usb->ControlTransfer(kVendorInRequestType, request.request, request.value,
                                   request.index, buffer, kControlTimeoutMs);
  Drop(device);
  if (result < 0) return false;
  count = static_cast<std::uint32_t>(result);
  return true;
}

bool PipeTable::VendorControlOut(int handle, const VendorRequest& request,
                                 std::span<const std::uint8_t> data, std::uint32_t& count) {
  count = 0;
  if (data.size() > kMaxControlLength) return false;
  auto device = Lookup(handle, {PipeKind::kControl});
  if (!device) return false;
  std::vector<std::uint8_t> payload(data.begin(), data.end());
  const int result =
      device->usb->ControlTransfer(kVendorOutRequestType, request.request, request.value,
                                   request.index, payload, kControlTimeoutMs);
  Drop(device);
  if (result < 0) return false;
  count = static_cast<std::uint32_t>(result);
  return true;
}

std::size_t PipeTable::OpenHandleCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(entries_.begin(), entries_.end(),
                    [](const std::optional<Entry>& entry) { return entry.has_value(); }));
}

}  // namespace cw::exports
